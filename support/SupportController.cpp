#include "support/SupportController.h"

#include "platform/Dialogs.h"
#include "platform/Ticks.h"
#include "platform/UrlOpener.h"
#include "platform/web/WebBrowser.h"
#include "support/BugReport.h"
#include "support/DownloadPrompt.h"
#include "support/Snapshot.h"
#include "support/UpdateCheck.h"
#include "support/WebServiceBrowser.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace support {

namespace {

// A template named without a folder is the one the loader found in the program folder.
QString templateFile(const QString& progDir, const QString& fileName) {
    if (QFileInfo(fileName).isRelative() && QFileInfo::exists(progDir + fileName))
        return progDir + fileName;
    return fileName;
}

// An address the browser can be sent to: absolute, with a scheme.
bool navigable(const QString& url) {
    const QUrl u = platform::navigationUrl(url);
    return u.isValid() && !u.scheme().isEmpty();
}

} // namespace

SupportController::SupportController(QWidget* buttonParent, QObject* parent)
    : QObject(parent),
      m_programButton(new QPushButton(QStringLiteral("Upgrade software?"), buttonParent)),
      m_templateButton(new QPushButton(QStringLiteral("Update this plugin?"), buttonParent)),
      m_timer(new QTimer(this)) {
    m_programButton->setObjectName(QStringLiteral("btnupdateprog"));
    m_programButton->hide();
    m_templateButton->setObjectName(QStringLiteral("btnUpdateplugin"));
    m_templateButton->hide();
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setInterval(1000);
}

void SupportController::setBrowsers(platform::TWebBrowser* main, platform::TWebBrowser* service) {
    m_main = main;
    m_service = service;
}

bool SupportController::closing() const {
    return platform::isShuttingDown() || (m_closing && m_closing());
}

void SupportController::checkForProgramUpdates(const QString& distrib, const QString& appName) {
    const QString site = ReadWebSite(m_progDir);
    m_programButton->setToolTip(ProgramDownloadUrl(site, distrib));
    WebServiceBrowser service(m_service);
    const StampCheck check =
        CheckStamp(service, ProgramQueryUrl(ReadUpdateServer(m_progDir), distrib),
                   QCoreApplication::applicationFilePath());
    // Closing may have begun while the query waited.
    if (closing())
        return;
    if (check.newer) {
        platform::dialogs().message(UpgradeMessage(site, check.localStamp, check.answer));
        m_programButton->show();
    } else {
        emit captionChanged(NoUpgradesCaption(appName));
        platform::dialogs().message(QString::fromUtf16(kUpToDateMessage));
    }
}

void SupportController::checkTemplateUpdate(const QString& fileName) {
    const QString server = ReadUpdateServer(m_progDir);
    const QString download = TemplateDownloadUrl(server, fileName);
    m_templateButton->setToolTip(download);
    WebServiceBrowser service(m_service);
    const StampCheck check =
        CheckStamp(service, TemplateQueryUrl(server, fileName), templateFile(m_progDir, fileName));
    if (closing() || !check.newer)
        return;
    platform::dialogs().message(TemplateUpdateMessage(download, check.localStamp, check.answer));
    m_templateButton->show();
    m_timer->start();
}

void SupportController::installDownloadPrompt() {
    if (!m_prompt)
        m_prompt = new DownloadPrompt(this);
    m_prompt->attach(m_main);
}

// Sends the main browser to a download; false when the address cannot be navigated to.
bool SupportController::navigateToDownload(const QString& url) {
    if (!m_main || !navigable(url))
        return false;
    installDownloadPrompt();
    m_main->Navigate(url);
    return true;
}

void SupportController::downloadProgramUpdate() {
    m_programButton->hide();
    const QString url = m_programButton->toolTip();
    platform::dialogs().message(ProgramDownloadMessage(url));
    if (!navigateToDownload(url))
        platform::dialogs().message(ProgramDownloadFailedMessage(url));
}

void SupportController::downloadTemplateUpdate() {
    m_templateButton->hide();
    m_timer->stop();
    const QString url = m_templateButton->toolTip();
    platform::dialogs().message(TemplateDownloadMessage(url));
    if (!navigateToDownload(url))
        platform::dialogs().message(QString::fromUtf16(kTemplateDownloadFailedMessage));
}

void SupportController::blink() {
    // Start-up switches the timer on once: that first tick only arms the blinking.
    if (!m_timerArmed) {
        m_timer->stop();
        m_timerArmed = true;
        return;
    }
    // The caption is read back as it was set; an ampersand is doubled so that it shows
    // instead of marking a shortcut.
    const QString current =
        m_templateButton->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
    m_templateButton->setText(
        NextBlinkCaption(current, m_templateButton->toolTip()).replace(u'&', QStringLiteral("&&")));
}

void SupportController::snapshot(platform::TWebBrowser* browser, const QString& label) {
    // A browser that has never been sent anywhere holds no document.
    if (!browser || !m_logo || browser->ReadyState() == platform::READYSTATE_UNINITIALIZED)
        return;
    QWidget* view = browser->engine() ? browser->engine()->view() : nullptr;
    if (!view)
        view = browser;
    const QImage shot = ViewSnapshot(view, m_logo->size(), label);
    if (shot.isNull())
        return;
    m_logo->setPixmap(QPixmap::fromImage(shot));
}

void SupportController::reportProblem(const QString& templateName, const QString& appName,
                                      const QString& version) {
    const QString link = BugReportLink(ReadSupportMail(m_progDir), templateName, appName, version);
    platform::openUrl(QUrl(link, QUrl::TolerantMode));
}

} // namespace support
