#pragma once

#include <QList>
#include <QString>

namespace platform {

// The caption of every message box and dialog of the program.
inline QString applicationTitle() {
    return QStringLiteral("Trawlex");
}

// A file dialog as the window asks for it. `filter` uses "Caption|pattern|Caption|pattern"
// pairs; `filterIndex` counts from 1.
struct FileDialogRequest {
    QString title;
    QString directory;
    QString fileName;
    QString filter;
    int filterIndex = 1;
    QString defaultSuffix; // without the full stop
    bool confirmOverwrite = false;
    // An option shown with the dialog as a check box with this caption; none when empty.
    QString checkBoxText;
    bool checkBoxChecked = false; // its state when the dialog opens
};

struct FileDialogResult {
    bool accepted = false;
    QString fileName;
    int filterIndex = 1;
    bool checkBoxChecked = false; // the request's check box as the user left it
};

// One seam for message boxes and file dialogs: real dialogs in the program, a recorder
// with scripted answers in tests (tests/support/RecordingDialogs.h).
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(const QString& text) = 0;  // information, one OK button
    virtual void error(const QString& text) = 0;    // the application's error report
    virtual bool question(const QString& text) = 0; // yes or no
    virtual FileDialogResult openFile(const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveFile(const FileDialogRequest& request) = 0;
};

// The dialogs in use; until the program or a test installs its own, messages go nowhere,
// a question is answered yes and a file dialog is cancelled.
Dialogs& dialogs();
// Does not take ownership; null restores the silent default.
void setDialogs(Dialogs* d);

// Installs `d` for the lifetime of the guard (tests).
class ScopedDialogs {
public:
    explicit ScopedDialogs(Dialogs* d) : m_previous(&dialogs()) { setDialogs(d); }
    ~ScopedDialogs() { setDialogs(m_previous); }
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

private:
    Dialogs* m_previous;
};

// Splits a "Caption|pattern|..." filter into its caption/pattern pairs.
QList<QPair<QString, QString>> parseFilter(const QString& filter);

} // namespace platform
