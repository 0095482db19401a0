// The window's side of the site templates: loading and releasing the current template,
// the open command, the template's home page, and the start page.
#include "app/uTrawlMain.h"
#include "support/SupportController.h"

#include "browser/OrvoBrowser.h"
#include "orvo/PluginBase.h"
#include "platform/Dialogs.h"
#include "platform/Failure.h"
#include "platform/StatusBar.h"
#include "platform/SysFolders.h"
#include "plugins/HomePage.h"
#include "plugins/IPlugins.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {

QString messageText(const QString& text, const char16_t* fallback) {
    return text.isEmpty() ? QString::fromUtf16(fallback) : text;
}

// Navigating the main browser to a template's home page may reach a template link, which
// loads that template from inside this one's loading. A template whose home page is a
// template file would go on for ever; past this depth the link is refused instead.
constexpr int kMaxNestedLoads = 4;
int gLoadDepth = 0;

struct LoadDepth {
    LoadDepth() { ++gLoadDepth; }
    ~LoadDepth() { --gLoadDepth; }
    LoadDepth(const LoadDepth&) = delete;
    LoadDepth& operator=(const LoadDepth&) = delete;
};

// Thrown when the current template changed during a step that let other commands run:
// the newer load has done its work, this one ends quietly.
struct Superseded {};

} // namespace

void TfrmTrawl::LoadHomePage() {
    // The program folder becomes the current folder, so a relative template path given
    // later (the command line) is taken from there.
    QDir::setCurrent(ProgDir);
    const QStringList files = TemplateFileList(ProgDir);
    const QString userFolder = UserTemplateFolder() + u'/';
    // The same folder named twice (a user data folder inside the program folder) lists
    // its files once.
    TemplateFolder user;
    if (QDir(userFolder).canonicalPath() != QDir(ProgDir).canonicalPath())
        user = {userFolder, TemplateFileList(userFolder)};
    QString error;
    const QString temp = platform::GetTempFolder(&error);
    if (temp.isEmpty())
        throw platform::Failure(error);
    const IndexPage page = WriteIndexToDisk(files, ProgDir, ReadDistrib(), temp, user);
    if (!page.ok())
        throw platform::Failure(page.error.message);
    mmMain->setPlainText(page.html);
    HomePageFile = page.path;
    if (WB)
        WB->Navigate(HomePageFile);
}

void TfrmTrawl::loadtemplate(const QString& FileName) {
    const QString noValid = messageText(lingo::sNoValidTemplate, u"Not a valid ORPG file!");
    if (gLoadDepth >= kMaxNestedLoads) {
        platform::dialogs().message(noValid);
        return;
    }
    LoadDepth depth;

    // Step 4 comes first, with the refusal of a template that has no columns: a refused
    // file never becomes current, so neither the window, the grid nor the template
    // changes.
    if (const auto refused = m_templates.load(FileName, ProgDir)) {
        platform::dialogs().message(noValid + u'\n' + refused->problem);
        return;
    }
    // Steps 1 to 3 (the previous template was released by the load).
    m_support->templateUpdateButton()->hide();
    ExtraNavCount = 0;

    // Held for the rest of this load: a nested command may replace the current template
    // while a step waits, and this one's code must stay mapped until it returns.
    const std::shared_ptr<TPlugin> self = m_templates.current();
    IPlugin* p = self->Instance();
    const auto stillCurrent = [&] {
        if (m_templates.current() != self || isClosing())
            throw Superseded{};
    };

    try {
        setWindowTitle(AppName + QStringLiteral(" Checking for updates on this plugin..."));
        CheckTemplateUpdate(FileName);
        stillCurrent();

        const QString name = FromTemplateText(p->GetName());
        const QString title = AppName + QStringLiteral(" Template: ") + name +
                              QStringLiteral(" created by ") + FromTemplateText(p->GetAuthor()) +
                              QStringLiteral(" [") + FromTemplateText(p->GetVersion()) +
                              QStringLiteral("]");
        const QString home = FromTemplateText(p->GetHomeURL());
        if (WB)
            WB->Navigate(home);
        stillCurrent();

        mnPlugInHome->setStatusTip(home);
        mnPlugInHome->setToolTip(home);
        mnPlugInHome->setText(QStringLiteral("Plugin: ") + home);
        setWindowTitle(title);
        osb->setText(1, name.toHtmlEscaped());
        osb->setText(3, title.toHtmlEscaped());
        edURL->setText(home);
        WriteColumnHeaders();
        stillCurrent();
        pg->setCurrentWidget(opWeb);
        mmControl->setPlainText(QStringLiteral("EXTRA DATA..."));

        if (p->GetUsesBrowser()) {
            // Exactly this name, letter case included, gets the assistant browser.
            const bool assist = name == u"AU-YP";
            const auto handed = orvo::Ref<IWebBrowser2>::adopt(
                browser::WebBrowser2Of(assist ? static_cast<platform::TWebBrowser*>(WBassist)
                                              : static_cast<platform::TWebBrowser*>(wb2)));
            if (assist)
                p->SetAssistBrowser(handed.get());
            else
                p->SetServiceBrowser(handed.get());
        }
        stillCurrent();

        if (!GetColWidths())
            platform::dialogs().message(noValid);
    } catch (const Superseded&) {
        // The newer load has shown what it had to.
    } catch (const std::exception& e) {
        // The template stays current; the steps done so far stand.
        platform::dialogs().message(noValid + u'\n' + QFileInfo(FileName).fileName() +
                                    QStringLiteral(": ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        platform::dialogs().message(noValid);
    }
}

void TfrmTrawl::acOpenExecute() {
    platform::FileDialogRequest request = od;
    request.filter = QStringLiteral("OrvoPage Library|*.orp*");
    request.directory.clear();
    const platform::FileDialogResult chosen = platform::dialogs().openFile(request);
    if (chosen.accepted && !chosen.fileName.isEmpty())
        loadtemplate(chosen.fileName);
}

void TfrmTrawl::mnPlugInHomeClick() {
    const QString home = mnPlugInHome->statusTip();
    if (!home.isEmpty() && WB)
        WB->Navigate(home);
}

void TfrmTrawl::ReleaseTemplate() {
    // A template without a name, or one failing to give it, is kept.
    const auto name =
        m_templates.guarded("GetName", [](IPlugin* p) { return FromTemplateText(p->GetName()); });
    if (name && !name->isEmpty())
        m_templates.release();
}

bool TfrmTrawl::hasTemplate() const {
    return static_cast<bool>(m_templates);
}
