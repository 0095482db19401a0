#include "app/uTrawlMain.h"
#include "capture/CaptureController.h"
#include "tests/support/WindowElements.h"

#include "platform/AlertServer.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "platform/ToolDock.h"
#include "platform/Widgets.h"
#include "tests/support/ProgramFolder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingDialogs.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindow : public testing::Test {
protected:
    void SetUp() override {
        platform::resetShutdownForTests();
        platform::setDialogs(&dialogs);
    }
    void TearDown() override {
        window.reset();
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
    template <class T = QWidget> T* element(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    ProgramFolder folder;
    platform::RecordingDialogs dialogs;
    std::unique_ptr<TfrmTrawl> window;
};

TEST_F(MainWindow, EveryElementCarriesItsName) {
    open();
    for (const char* name : {"vpl",
                             "hiBrowse",
                             "itiCapture",
                             "cbAutoTurn",
                             "spSpeed",
                             "itiSaveGrid",
                             "indicGrid",
                             "hiFeedback",
                             "itiClose",
                             "ImgWait2",
                             "ImgLogo",
                             "mmControl",
                             "mmMain",
                             "btnupdateprog",
                             "btnUpdateplugin",
                             "pg",
                             "opWeb",
                             "opData",
                             "dpWeb",
                             "mnBtnHome",
                             "tbbOpen",
                             "btnFavorite",
                             "tbbStop",
                             "tbbRefresh",
                             "tbbBack",
                             "tbbForward",
                             "tbbNoImg",
                             "tbbArobase",
                             "tbbCapture",
                             "tbbDetect",
                             "tbbSaveTemplate",
                             "itiDetect",
                             "mmIndic",
                             "dpData",
                             "tbbDuplicates",
                             "tbbDelete",
                             "tbbClear",
                             "tbbSaveXLS",
                             "tbbcsv",
                             "AdvGlowButton1",
                             "btnUpgrade",
                             "lv",
                             "edURL",
                             "osb",
                             "tbUpdate"}) {
        EXPECT_NE(element<QObject>(name), nullptr) << name;
    }
    for (const char* name : {"PopCSV", "mnPopHome", "mnFavoritePage", "mnPopSilent"})
        EXPECT_NE(window->findChild<QMenu*>(QString::fromLatin1(name)), nullptr) << name;
    for (const char* name : {"mnComma", "mnSemicolon", "mnTab", "mnHomeTrawlex", "mnPlugInHome",
                             "mnPopFavoritePage", "mnSilentMode", "mnJavaScript"})
        EXPECT_NE(window->findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(MainWindow, StartsWithTheDefaultTexts) {
    TfrmTrawl& w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex - Welcome!"));
    EXPECT_EQ(ui(w).hiFeedback()->caption(), QStringLiteral("Feedback")); // design text "Exit"
    EXPECT_EQ(ui(w).tbbBack()->toolTip(), QStringLiteral("Go Back"));     // design "Go back"
    EXPECT_EQ(ui(w).tbbBack()->accessibleName(), QStringLiteral("Go Back"));
    EXPECT_EQ(ui(w).mmIndic()->text(), QStringLiteral("PROGRESS INDICATOR"));
    EXPECT_EQ(ui(w).indicGrid()->caption(), QStringLiteral("0"));
    EXPECT_EQ(ui(w).indicGrid()->fill(), QColor(255, 0, 0));
    EXPECT_EQ(ui(w).osb()->text(2), QStringLiteral("0 lines in grid"));
    EXPECT_EQ(ui(w).osb()->kind(0), platform::StatusBar::Kind::Progress);
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_EQ(ui(w).itiCapture()->badge()->caption(),
              QStringLiteral("Click to stop!") + QChar(0xA0));
    EXPECT_EQ(ui(w).edURL()->text(), QStringLiteral("URL Navigator"));
    EXPECT_FALSE(ui(w).edURL()->isEnabled());
    EXPECT_EQ(ui(w).mmControl()->toPlainText(), QStringLiteral("EXTRA DATA..."));
    EXPECT_TRUE(ui(w).cbAutoTurn()->isChecked());
    EXPECT_EQ(ui(w).spSpeed()->value(), 3);
    EXPECT_EQ(ui(w).spSpeed()->minimum(), 0);
    EXPECT_EQ(ui(w).spSpeed()->maximum(), 60);
    EXPECT_TRUE(
        ui(w).spSpeedLabel()->text().startsWith(QString(36, u' ') + QStringLiteral("Speed")));
    EXPECT_EQ(ui(w).pg()->currentIndex(), 0);
    EXPECT_EQ(ui(w).pg()->tabText(0), QStringLiteral("Web Navigation"));
    EXPECT_EQ(ui(w).pg()->tabText(1), QStringLiteral("Data Grid"));
    EXPECT_TRUE(ui(w).Timer()->isActive());
    EXPECT_EQ(ui(w).Timer()->interval(), 1000);
    EXPECT_TRUE(ui(w).mnComma()->isChecked());
    EXPECT_TRUE(ui(w).btnupdateprog()->isHidden());
    EXPECT_TRUE(ui(w).btnUpdateplugin()->isHidden());
    EXPECT_FALSE(ui(w).ImgWait2()->isRunning());
    EXPECT_EQ(ui(w).dpData()->toolBars().first(), ui(w).tbUpdate());
    EXPECT_EQ(w.saveRequest().fileName, QStringLiteral("DataSet - "));
    EXPECT_EQ(w.saveRequest().filterIndex, 2);
    EXPECT_EQ(w.openRequest().filter, QStringLiteral("OrvoPage Library|*.orp*"));
    EXPECT_TRUE(w.programFolder().endsWith(u'/'));
    EXPECT_TRUE(dialogs.entries.isEmpty());

    // Once the browsers have loaded their first pages the idle texts are still there.
    EXPECT_TRUE(waitUntil([&] { return ui(w).osb()->text(0) == QStringLiteral("Browser ready"); }));
    QTest::qWait(300);
    EXPECT_EQ(ui(w).mmControl()->toPlainText(), QStringLiteral("EXTRA DATA..."));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

QByteArray utf16le(const QString& s) {
    QByteArray b("\xFF\xFE", 2);
    b.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
    return b;
}

struct LanguageCase {
    const char* name;
    QByteArray indexIni;   // empty: none
    const char* lingoPath; // where the language file goes
    QByteArray languageIni;
    std::function<void(TfrmTrawl&)> check;
};

class LanguageFile : public MainWindow, public testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageFile, Applies) {
    const LanguageCase& c = GetParam();
    folder.remove(QStringLiteral("INTL"));
    if (!c.indexIni.isEmpty())
        folder.write(QStringLiteral("index.ini"), c.indexIni);
    if (c.lingoPath)
        folder.write(QString::fromLatin1(c.lingoPath), c.languageIni);
    TfrmTrawl& w = open();
    c.check(w);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LanguageFile,
    testing::Values(
        LanguageCase{"only_lines_in_grid",
                     {},
                     "INTL/trawlex.ini",
                     "[inStrings]\nsLinesInGrid=rows\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).osb()->text(2), QStringLiteral("0 rows"));
                         EXPECT_EQ(ui(w).hiFeedback()->caption(), QStringLiteral("Feedback"));
                         EXPECT_EQ(ui(w).tbbRefresh()->toolTip(), QStringLiteral("Refresh Page"));
                     }},
        LanguageCase{"empty_tab_caption",
                     {},
                     "INTL/trawlex.ini",
                     "[LeftBar]\nopWeb.Caption=\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).pg()->tabText(0), QString());
                         EXPECT_EQ(ui(w).pg()->tabText(1), QStringLiteral("Data Grid"));
                     }},
        LanguageCase{"header_colour_number",
                     {},
                     "INTL/trawlex.ini",
                     "[LeftBar]\nhiBrowse.headercolor=$0000FF\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).hiBrowse()->fillColor(), QColor(255, 0, 0));
                         EXPECT_EQ(ui(w).hiFeedback()->fillColor(), QColor(255, 0, 0));
                         EXPECT_EQ(ui(w).hiBrowse()->captionColor(), QColor(255, 255, 255));
                     }},
        LanguageCase{"bad_colour_keeps_default",
                     {},
                     "INTL/trawlex.ini",
                     "[LeftBar]\nhiBrowse.headercolor=bluish\nitiCapture.Caption=Grab\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).hiBrowse()->fillColor(), QColor(0, 0, 0));
                         EXPECT_EQ(ui(w).itiCapture()->caption(), QStringLiteral("Grab"));
                     }},
        LanguageCase{"speed_label",
                     {},
                     "INTL/trawlex.ini",
                     "[leftbar]\nSPSPEED.CAPTION=Speed\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).spSpeedLabel()->text(),
                                   QString(18, u' ') + QStringLiteral("Speed"));
                     }},
        LanguageCase{"folder_named_in_index_ini_any_case", "[Application]\nLingo=Deutsch\n",
                     "DEUTSCH/Trawlex.INI",
                     "[Buttons]\ntbbBack.hint=Zur\xC3\xBC"
                     "ck\n",
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).tbbBack()->toolTip(), QStringLiteral("Zur\u00fcck"));
                     }},
        LanguageCase{"no_language_folder",
                     {},
                     nullptr,
                     {},
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).tbbBack()->toolTip(), QStringLiteral("Go Back"));
                         EXPECT_EQ(ui(w).osb()->text(2), QStringLiteral("0 lines in grid"));
                     }},
        LanguageCase{"binary_language_file",
                     {},
                     "INTL/trawlex.ini",
                     QByteArray(2000, '\xC3'),
                     [](TfrmTrawl& w) {
                         EXPECT_EQ(ui(w).hiFeedback()->caption(), QStringLiteral("Feedback"));
                     }},
        LanguageCase{
            "app_name_without_separator",
            "[Application]\nAppName=Orvo\n",
            nullptr,
            {},
            [](TfrmTrawl& w) { EXPECT_EQ(w.windowTitle(), QStringLiteral("OrvoWelcome!")); }},
        LanguageCase{
            "utf16_index_ini",
            utf16le(QStringLiteral("[Application]\r\nAppName=\"X \"\r\n")),
            nullptr,
            {},
            [](TfrmTrawl& w) { EXPECT_EQ(w.windowTitle(), QStringLiteral("X Welcome!")); }}),
    [](const testing::TestParamInfo<LanguageCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindow, LogoComesFromIndexPngUnlessItIsNoPicture) {
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    red.save(folder.file(QStringLiteral("index.png")), "PNG");
    TfrmTrawl& w = open();
    EXPECT_EQ(ui(w).ImgLogo()->pixmap().toImage().pixelColor(20, 20), QColor(Qt::red));
    EXPECT_EQ(w.savedLogo().toImage().pixelColor(20, 20), QColor(Qt::red));
    window.reset();

    folder.write(QStringLiteral("index.png"), "not a picture");
    TfrmTrawl& w2 = open();
    EXPECT_FALSE(ui(w2).ImgLogo()->pixmap().isNull());
    EXPECT_NE(ui(w2).ImgLogo()->pixmap().toImage().pixelColor(20, 20), QColor(Qt::red));
    EXPECT_TRUE(dialogs.entries.isEmpty());
}

