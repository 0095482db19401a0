#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace platform {

// The program's dialogs: Qt message boxes titled "Trawlex" and Qt file dialogs.
class WidgetDialogs : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const QString& text) override;
    void error(const QString& text) override;
    bool question(const QString& text) override;
    FileDialogResult openFile(const FileDialogRequest& request) override;
    FileDialogResult saveFile(const FileDialogRequest& request) override;

private:
    QWidget* m_parent;
};

// "Caption|*.a;*.b|..." as Qt name filters "Caption (*.a *.b)".
QStringList toQtNameFilters(const QString& filter);

// Installs the desktop's handlers for links and the display's beep.
void installDesktopServices();

} // namespace platform
