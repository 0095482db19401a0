// Template loading in the window: the start page, its links, the open command, the
// browser hand-over, and what broken templates leave behind.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "tests/support/FakeBrowserEngine.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/ScopedEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

#include <memory>

namespace {

QStringList gEvents;

} // namespace

// Called by the fixture templates.
extern "C" __attribute__((visibility("default"))) void trawlex_fixture_event(const char* what) {
    gEvents.append(QString::fromUtf8(what));
}

namespace {

using Kind = platform::RecordingDialogs::Kind;

const QString kNoValid = QStringLiteral("Not a valid ORPG file!");
const QString kNoTemplate = QStringLiteral("No template currently selected!");

template <class P> bool waitUntil(P predicate, int ms = 5000) {
    return QTest::qWaitFor(predicate, ms);
}

class TemplateLoading : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        platform::FakeWeb::instance().clear();
        gEvents.clear();
        // The user's own template folder lives here, never in the real home folder.
        dataHomeEnv.emplace("XDG_DATA_HOME", dataHome.path().toUtf8());
    }
    void TearDown() override {
        window.reset();
        dataHomeEnv.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    TfrmTrawl& open(QStringList arguments = {}) {
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.arguments = std::move(arguments);
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        // A command-line template loads in the first turn of the event loop.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->commandLineTemplatePending(); }));
        return *window;
    }
    // A fixture template copied into the program folder; its full path.
    QString install(const char* fixture) {
        const QString target = folder.file(QString::fromUtf8(fixture));
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(
            QStringLiteral(PLUGINS_FIXTURES_DIR "/") + QString::fromUtf8(fixture), target));
        return target;
    }
    platform::FakeBrowserEngine* engineOf(platform::TWebBrowser* b) {
        return qobject_cast<platform::FakeBrowserEngine*>(b->engine());
    }
    QString location() { return ui(*window).WB()->LocationURL(); }
    QString demoPath() { return folder.file(QStringLiteral("us_demo_directory.orp")); }
    QString demoHome() {
        return QUrl::fromLocalFile(folder.file(QStringLiteral("demo/index.html"))).toString();
    }
    static QString demoTitle() {
        return QStringLiteral("Trawlex -  Template: US-DEMO created by Trawlex demo [1.0]");
    }

    // A file in the user's template folder; its full path.
    QString writeUserTemplate(const QString& name, const QByteArray& content) {
        const QString dir = dataHome.path() + QStringLiteral("/trawlex/templates");
        EXPECT_TRUE(QDir().mkpath(dir));
        QFile f(dir + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }

    QTemporaryDir dataHome;
    std::optional<ScopedEnv> dataHomeEnv;
    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(TemplateLoading, StartPageListsTheDemoTemplateAndIsShown) {
    TfrmTrawl& w = open();
    ASSERT_FALSE(w.homePageFile().isEmpty());
    EXPECT_TRUE(w.homePageFile().endsWith(QStringLiteral("/index.html")));
    EXPECT_FALSE(w.homePageFile().startsWith(folder.path())); // the temporary folder, not ours
    const QString page = ui(w).mmMain()->toPlainText();
    EXPECT_TRUE(page.contains(QStringLiteral("us&nbsp;&nbsp;demo&nbsp;&nbsp;directory")));
    EXPECT_TRUE(page.contains(QStringLiteral("US = USA")));
    EXPECT_TRUE(page.contains(QStringLiteral("<a href=\"") + demoPath() + u'"'));
    EXPECT_FALSE(page.contains(QStringLiteral("<$LIST$>")));
    ASSERT_TRUE(
        waitUntil([&] { return location() == QUrl::fromLocalFile(w.homePageFile()).toString(); }));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(TemplateLoading, ClickingALinkLoadsTheTemplateAndOpensItsSite) {
    TfrmTrawl& w = open();
    ASSERT_TRUE(
        waitUntil([&] { return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }));
    engineOf(ui(w).WB())->clickLink(QUrl::fromLocalFile(demoPath()));
    ASSERT_TRUE(waitUntil([&] { return w.windowTitle() == demoTitle(); }))
        << w.windowTitle().toStdString();
    EXPECT_TRUE(w.hasTemplate());
    ASSERT_TRUE(waitUntil([&] { return location() == demoHome(); })) << location().toStdString();
    // The template file itself was never loaded as a page.
    for (const QUrl& u : platform::FakeWeb::instance().requests)
        EXPECT_FALSE(u.path().endsWith(QStringLiteral(".orp"))) << u.toString().toStdString();
    EXPECT_EQ(ui(w).osb()->text(1), QStringLiteral("US-DEMO"));
    EXPECT_EQ(ui(w).osb()->text(3), demoTitle());
    EXPECT_EQ(ui(w).edURL()->text(), demoHome());
    EXPECT_EQ(ui(w).mnPlugInHome()->text(), QStringLiteral("Plugin: ") + demoHome());
    EXPECT_EQ(ui(w).pg()->currentWidget(), ui(w).opWeb());
    EXPECT_EQ(ui(w).mmControl()->toPlainText(), QStringLiteral("EXTRA DATA..."));
    EXPECT_TRUE(dialogs.entries.isEmpty());

    // The home-page entry goes back to the template's site.
    ui(w).WB()->Navigate(QStringLiteral("about:blank"));
    ASSERT_TRUE(waitUntil([&] { return location() == u"about:blank"; }));
    ui(w).mnPlugInHome()->trigger();
    EXPECT_TRUE(waitUntil([&] { return location() == demoHome(); }));
}

struct BadTemplate {
    const char* file;
    const char* reason;         // what the message says is wrong, after the file's name
    const char* json = nullptr; // written by the test; null: a built fixture
    bool exists = true;
};

void PrintTo(const BadTemplate& t, std::ostream* os) {
    *os << t.file;
}

class RefusedTemplate : public TemplateLoading, public testing::WithParamInterface<BadTemplate> {};

TEST_P(RefusedTemplate, ShowsOneMessageAndKeepsTheCurrentTemplate) {
    TfrmTrawl& w = open();
    const BadTemplate& bad = GetParam();
    const QString name = QString::fromUtf8(bad.file);
    QString path = folder.file(name);
    if (bad.json)
        folder.write(name, QByteArray(bad.json));
    else if (bad.exists)
        path = install(bad.file);
    w.loadtemplate(demoPath());
    ASSERT_TRUE(w.hasTemplate());
    const std::shared_ptr<TPlugin> before = w.currentTemplate();
    const QString titleBefore = w.windowTitle();
    const QStringList columnsBefore = [&] {
        QStringList c;
        for (int i = 0; i < w.captureController().grid().columns(); ++i)
            c << w.captureController().grid().column(i).caption;
        return c;
    }();
    gEvents.clear();

    w.loadtemplate(path);
    // One message: the known text, then the file and what is wrong with it (the system
    // loader's own words end the reason of a file it cannot load).
    const QStringList messages = dialogs.texts(Kind::Message);
    ASSERT_EQ(messages.size(), 1);
    const QString expected =
        kNoValid + u'\n' + name + QStringLiteral(": ") + QString::fromUtf8(bad.reason);
    if (expected.endsWith(u'('))
        EXPECT_TRUE(messages[0].startsWith(expected)) << messages[0].toStdString();
    else
        EXPECT_EQ(messages[0], expected);
    EXPECT_EQ(w.currentTemplate(), before);
    EXPECT_EQ(w.windowTitle(), titleBefore);
    QStringList columnsAfter;
    for (int i = 0; i < w.captureController().grid().columns(); ++i)
        columnsAfter << w.captureController().grid().column(i).caption;
    EXPECT_EQ(columnsAfter, columnsBefore);
    EXPECT_FALSE(gEvents.contains(QStringLiteral("SetServiceBrowser")));

    dialogs.clear();
    EXPECT_TRUE(w.PluginIsOK());
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RefusedTemplate,
    testing::Values(
        BadTemplate{"not_a_library.orp", "Impossible to load DLL ("},
        BadTemplate{"no_create_plugin.orp", "not a template library: it has no CreatePlugin"},
        BadTemplate{"create_fails.orp", "the template failed to start"},
        BadTemplate{"create_throws.orp", "the template failed to start"},
        BadTemplate{"columns_0.orp", "the template has no columns (0)"},
        BadTemplate{"columns_minus_1.orp", "the template has no columns (-1)"},
        BadTemplate{"missing_file.orp", "Impossible to load DLL (", nullptr, false},
        BadTemplate{"us_broken.orp.json", "line 3, column 11: illegal number",
                    "{\n  \"trawlex\": 1,\n  \"name\": oops\n}"},
        BadTemplate{"us_typo.orp.json", "columns[0].widht: unknown key",
                    R"({"trawlex": 1, "name": "T", "records": "li",
                        "columns": [{"name": "A", "widht": 30}]})"},
        BadTemplate{"us_pseudo.orp.json", "columns[0].select: unknown pseudo-class ':foo'",
                    R"({"trawlex": 1, "name": "T", "records": "li",
                        "columns": [{"name": "A", "select": "a:foo"}]})"},
        BadTemplate{"us_pages.orp.json", "next.url: no {page}",
                    R"({"trawlex": 1, "name": "T", "records": "li",
                        "columns": [{"name": "A"}], "next": {"url": "https://x.example/"}})"}));

struct HandOver {
    const char* file;
    const char* expected; // the one event among the hand-over calls, or "" for none
};

void PrintTo(const HandOver& h, std::ostream* os) {
    *os << h.file;
}

class BrowserHandOver : public TemplateLoading, public testing::WithParamInterface<HandOver> {};

TEST_P(BrowserHandOver, GoesToTheRightBrowser) {
    TfrmTrawl& w = open();
    w.loadtemplate(install(GetParam().file));
    ASSERT_TRUE(w.hasTemplate());
    QStringList handOvers;
    for (const QString& e : gEvents)
        if (e.startsWith(QStringLiteral("SetServiceBrowser")) ||
            e.startsWith(QStringLiteral("SetAssistBrowser")))
            handOvers.append(e);
    const QString expected = QString::fromUtf8(GetParam().expected);
    EXPECT_EQ(handOvers, expected.isEmpty() ? QStringList() : QStringList{expected});
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BrowserHandOver,
                         testing::Values(HandOver{"au_yp.orp", "SetAssistBrowser"},
                                         HandOver{"au_yp_lower_case.orp", "SetServiceBrowser"},
                                         HandOver{"basic.orp", "SetServiceBrowser"},
                                         HandOver{"no_browser.orp", ""}));

TEST_F(TemplateLoading, LoadingTheSameFileTwiceReleasesTheFirstBeforeCreatingTheSecond) {
    TfrmTrawl& w = open();
    const QString path = install("basic.orp");
    w.loadtemplate(path);
    w.loadtemplate(path);
    QStringList lifecycle;
    for (const QString& e : gEvents)
        if (e.startsWith(QStringLiteral("create")) || e == u"destroy")
            lifecycle.append(e);
    // "create 1" again: the library was unloaded in between and starts afresh.
    EXPECT_EQ(lifecycle, (QStringList{QStringLiteral("create 1"), QStringLiteral("destroy"),
                                      QStringLiteral("create 1")}));
    EXPECT_TRUE(w.hasTemplate());
}

TEST_F(TemplateLoading, ANewTemplateIsCreatedBeforeTheCurrentOneIsReleased) {
    TfrmTrawl& w = open();
    w.loadtemplate(install("basic.orp"));
    w.loadtemplate(install("columns_3.orp"));
    QStringList lifecycle;
    for (const QString& e : gEvents)
        if (e.startsWith(QStringLiteral("create")) || e == u"destroy")
            lifecycle.append(e);
    // Two libraries, each counting its own objects.
    EXPECT_EQ(lifecycle, (QStringList{QStringLiteral("create 1"), QStringLiteral("create 1"),
                                      QStringLiteral("destroy")}));
    EXPECT_TRUE(w.hasTemplate());
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(TemplateLoading, UserTemplatesAreListedAfterTheProgramsAndLoadFromTheirLink) {
    // Without the user's folder, and with it empty, the page is the same to the byte.
    TfrmTrawl& w = open();
    const QString without = ui(w).mmMain()->toPlainText();
    ASSERT_TRUE(QDir().mkpath(dataHome.path() + QStringLiteral("/trawlex/templates")));
    w.LoadHomePage();
    EXPECT_EQ(ui(w).mmMain()->toPlainText(), without);

    const QString home = demoHome();
    const QString mine = writeUserTemplate(
        QStringLiteral("us_my_listings.orp.json"),
        QStringLiteral(R"({"trawlex": 1, "name": "US-MINE", "author": "Me", "version": "2",
            "home": "%1", "records": "li.listing",
            "columns": [{"name": "Name", "select": ".name"}]})")
            .arg(home)
            .toUtf8());
    w.LoadHomePage();
    const QString page = ui(w).mmMain()->toPlainText();
    const qsizetype demoLink = page.indexOf(QStringLiteral("<a href=\"") + demoPath() + u'"');
    const qsizetype userLink = page.indexOf(QStringLiteral("<a href=\"") + mine + u'"');
    ASSERT_GE(demoLink, 0) << page.toStdString();
    EXPECT_GT(userLink, demoLink) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("us&nbsp;&nbsp;my&nbsp;&nbsp;listings.orp")));

    ASSERT_TRUE(waitUntil([&] {
        return location() == QUrl::fromLocalFile(w.homePageFile()).toString() &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    }));
    engineOf(ui(w).WB())->clickLink(QUrl::fromLocalFile(mine));
    const QString title = QStringLiteral("Trawlex -  Template: US-MINE created by Me [2]");
    ASSERT_TRUE(waitUntil([&] { return w.windowTitle() == title; }))
        << w.windowTitle().toStdString();
    ASSERT_NE(w.currentTemplate()->Declarative(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return location() == home; })) << location().toStdString();
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(TemplateLoading, OpenCommandUsesTheTemplateFilterAndCancelKeepsTheTemplate) {
    TfrmTrawl& w = open();
    dialogs.setNextFileName(demoPath());
    ui(w).acOpen()->trigger();
    ASSERT_EQ(dialogs.entries.size(), 1);
    EXPECT_EQ(dialogs.entries[0].kind, Kind::OpenFile);
    EXPECT_EQ(dialogs.entries[0].request.filter, QStringLiteral("OrvoPage Library|*.orp*"));
    EXPECT_TRUE(dialogs.entries[0].request.directory.isEmpty());
    EXPECT_EQ(w.windowTitle(), demoTitle());

    gEvents.clear();
    dialogs.setNextCancel();
    ui(w).acOpen()->trigger();
    EXPECT_TRUE(w.hasTemplate());
    EXPECT_EQ(w.windowTitle(), demoTitle());
    EXPECT_EQ(dialogs.texts(Kind::Message), QStringList());
}