TEST_F(MainWindow, ResizeKeepsMarginsAboveTheBottomLines) {
    TfrmTrawl& w = open();
    for (const QSize size : {QSize(1085, 679), QSize(1400, 900), QSize(800, 500)}) {
        w.resize(size);
        // A page is laid out when it is on show.
        ui(w).pg()->setCurrentIndex(1);
        QApplication::processEvents();
        const QRect grid = ui(w).lv()->geometry();
        EXPECT_EQ(grid.left(), 5);
        EXPECT_EQ(grid.width(), ui(w).opData()->width() - 10);
        EXPECT_EQ(grid.top(), ui(w).dpData()->height() + 10);
        EXPECT_EQ(grid.bottom() + 1, ui(w).edURL()->geometry().top() - 5) << size.width();
        EXPECT_EQ(ui(w).edURL()->geometry().bottom() + 1, ui(w).opData()->height());
        ui(w).pg()->setCurrentIndex(0);
        QApplication::processEvents();
        EXPECT_EQ(ui(w).mmIndic()->geometry().bottom() + 1, ui(w).opWeb()->height());
        EXPECT_EQ(ui(w).mmIndic()->height(), 77);
        if (QWidget* view = TfrmTrawl::viewOf(ui(w).WB())) {
            EXPECT_EQ(view->geometry().left(), 5);
            EXPECT_EQ(view->geometry().bottom() + 1, ui(w).mmIndic()->geometry().top() - 5);
        }
        // Whatever the size, the assistant stays off the page.
        if (QWidget* assist = TfrmTrawl::viewOf(ui(w).WBassist())) {
            EXPECT_FALSE(assist->geometry().intersects(ui(w).opWeb()->rect()));
        }
    }
}

