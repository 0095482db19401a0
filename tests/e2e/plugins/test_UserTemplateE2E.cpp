// A template the user writes and drops in their own template folder, on the real engine:
// clicked on the start page, it captures every page of its site with each kind of page
// turn, and reads followed pages while the extras switch is on.
#include "app/uTrawlMain.h"
#include "tests/support/WindowElements.h"

#include "capture/GridModel.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"
#include "tests/support/InPagePages.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <optional>

#include <memory>

namespace {

bool waitFor(const std::function<bool()>& predicate, int ms = 30000) {
    return QTest::qWaitFor(predicate, ms);
}

// The demo site's columns; the e-mail is read on each listing's own page.
constexpr char kDemoColumns[] = R"json([
    {"name": "Name", "select": ".name"}, {"name": "Street", "select": ".street"},
    {"name": "Town", "select": ".town"}, {"name": "Telephone", "select": ".phone", "key": true},
    {"name": "E-mail", "follow": ".name a", "select": "a[href^='mailto:']", "attribute": "href",
     "pattern": "^mailto:(.*)", "key": true}])json";

constexpr int kDemoListings = 112; // 120 entries over 6 pages, 8 of them repeated

struct UserCase {
    const char* kind; // the file is us_user_<kind>.orp.json
    // The template's "home" and "next"; %1 is the demo site's folder as a file address.
    const char* home;
    const char* next;
    bool demoSite;    // else the page is the case's own, beside the template
    const char* page; // the own page's press script (empty: the endless page)
    bool extras;      // the extras switch on: followed pages are read
    int rows;
};

QString withDemo(const char* text, const QString& demo) {
    const QString t = QString::fromLatin1(text);
    return t.contains(QStringLiteral("%1")) ? t.arg(demo) : t;
}

void PrintTo(const UserCase& c, std::ostream* os) {
    *os << c.kind;
}

class UserTemplateE2E : public testing::TestWithParam<UserCase> {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
        ASSERT_TRUE(dataHome.isValid());
        dataHomeEnv.emplace("XDG_DATA_HOME", dataHome.path().toUtf8());
        userFolder = dataHome.path() + QStringLiteral("/trawlex/templates/");
        ASSERT_TRUE(QDir().mkpath(userFolder));
    }
    void TearDown() override {
        window.reset();
        dataHomeEnv.reset();
        platform::setDialogs(nullptr);
        platform::resetShutdownForTests();
    }
    void writeUserFile(const QString& name, const QByteArray& content) {
        QFile f(userFolder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // Clicks the start page's link whose text contains label, as the user would.
    void clickLink(const QString& label) {
        auto* view = ui(*window).WB()->findChild<QWebEngineView*>();
        ASSERT_NE(view, nullptr);
        view->page()->runJavaScript(
            QStringLiteral("for (const a of document.querySelectorAll('li.lien a'))"
                           "  if (a.textContent.includes('%1')) { a.click(); break; }")
                .arg(label));
    }

    QTemporaryDir dataHome;
    std::optional<ScopedEnv> dataHomeEnv;
    QString userFolder;
    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_P(UserTemplateE2E, ClickedOnTheStartPageItCapturesEveryPage) {
    const UserCase& c = GetParam();
    const QString kind = QString::fromLatin1(c.kind);
    const QString demo = QUrl::fromLocalFile(folder.file(QStringLiteral("demo"))).toString();
    const QString columns = c.demoSite ? QString::fromLatin1(kDemoColumns)
                                       : QStringLiteral(R"([{"name": "Name", "select": ".n"}])");
    const QString records = c.demoSite ? QStringLiteral("li.listing") : QStringLiteral("li.item");
    writeUserFile(
        QStringLiteral("us_user_%1.orp.json").arg(kind),
        QStringLiteral(R"({"trawlex": 1, "name": "USER-%1", "author": "Me",
                      "version": "1", "home": "%2", "records": "%3", "columns": %4,
                      "next": %5})")
            .arg(kind.toUpper(), withDemo(c.home, demo), records, columns, withDemo(c.next, demo))
            .toUtf8());
    if (!c.demoSite)
        writeUserFile(QStringLiteral("page.html"),
                      *c.page ? loadMorePage(QString::fromLatin1(c.page)) : kEndlessPage);

    TfrmTrawl::Options o;
    o.progDir = folder.path();
    o.exitProcess = false;
    window = std::make_unique<TfrmTrawl>(o);
    TfrmTrawl& w = *window;
    w.show();
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE &&
               ui(w).WB()->LocationURL() == QUrl::fromLocalFile(w.homePageFile()).toString();
    }));

    clickLink(kind + QStringLiteral(".orp"));
    ASSERT_TRUE(waitFor([&] {
        return w.windowTitle() ==
               QStringLiteral("Trawlex -  Template: USER-%1 created by Me [1]").arg(kind.toUpper());
    })) << w.windowTitle().toStdString();
    const QString start =
        c.demoSite ? QStringLiteral("/demo/results-1.html") : QStringLiteral("/page.html");
    ASSERT_TRUE(waitFor([&] {
        return ui(w).WB()->LocationURL().endsWith(start) &&
               ui(w).WB()->ReadyState() == platform::READYSTATE_COMPLETE;
    })) << ui(w).WB()->LocationURL().toStdString();
    if (c.extras)
        ui(w).acSetWantsEmail()->trigger();
    ui(w).spSpeed()->setValue(0);

    ui(w).acCapture()->trigger(); // returns when the run has ended
    const auto* grid = qobject_cast<capture::TGridModel*>(ui(w).lv()->model());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->rows(), c.rows);
    QStringList names;
    int withEmail = 0;
    for (int r = 0; r < grid->rows(); ++r) {
        names.append(grid->caption(r).toString());
        withEmail += grid->field(r, 4).contains(u'@') ? 1 : 0;
    }
    if (!c.demoSite) {
        // Sorted, as the grid orders rows by its view; equal lists also mean no listing
        // came in twice.
        QStringList expected;
        for (int i = 0; i < c.rows; ++i)
            expected.append(QStringLiteral("Listing %1").arg(i));
        expected.sort();
        names.sort();
        EXPECT_EQ(names, expected);
    }
    // Followed pages are read only with the extras switch on.
    if (c.extras)
        EXPECT_GT(withEmail, kDemoListings / 2);
    else
        EXPECT_EQ(withEmail, 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex -  Your extraction has been completed."));
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UserTemplateE2E,
    testing::Values(
        UserCase{"link", "%1/results-1.html", R"({"link": "a[rel=next]"})", true, "", true,
                 kDemoListings},
        UserCase{"url", "%1/results-1.html", R"({"url": "%1/results-{page}.html", "last": 6})",
                 true, "", false, kDemoListings},
        UserCase{"click", "page.html", R"({"click": "#more"})", false, kAddTenUntilForty, false,
                 40},
        UserCase{"scroll", "page.html", R"({"scroll": true, "max": 3})", false, "", false, 40}));

} // namespace
