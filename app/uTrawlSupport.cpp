// The window's maintenance and support commands, forwarded to the support controller.
#include "app/uTrawlMain.h"

#include "browser/OrvoBrowser.h"
#include "orvo/PluginBase.h"
#include "platform/Dialogs.h"
#include "plugins/IPlugins.h"
#include "support/SupportController.h"

void TfrmTrawl::btnUpgradeClick() {
    CheckForProgUpdates();
}

void TfrmTrawl::CheckForProgUpdates() {
    m_support->checkForProgramUpdates(ReadDistrib(), AppName);
}

void TfrmTrawl::CheckTemplateUpdate(const QString& FileName) {
    m_support->checkTemplateUpdate(FileName);
}

void TfrmTrawl::InstallDownloadPrompt() {
    m_support->installDownloadPrompt();
}

void TfrmTrawl::btnupdateprogClick() {
    m_support->downloadProgramUpdate();
}

void TfrmTrawl::btnUpdatepluginClick() {
    m_support->downloadTemplateUpdate();
}

void TfrmTrawl::TimerTimer() {
    m_support->blink();
}

void TfrmTrawl::WebBrowserScreenShot(TOrvoBrowser* Browser, const QString& fileName) {
    m_support->snapshot(Browser, fileName);
}

void TfrmTrawl::acBugReportExecute() {
    if (!hasTemplate()) {
        platform::dialogs().message(QStringLiteral("No plug-in has been loaded."));
        return;
    }
    // A template that fails to answer ends the command without a word to the user.
    const auto name =
        m_templates.guarded("GetName", [](IPlugin* p) { return FromTemplateText(p->GetName()); });
    if (!name)
        return;
    m_support->reportProblem(*name, AppName, VersionText);
}