TEST_F(MainWindow, StatusFeedback) {
    TfrmTrawl& w = open();
    w.mmIndicClick();
    EXPECT_EQ(ui(w).pg()->currentIndex(), 1);
    w.mmIndicClick();
    EXPECT_EQ(ui(w).pg()->currentIndex(), 1);

    w.setIndicator(QStringLiteral("Orvo Smiles... B-}"));
    EXPECT_EQ(ui(w).mmIndic()->text(), QStringLiteral("ORVO SMILES... B-}"));

    w.setCaptureBadgeVisible(true);
    ui(w).ImgWait2()->start();
    ui(w).ImgLogo()->clear();
    ui(w).mmControl()->setPlainText(QStringLiteral("x"));
    w.resetbuttons();
    EXPECT_FALSE(w.isCaptureBadgeVisible());
    EXPECT_FALSE(ui(w).ImgWait2()->isRunning());
    EXPECT_EQ(w.captureController().pageCounter(), 1);
    EXPECT_EQ(ui(w).edURL()->text(), QStringLiteral("No next page accessible..."));
    EXPECT_EQ(ui(w).mmControl()->toPlainText(), QStringLiteral("EXTRA DATA..."));
    EXPECT_EQ(ui(w).ImgLogo()->pixmap().toImage(), w.savedLogo().toImage());

    ui(w).spSpeed()->setValue(0);
    QElapsedTimer t;
    t.start();
    w.spinwait();
    EXPECT_LT(t.elapsed(), 1000);
}