TEST_F(TemplateLoading, CommandLineTemplateIsLoadedAtStartUp) {
    TfrmTrawl& w = open({QStringLiteral("us_demo_directory.orp")});
    EXPECT_TRUE(w.hasTemplate());
    EXPECT_EQ(w.windowTitle(), demoTitle());
}

TEST_F(TemplateLoading, ShutdownReleasesTheTemplate) {
    TfrmTrawl& w = open();
    w.loadtemplate(install("basic.orp"));
    ASSERT_TRUE(w.hasTemplate());
    w.FormDestroy();
    EXPECT_FALSE(w.hasTemplate());
    EXPECT_EQ(gEvents.count(QStringLiteral("destroy")), 1);
}

TEST_F(TemplateLoading, StartPageFailsWithoutItsTemplateAndShowsNewFilesLater) {
    TfrmTrawl& w = open();
    install("au_yp.orp");
    w.LoadHomePage();
    EXPECT_TRUE(ui(w).mmMain()->toPlainText().contains(QStringLiteral("AU = Australia")));
    EXPECT_TRUE(ui(w).mmMain()->toPlainText().contains(QStringLiteral("3 templates found")));

    const QString before = ui(w).mmMain()->toPlainText();
    folder.remove(QStringLiteral("index.tpl.html"));
    EXPECT_ANY_THROW(w.LoadHomePage());
    EXPECT_EQ(ui(w).mmMain()->toPlainText(), before);
}

} // namespace
