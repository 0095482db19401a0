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
};

struct FileDialogResult {
    bool accepted = false;
    QString fileName;
    int filterIndex = 1;
};

// One seam for message boxes and file dialogs: real dialogs in the program, a recorder
// with scripted answers in tests.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(const QString& text) = 0;  // information, one OK button
    virtual void error(const QString& text) = 0;    // the application's error report
    virtual bool question(const QString& text) = 0; // yes or no
    virtual FileDialogResult openFile(const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveFile(const FileDialogRequest& request) = 0;
};

// The dialogs in use; a silent recorder until the program or a test installs its own.
Dialogs& dialogs();
// Does not take ownership; null restores the silent recorder.
void setDialogs(Dialogs* d);

class RecordingDialogs : public Dialogs {
public:
    enum class Kind { Message, Error, Question, OpenFile, SaveFile };
    struct Entry {
        Kind kind;
        QString text;
        FileDialogRequest request;
    };

    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;

    // Scripted answers, used in order; without one a question answers yes and a file
    // dialog is cancelled.
    void setNextAnswer(bool yes) { m_answers.append(yes); }
    void setNextFileName(const QString& fileName, int filterIndex = 1);
    void setNextCancel() { m_files.append(FileDialogResult{}); }

    QList<Entry> entries;
    QStringList texts(Kind kind) const;
    void clear() { entries.clear(); }

private:
    QList<bool> m_answers;
    QList<FileDialogResult> m_files;
};

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
