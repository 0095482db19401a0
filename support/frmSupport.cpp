// The window's maintenance and support commands: update checks and downloads, the page
// snapshot in the logo box, and the problem report.
#include "app/uTrawlMain.h"

#include "browser/OrvoBrowser.h"
#include "platform/Dialogs.h"
#include "platform/Ticks.h"
#include "platform/UrlOpener.h"
#include "platform/web/WebBrowser.h"
#include "plugins/IPlugins.h"
#include "support/BugReport.h"
#include "support/DownloadPrompt.h"
#include "support/Snapshot.h"
#include "support/UpdateCheck.h"
#include "support/WebServiceBrowser.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

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

void TfrmTrawl::btnUpgradeClick() {
    CheckForProgUpdates();
}

void TfrmTrawl::CheckForProgUpdates() {
    const QString distrib = ReadDistrib();
    const QString site = support::ReadWebSite(ProgDir);
    btnupdateprog->setToolTip(support::ProgramDownloadUrl(site, distrib));
    support::WebServiceBrowser service(wb2);
    const support::StampCheck check = support::CheckStamp(
        service, support::ProgramQueryUrl(support::ReadUpdateServer(ProgDir), distrib),
        QCoreApplication::applicationFilePath());
    // Closing may have begun while the query waited.
    if (platform::isShuttingDown() || isClosing())
        return;
    if (check.newer) {
        platform::dialogs().message(support::UpgradeMessage(site, check.localStamp, check.answer));
        btnupdateprog->show();
    } else {
        setWindowTitle(support::NoUpgradesCaption(AppName));
        platform::dialogs().message(QString::fromUtf16(support::kUpToDateMessage));
    }
}

void TfrmTrawl::CheckTemplateUpdate(const QString& FileName) {
    const QString server = support::ReadUpdateServer(ProgDir);
    const QString download = support::TemplateDownloadUrl(server, FileName);
    btnUpdateplugin->setToolTip(download);
    support::WebServiceBrowser service(wb2);
    const support::StampCheck check = support::CheckStamp(
        service, support::TemplateQueryUrl(server, FileName), templateFile(ProgDir, FileName));
    if (platform::isShuttingDown() || isClosing() || !check.newer)
        return;
    platform::dialogs().message(
        support::TemplateUpdateMessage(download, check.localStamp, check.answer));
    btnUpdateplugin->show();
    Timer->start();
}

void TfrmTrawl::InstallDownloadPrompt() {
    if (!fDownloadPrompt)
        fDownloadPrompt = new support::DownloadPrompt(this);
    fDownloadPrompt->attach(WB);
}

// Sends WB to a download; false when the address cannot be navigated to.
static bool navigateToDownload(TfrmTrawl& w, const QString& url) {
    if (!w.WB || !navigable(url))
        return false;
    w.InstallDownloadPrompt();
    w.WB->Navigate(url);
    return true;
}

void TfrmTrawl::btnupdateprogClick() {
    btnupdateprog->hide();
    const QString url = btnupdateprog->toolTip();
    platform::dialogs().message(support::ProgramDownloadMessage(url));
    bool started = false;
    try {
        started = navigateToDownload(*this, url);
    } catch (...) {
    }
    if (!started)
        platform::dialogs().message(support::ProgramDownloadFailedMessage(url));
}

void TfrmTrawl::btnUpdatepluginClick() {
    btnUpdateplugin->hide();
    Timer->stop();
    const QString url = btnUpdateplugin->toolTip();
    platform::dialogs().message(support::TemplateDownloadMessage(url));
    bool started = false;
    try {
        started = navigateToDownload(*this, url);
    } catch (...) {
    }
    if (!started)
        platform::dialogs().message(QString::fromUtf16(support::kTemplateDownloadFailedMessage));
}

void TfrmTrawl::TimerTimer() {
    // Start-up switches the timer on once: that first tick only arms the blinking.
    if (!fTimerArmed) {
        Timer->stop();
        fTimerArmed = true;
        return;
    }
    // The caption is read back as it was set; an ampersand is doubled so that it shows
    // instead of marking a shortcut.
    const QString current =
        btnUpdateplugin->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
    btnUpdateplugin->setText(support::NextBlinkCaption(current, btnUpdateplugin->toolTip())
                                 .replace(u'&', QStringLiteral("&&")));
}

void TfrmTrawl::WebBrowserScreenShot(TOrvoBrowser* Browser, const QString& fileName) {
    // A browser that has never been sent anywhere holds no document.
    if (!Browser || Browser->ReadyState() == platform::READYSTATE_UNINITIALIZED)
        return;
    QWidget* view = Browser->engine() ? Browser->engine()->view() : nullptr;
    if (!view)
        view = viewOf(Browser);
    const QImage shot = support::ViewSnapshot(view, ImgLogo->size(), fileName);
    if (shot.isNull())
        return;
    ImgLogo->setPixmap(QPixmap::fromImage(shot));
}

void TfrmTrawl::acBugReportExecute() {
    if (!hasTemplate()) {
        platform::dialogs().message(QStringLiteral("No plug-in has been loaded."));
        return;
    }
    // A template that fails to answer, or a desktop without a mail program, ends the
    // command without a word.
    try {
        const std::shared_ptr<TPlugin> current = fPlugin;
        if (!current || !current->Instance())
            return;
        const QString name = FromTemplateText(current->Instance()->GetName());
        const QString link =
            support::BugReportLink(support::ReadSupportMail(ProgDir), name, AppName, VersionText);
        platform::openUrl(QUrl(link, QUrl::TolerantMode));
    } catch (...) {
    }
}