TEST_F(MainWindow, ScrollCaptionRestoresTheCaptionFromBefore) {
    TfrmTrawl& w = open();
    QStringList seen;
    QTimer spy;
    QObject::connect(&spy, &QTimer::timeout, [&] { seen << w.windowTitle(); });
    spy.start(20);
    QTimer::singleShot(200, [&] { w.setWindowTitle(QStringLiteral("set meanwhile")); });
    w.scrollcaption(QStringLiteral("Turning to the next page"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex - Welcome!"));
    EXPECT_FALSE(seen.filter(QStringLiteral("Turning to the next")).isEmpty());
    EXPECT_TRUE(seen.contains(QStringLiteral("set meanwhile")) || !seen.isEmpty());
}

TEST_F(MainWindow, AlertServerHoldsTwoMessages) {
    TfrmTrawl& w = open();
    w.showAlertServer();
    w.showAlertServer(); // still one window
    ASSERT_TRUE(ui(w).AlertServer()->isVisible());
    EXPECT_EQ(w.findChildren<platform::AlertServer*>().size(), 1);
    EXPECT_EQ(ui(w).AlertServer()->positionText(), QStringLiteral("1 of 2"));
    EXPECT_TRUE(
        ui(w).AlertServer()->messages().at(0).startsWith(QStringLiteral("<B>SERVER PROBLEM?</B>")));
    EXPECT_TRUE(ui(w).AlertServer()->messages().at(0).endsWith(QString(34, u' ')));
    EXPECT_TRUE(ui(w).AlertServer()->messages().at(1).contains(
        QStringLiteral("This data is <B>already present</B> in the grid!")));
    ui(w).AlertServer()->next();
    EXPECT_EQ(ui(w).AlertServer()->positionText(), QStringLiteral("2 of 2"));
    ui(w).AlertServer()->next();
    EXPECT_EQ(ui(w).AlertServer()->positionText(), QStringLiteral("2 of 2"));
    ui(w).AlertServer()->previous();
    EXPECT_EQ(ui(w).AlertServer()->positionText(), QStringLiteral("1 of 2"));
    QTest::qWait(600); // no automatic hiding
    EXPECT_TRUE(ui(w).AlertServer()->isVisible());
    ui(w).AlertServer()->close();
    EXPECT_FALSE(ui(w).AlertServer()->isVisible());
}

TEST_F(MainWindow, ClosingDuringAWaitEndsTheWaitAndTheWindow) {
    TfrmTrawl& w = open();
    bool waitReturned = false;
    QElapsedTimer t;
    QTimer::singleShot(0, [&] {
        t.start();
        platform::tickwait(120'000);
        waitReturned = true;
    });
    QTimer::singleShot(50, [&] { w.itiCloseItemClick(); });
    ASSERT_TRUE(waitUntil([&] { return waitReturned; }));
    EXPECT_LT(t.elapsed(), 10'000);
    EXPECT_TRUE(w.isClosing());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex -  - Application Exit... Please wait!"));
    EXPECT_TRUE(platform::isShuttingDown());
    window.reset(); // destruction after the wait unwound: no use of freed objects
}

} // namespace

namespace {

TEST_F(MainWindow, WithoutTheStartPageTemplateOneErrorAndTheRestOfStartUpIsSkipped) {
    folder.remove(QStringLiteral("index.tpl.html"));
    TfrmTrawl& w = open({folder.file(QStringLiteral("us_demo_directory.orp"))});
    EXPECT_EQ(dialogs.texts(platform::RecordingDialogs::Kind::Error).size(), 1);
    EXPECT_EQ(dialogs.entries.size(), 1);
    EXPECT_FALSE(ui(w).Timer()->isActive());
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(w.hasTemplate()); // the command-line template is not loaded
    EXPECT_EQ(ui(w).mnPopFavoritePage()->text(), QStringLiteral("Favorite Page"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Trawlex - Welcome!"));
    // The window is still usable.
    w.mmIndicClick();
    EXPECT_EQ(ui(w).pg()->currentIndex(), 1);
}

TEST_F(MainWindow, AStartPageTemplateInTheDistribFolder) {
    folder.write(QStringLiteral("index.ini"), "[Application]\nDistrib=brand/\n");
    folder.write(QStringLiteral("brand/index.tpl.html"), "<html><body>BRANDED</body></html>");
    folder.remove(QStringLiteral("index.tpl.html"));
    TfrmTrawl& w = open();
    EXPECT_TRUE(dialogs.entries.isEmpty());
    EXPECT_TRUE(ui(w).Timer()->isActive());
    EXPECT_TRUE(ui(w).mmMain()->toPlainText().contains(QStringLiteral("BRANDED")));
}

TEST_F(MainWindow, ACommandLineFileThatIsNoTemplateGivesTheMessageAndNoTemplate) {
    folder.write(QStringLiteral("junk.orp"), "this is not a library");
    TfrmTrawl& w = open({folder.file(QStringLiteral("junk.orp"))});
    const QStringList messages = dialogs.texts(platform::RecordingDialogs::Kind::Message);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(
        QStringLiteral("Not a valid ORPG file!\njunk.orp: Impossible to load DLL")))
        << messages[0].toStdString();
    EXPECT_FALSE(w.hasTemplate());
    EXPECT_TRUE(ui(w).Timer()->isActive()); // start-up went on
}

TEST(StatusMarkup, BoldAndBreaksOnlyEverythingElseLiteral) {
    struct Case {
        const char* markup;
        const char* html;
        const char* plain;
    };
    for (const Case c : {Case{"<B>SERVER</B><BR>x", "<b>SERVER</b><br>x", "SERVER\nx"},
                         Case{"<b>a</b><br>", "<b>a</b><br>", "a\n"},
                         Case{"<i>no</i> & <script>", "&lt;i&gt;no&lt;/i&gt; &amp; &lt;script&gt;",
                              "<i>no</i> & <script>"},
                         Case{"AU-YP \"x\"", "AU-YP &quot;x&quot;", "AU-YP \"x\""}}) {
        EXPECT_EQ(platform::statusMarkupToHtml(QString::fromLatin1(c.markup)),
                  QString::fromLatin1(c.html));
        EXPECT_EQ(platform::statusMarkupToPlain(QString::fromLatin1(c.markup)),
                  QString::fromLatin1(c.plain));
    }
}

TEST(StatusBarPanels, SwitchKindWithEachWriter) {
    platform::StatusBar bar({{175, Qt::AlignHCenter, platform::StatusBar::Kind::Progress},
                             {100, Qt::AlignHCenter, platform::StatusBar::Kind::Text}});
    EXPECT_EQ(bar.kind(0), platform::StatusBar::Kind::Progress);
    bar.setText(0, QStringLiteral("Browser ready"));
    EXPECT_EQ(bar.kind(0), platform::StatusBar::Kind::Text);
    EXPECT_EQ(bar.label(0)->accessibleName(), QStringLiteral("Browser ready"));
    bar.setProgress(0, 30, 120);
    EXPECT_EQ(bar.kind(0), platform::StatusBar::Kind::Progress);
    EXPECT_EQ(bar.progressValue(0), 30);
    EXPECT_EQ(bar.progressMaximum(0), 120);
    bar.setProgress(0, 5, 0); // unknown size: an empty bar, never a busy one
    EXPECT_EQ(bar.progressMaximum(0), 1);
}

} // namespace
