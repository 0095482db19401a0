// Maintenance and support as one object: the update checks of the program and of the
// current template with their two buttons (the template's blinking), downloads through
// the main browser with a save prompt, the page snapshot in the logo box and the problem
// report. The window lays out its buttons and forwards its commands to it.
#pragma once

#include "platform/web/WebBrowser.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QPushButton;
class QTimer;
class QWidget;

namespace support {

class DownloadPrompt;

class SupportController : public QObject {
    Q_OBJECT
public:
    // The buttons get buttonParent as their parent; the blink timer is this object's.
    SupportController(QWidget* buttonParent, QObject* parent = nullptr);

    QPushButton* programUpdateButton() const { return m_programButton; }   // btnupdateprog
    QPushButton* templateUpdateButton() const { return m_templateButton; } // btnUpdateplugin
    QTimer* blinkTimer() const { return m_timer; }                         // Timer

    // What the commands work with: the program folder (ending in "/"), the main browser
    // that downloads go through, the hidden browser the update queries use, the logo box
    // the snapshots go to, and whether the program is closing (a query then ends quietly).
    void setProgramFolder(const QString& progDir) { m_progDir = progDir; }
    void setBrowsers(platform::TWebBrowser* main, platform::TWebBrowser* service);
    void setLogo(QLabel* logo) { m_logo = logo; }
    void setClosingCheck(std::function<bool()> closing) { m_closing = std::move(closing); }

    // btnUpgrade: asks the update server for the program's date stamp.
    void checkForProgramUpdates(const QString& distrib, const QString& appName);
    // Template loading: asks for the template's date stamp; a newer one shows its button.
    void checkTemplateUpdate(const QString& fileName);
    // The two update buttons: hide themselves and download through the main browser.
    void downloadProgramUpdate();
    void downloadTemplateUpdate();
    // A tick of the blink timer; the first one after start-up only arms the blinking.
    void blink();
    // The snapshot of browser's view in the logo box, labelled with a page number.
    void snapshot(platform::TWebBrowser* browser, const QString& label);
    // The main browser's downloads ask where to save.
    void installDownloadPrompt();
    // The problem report for the named template, as a mail draft.
    void reportProblem(const QString& templateName, const QString& appName, const QString& version);

signals:
    // The window's caption after a check found nothing newer.
    void captionChanged(const QString& caption);

private:
    bool closing() const;
    bool navigateToDownload(const QString& url);

    QPushButton* m_programButton = nullptr;
    QPushButton* m_templateButton = nullptr;
    QTimer* m_timer = nullptr;
    DownloadPrompt* m_prompt = nullptr;
    QString m_progDir;
    QPointer<platform::TWebBrowser> m_main;
    QPointer<platform::TWebBrowser> m_service;
    QPointer<QLabel> m_logo;
    std::function<bool()> m_closing;
    bool m_timerArmed = false;
};

} // namespace support
