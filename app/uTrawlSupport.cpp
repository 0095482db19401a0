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
    const std::shared_ptr<TPlugin> current = currentTemplate();
    if (!current || !current->Instance())
        return;
    // A template that fails to answer ends the command without a word to the user.
    QString name;
    try {
        name = FromTemplateText(current->Instance()->GetName());
    } catch (...) {
        qWarning("The template failed to give its name for the problem report.");
        return;
    }
    m_support->reportProblem(name, AppName, VersionText);
}
