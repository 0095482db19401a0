// Detect Listings in the window on the real engine: a listing page on show becomes the
// current template (columns named, records outlined), Capture takes every page through
// the detected next control, Save Template keeps it in the user's template folder; a page
// without listings is answered so and changes nothing.
#include "app/uTrawlMain.h"
#include "browser/OrvoBrowser.h"
#include "capture/GridModel.h"
#include "platform/Ticks.h"
#include "plugins/DeclarativeFormat.h"
#include "plugins/IPlugins.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/WindowElements.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

#include <memory>

namespace {

const QString kPages = QStringLiteral(DETECT_PAGES_DIR);

bool waitFor(const std::function<bool()>& done, int ms = 30000) {
    return QTest::qWaitFor(done, ms);
}

class DetectWindowE2E : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        ASSERT_TRUE(dataHome.isValid());
        dataHomeEnv.emplace("XDG_DATA_HOME", dataHome.path().toUtf8());
        TfrmTrawl::Options o;
        o.progDir = folder.path();
        o.exitProcess = false;
        window = std::make_unique<TfrmTrawl>(o);
        window->show();
        ASSERT_TRUE(waitFor([&] { return ready(); }));
    }
    void TearDown() override {
        window.reset();
        dataHomeEnv.reset();
        platform::resetShutdownForTests();
    }
    bool ready() const { return ui(*window).WB()->ReadyState() == platform::READYSTATE_COMPLETE; }
    void open(const QString& page) {
        ui(*window).WB()->Navigate(QUrl::fromLocalFile(kPages + u'/' + page).toString());
        ASSERT_TRUE(
            waitFor([&] { return ui(*window).WB()->LocationURL().endsWith(page) && ready(); }));
    }
    QAction* action(const char* name) const {
        return window->findChild<QAction*>(QString::fromLatin1(name));
    }
    QStringList captions() const {
        const auto* grid = qobject_cast<capture::TGridModel*>(ui(*window).lv()->model());
        QStringList names;
        for (int c = 0; grid && c < grid->columnCount(); ++c)
            names.append(grid->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
        return names;
    }

    platform::RecordingDialogs dialogs;
    platform::ScopedDialogs scoped{&dialogs};
    ProgramFolder folder;
    QTemporaryDir dataHome;
    std::optional<ScopedEnv> dataHomeEnv;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(DetectWindowE2E, DetectCaptureAndSaveTheTemplate) {
    QAction* detect = action("acDetectListings");
    QAction* save = action("acSaveTemplate");
    ASSERT_NE(detect, nullptr);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(detect->text(), QStringLiteral("Detect Listings"));
    EXPECT_EQ(save->text(), QStringLiteral("Save Template"));
    for (const char* name : {"tbbDetect", "itiDetect"}) {
        auto* b = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->accessibleName(), QStringLiteral("Detect Listings")) << name;
    }
    EXPECT_FALSE(save->isEnabled());

    open(QStringLiteral("cards-relnext-1.html"));
    detect->trigger();
    ASSERT_TRUE(window->hasTemplate());
    EXPECT_TRUE(dialogs.entries.isEmpty());
    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Text 1"), QStringLiteral("Link"),
                                       QStringLiteral("Phone"), QStringLiteral("Address"),
                                       QStringLiteral("E-mail"), QStringLiteral("Web")}));
    // The page stayed as it was, its records outlined.
    EXPECT_TRUE(ui(*window).WB()->LocationURL().endsWith(QStringLiteral("cards-relnext-1.html")));
    const auto outlined = ui(*window).WB()->RunScript(
        QStringLiteral("Array.from(document.querySelectorAll('div.card')).filter("
                       "e => e.style.outlineStyle === 'solid').length"));
    ASSERT_TRUE(outlined);
    EXPECT_EQ(outlined->toInt(), 10);
    EXPECT_TRUE(save->isEnabled());
    // The grid previews the page's rows under the proposed captions.
    const auto* grid = qobject_cast<capture::TGridModel*>(ui(*window).lv()->model());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->rows(), 10);

    // Capture as with a loaded template: both pages through the detected next control, the
    // previewed rows not added twice.
    ui(*window).spSpeed()->setValue(0);
    ui(*window).acCapture()->trigger();
    EXPECT_EQ(grid->rows(), 17);
    EXPECT_TRUE(ui(*window).WB()->LocationURL().endsWith(QStringLiteral("cards-relnext-2.html")));

    // Saved under the name the user gives, in the user's template folder, and loaded.
    const QString userFolder = dataHome.path() + QStringLiteral("/trawlex/templates");
    dialogs.setNextFileName(userFolder + QStringLiteral("/my-cards"));
    save->trigger();
    const QString saved = userFolder + QStringLiteral("/my-cards.orp.json");
    ASSERT_TRUE(QFile::exists(saved));
    const auto& request = dialogs.entries.last().request;
    EXPECT_EQ(request.title, QStringLiteral("Save Template"));
    EXPECT_EQ(QDir(request.directory).absolutePath(), QDir(userFolder).absolutePath());
    QFile f(saved);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const auto parsed = declarative::ParseTemplate(f.readAll());
    ASSERT_TRUE(parsed.description) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.description->home.endsWith(QStringLiteral("cards-relnext-1.html")));
    EXPECT_EQ(parsed.description->records.text, QStringLiteral("div.card"));
    ASSERT_TRUE(window->currentTemplate());
    EXPECT_EQ(QDir::cleanPath(window->currentTemplate()->FileName()), QDir::cleanPath(saved));
}

TEST_F(DetectWindowE2E, NoListingsIsSaidAndChangesNothing) {
    open(QStringLiteral("no-listings-1.html"));
    action("acDetectListings")->trigger();
    EXPECT_EQ(dialogs.texts(platform::RecordingDialogs::Kind::Message),
              QStringList{QStringLiteral("no listings found")});
    EXPECT_FALSE(window->hasTemplate());
    EXPECT_FALSE(action("acSaveTemplate")->isEnabled());
}

} // namespace
