// The capture run against a scripted window and site: how each kind of run ends, what a
// press of Capture or a shutdown inside a wait does, and bad template answers.
#include "capture/CaptureRun.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

using namespace capture;
using namespace capture::runtext;
using namespace Qt::StringLiterals;

namespace {

const QChar S = QChar(kFieldSeparator);

struct Page {
    Page() = default;
    Page(QString t, bool n = false, QString u = {}, bool dt = false, bool nt = false)
        : text(std::move(t)), hasNext(n), next(std::move(u)), dataThrows(dt), nextThrows(nt) {}
    QString text;
    bool hasNext = false;
    QString next;
    bool dataThrows = false;
    bool nextThrows = false;
};

const char* nameOf(Browser b) {
    switch (b) {
    case Browser::WB:
        return "WB";
    case Browser::wb2:
        return "wb2";
    case Browser::WBassist:
        return "WBassist";
    }
    return "?";
}

class FakeHost : public ICaptureHost {
public:
    TGridModel model;
    std::map<QString, Page> site;
    QString wb = u"p1"_s;
    bool loaded = true;
    bool slow = false;
    bool autoTurnOn = true;
    bool badge = false;
    bool animation = false;
    bool shuttingDown = false;
    QString indicator = u"PROGRESS INDICATOR"_s;
    QString edURL;
    QString title = u"Welcome!"_s;
    int counter = 1;
    int extraNav = 99;
    int sounds = 0;
    int alerts = 0;
    int resets = 0;
    int getDataCalls = 0;
    int noTemplateMessages = 0;
    int updatecountThrowsAt = -1; // the call that fails, counting from 0
    int updatecounts = 0;
    int lastCountShown = -1;
    QStringList log;
    QStringList snapshots;
    QStringList messages;
    std::uintptr_t minFrame = UINTPTR_MAX;
    std::uintptr_t maxFrame = 0;
    // Runs inside every wait and message pass, with its name ("wait:WB", "spinwait"...).
    std::function<void(const QString&)> during;

    FakeHost() { model.appendColumns(2); }

    void addPages(std::initializer_list<std::pair<QString, Page>> pages) {
        for (const auto& p : pages)
            site[p.first] = p.second;
    }

    TGridModel& grid() override { return model; }
    QString pageAddress() override { return u"https://site.example/"_s + wb; }
    void hook(const QString& where) {
        log.append(where);
        if (during && !shuttingDown)
            during(where);
    }

    // Template.
    bool PluginIsOK() override {
        if (!loaded)
            ++noTemplateMessages;
        return loaded;
    }
    int GetColumnCount() override { return 3; }
    QString GetColumnNames() override { return {}; }
    QString GetColumnWidths() override { return {}; }
    QString GetDupeColumns() override { return {}; }
    bool GetIsSlow() override { return slow; }
    void SetStop(bool stop) override { log.append(stop ? u"stop:1"_s : u"stop:0"_s); }
    void SetWantsEmail(bool) override {}
    QString GetData() override {
        ++getDataCalls;
        log.append(u"getdata:"_s + wb);
        if (turn.kind != InPageTurn::Kind::None)
            return live.isEmpty() ? QString() : live.join(u"\r\n"_s) + u"\r\n"_s;
        const Page& p = site[wb];
        if (p.dataThrows)
            throw std::runtime_error("extraction");
        return p.text;
    }
    bool GetNextPage(QString& url) override {
        const Page& p = site[wb];
        if (p.nextThrows)
            throw std::runtime_error("next page");
        url = p.next;
        return p.hasNext;
    }

    // Waits.
    void waitUntilReady(Browser b) override {
        if (b == Browser::WB) {
            loading = false;
            const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
            minFrame = std::min(minFrame, frame);
            maxFrame = std::max(maxFrame, frame);
        }
        hook(u"wait:"_s + QString::fromLatin1(nameOf(b)));
    }
    void spinwait() override { hook(u"spinwait"_s); }
    void scrollcaption(const QString& text) override { hook(u"scroll:"_s + text); }
    void processMessages() override { hook(u"process"_s); }
    bool isShuttingDown() override { return shuttingDown; }

    void navigate(Browser b, const QString& url) override {
        if (b == Browser::WB) {
            wb = url;
            log.append(u"nav:WB:"_s + url);
        } else {
            log.append(u"nav:"_s + QString::fromLatin1(nameOf(b)) + u':' + url);
        }
    }
    void TrimWorkingSet() override { hook(u"trim"_s); }
    bool autoTurn() override { return autoTurnOn; }

    // Displays.
    bool captureBadgeShown() override { return badge; }
    void setCaptureBadgeShown(bool shown) override { badge = shown; }
    void setWaitAnimation(bool running) override { animation = running; }
    QString indicatorText() override { return indicator; }
    void setIndicatorText(const QString& text) override { indicator = text.toUpper(); }
    void setEdURL(const QString& text) override { edURL = text; }
    void setTitleStatus(const QString& text) override {
        title = text;
        log.append(u"title:"_s + text);
    }
    void showSlowProcess() override { log.append(u"slow"_s); }
    void updatecount() override {
        if (updatecounts++ == updatecountThrowsAt)
            throw std::runtime_error("count");
        lastCountShown = model.rows();
    }
    void resetbuttons() override {
        ++resets;
        badge = false;
        if (loaded)
            SetStop(false);
        edURL = u"No next page accessible..."_s;
        counter = 1;
        animation = false;
        log.append(u"reset"_s);
    }
    int pageCounter() override { return counter; }
    void setPageCounter(int value) override { counter = value; }
    void setExtraNavCount(int value) override {
        extraNav = value;
        log.append(u"extranav:"_s + QString::number(value));
    }
    void playSound() override {
        ++sounds;
        log.append(u"sound"_s);
    }
    void showAlertServer() override { ++alerts; }
    void WebBrowserScreenShot(const QString& label) override { snapshots.append(label); }
    void showMessage(const QString& text) override { messages.append(text); }

    // In-page turns: the live page's record lines (what GetData answers while a turn is
    // set), and what each action brings, batchDelayMs of the host's clock after it.
    InPageTurn turn;
    QStringList live;
    QList<QStringList> batches;
    bool endless = false; // every action brings one new line, the button never goes
    bool prepend = false; // each batch comes before the records on show, as in a feed
    bool inParts = false; // each batch comes in two halves, one poll apart
    QStringList rest;
    std::int64_t restAt = 0;
    int batchDelayMs = 300;
    int reloadOnAction = -1; // this action (from 0) loads another document instead
    QStringList reloadedPage;
    bool countAnswers = true;
    int actions = 0;
    std::int64_t clock = 0;
    std::int64_t actedAt = 0;
    int pendingBatch = -1;
    bool loading = false;

    InPageTurn inPageTurn() override { return turn; }
    std::optional<int> liveRecordCount() override {
        if (!countAnswers || loading)
            return std::nullopt;
        if (!rest.isEmpty() && clock >= restAt) {
            live.append(rest);
            rest.clear();
        }
        if (pendingBatch >= 0 && clock - actedAt >= batchDelayMs) {
            if (endless)
                live.append(f3(u"Endless "_s + QString::number(pendingBatch), u"x"_s, u"y"_s));
            else if (inParts) {
                const QStringList& b = batches[pendingBatch];
                live.append(b.mid(0, b.size() / 2));
                rest = b.mid(b.size() / 2);
                restAt = clock + kInPagePollMs;
            } else if (prepend)
                live = batches[pendingBatch] + live;
            else
                live.append(batches[pendingBatch]);
            pendingBatch = -1;
        }
        return static_cast<int>(live.size());
    }
    bool actInPage() override {
        const bool more = endless || actions < batches.size();
        if (turn.kind == InPageTurn::Kind::Click && !more && actions != reloadOnAction)
            return false; // the button is gone
        log.append(u"act"_s);
        if (actions++ == reloadOnAction) {
            loading = true;
            live = reloadedPage;
            return true;
        }
        if (more) {
            pendingBatch = actions - 1;
            actedAt = clock;
        }
        return true;
    }
    bool pageLoading() override { return loading; }
    std::int64_t nowMs() override { return clock; }
    void pause(int ms) override {
        clock += ms;
        if (during && !shuttingDown)
            during(u"pause"_s);
    }

    static QString f3(const QString& a, const QString& b, const QString& c) {
        return QStringList{a, b, c}.join(QChar(kFieldSeparator));
    }
};

QString rec(std::initializer_list<QString> lines) {
    QStringList l(lines);
    return l.join(u"\r\n"_s) + u"\r\n"_s;
}
QString f3(const QString& a, const QString& b, const QString& c) {
    return QStringList{a, b, c}.join(S);
}

const QString kPage1 =
    rec({f3(u"Adams"_s, u"1 Oak"_s, u"111"_s), f3(u"Brown"_s, u"2 Elm"_s, u"222"_s)});
const QString kPage2 =
    rec({f3(u"Cole"_s, u"3 Ash"_s, u"333"_s), f3(u"Dunn"_s, u"4 Fir"_s, u"444"_s)});
const QString kPage3 = rec({f3(u"Eddy"_s, u"5 Yew"_s, u"555"_s)});

QStringList captions(const TGridModel& m) {
    QStringList out;
    for (int r = 0; r < m.rows(); ++r)
        out.append(m.caption(r).toString());
    return out;
}

} // namespace

struct EndCase {
    const char* name;
    std::vector<std::pair<QString, Page>> site;
    bool autoTurn;
    int rows;
    QString title;
    int sounds;
    int alerts;
    int pagesExtracted;
    QString indicator; // empty: not checked
};

class RunEndTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(RunEndTest, EndsAsTheLastPageDecides) {
    const EndCase& c = GetParam();
    FakeHost h;
    for (const auto& p : c.site)
        h.site[p.first] = p.second;
    h.autoTurnOn = c.autoTurn;
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), c.rows);
    EXPECT_EQ(h.lastCountShown, c.rows == 0 ? -1 : c.rows);
    EXPECT_EQ(h.title, c.title);
    EXPECT_EQ(h.sounds, c.sounds);
    EXPECT_EQ(h.alerts, c.alerts);
    EXPECT_EQ(h.getDataCalls, c.pagesExtracted);
    if (!c.indicator.isEmpty()) {
        EXPECT_EQ(h.indicator, c.indicator);
    }
    EXPECT_FALSE(h.badge);
    EXPECT_FALSE(h.animation);
    EXPECT_EQ(h.counter, 1);
    EXPECT_TRUE(h.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunEndTest,
    ::testing::Values(
        EndCase{"OnePage",
                {{u"p1"_s, {kPage1}}},
                true,
                2,
                kCompleted,
                1,
                0,
                1,
                QString(kPage1).replace(S, u'\t').toUpper()},
        EndCase{"AutoTurnOffCapturesOnePage",
                {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2}}},
                false,
                2,
                kCompleted,
                1,
                0,
                1,
                {}},
        EndCase{"ThreePagesOneCompletion",
                {{u"p1"_s, {kPage1, true, u"p2"_s}},
                 {u"p2"_s, {kPage2, true, u"p3"_s}},
                 {u"p3"_s, {kPage3}}},
                true,
                5,
                kCompleted,
                1,
                0,
                3,
                {}},
        EndCase{"TurnedPageWithTheSameText",
                {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage1}}},
                true,
                2,
                kCompleted,
                2,
                1,
                2,
                kSmiles.toUpper()},
        EndCase{"SameTextInOtherLetterCase",
                {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage1.toLower()}}},
                true,
                2,
                kCompleted,
                2,
                1,
                2,
                kSmiles.toUpper()},
        EndCase{"FirstPageReadsLikeTheGreeting",
                {{u"p1"_s, {kGreeting.toLower()}}},
                true,
                0,
                kNotAccessible,
                1,
                1,
                1,
                kSmiles.toUpper()},
        EndCase{"GetNextPageThrows",
                {{u"p1"_s, {kPage1, true, u"p2"_s, false, true}}},
                true,
                2,
                kCompleted,
                1,
                0,
                1,
                {}},
        EndCase{"SameNextUrlForever",
                {{u"p1"_s, {kPage1, true, u"p1"_s}}},
                true,
                2,
                kCompleted,
                2,
                1,
                2,
                {}},
        EndCase{"EmptyNextUrlStaysAndEndsOnTheSameText",
                {{u"p1"_s, {kPage1, true, u""_s}}},
                true,
                2,
                kCompleted,
                2,
                1,
                2,
                {}},
        EndCase{
            "ExtractionFailsOnEveryPage",
            {{u"p1"_s, {kPage1, true, u"p2"_s, true}}, {u"p2"_s, {kPage2, true, u"p3"_s, true}}},
            true,
            0,
            kCompleted,
            2,
            1,
            2,
            {}},
        EndCase{"EmptyRecordText", {{u"p1"_s, {u""_s}}}, true, 0, kCompleted, 1, 0, 1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRun, WithoutTemplateOnlyTheMessage) {
    FakeHost h;
    h.loaded = false;
    CaptureCommand(h);
    EXPECT_EQ(h.noTemplateMessages, 1);
    EXPECT_FALSE(h.badge);
    EXPECT_EQ(h.indicator, u"PROGRESS INDICATOR"_s);
    EXPECT_EQ(h.title, u"Welcome!"_s);
    EXPECT_EQ(h.log, QStringList{u"extranav:0"_s});
}

TEST(CaptureRun, TurnsInOrderAndLabelsTheSnapshotWithThePage) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2}}});
    h.slow = true;
    CaptureCommand(h);
    const QStringList expected{u"extranav:0"_s, u"wait:wb2"_s, u"wait:WBassist"_s, u"stop:0"_s,
                               u"slow"_s, u"wait:WB"_s, u"title:"_s + kExtracting, u"getdata:p1"_s,
                               u"nav:wb2:about:blank"_s, u"nav:wb2:about:blank"_s, u"trim"_s,
                               u"process"_s, u"nav:WB:p2"_s, u"spinwait"_s,
                               u"scroll:Navigating to... p2"_s, u"extranav:-1"_s, u"wait:WB"_s,
                               // the turned page
                               u"wait:WB"_s, u"title:"_s + kExtracting, u"getdata:p2"_s,
                               u"nav:wb2:about:blank"_s, u"nav:wb2:about:blank"_s, u"trim"_s,
                               u"stop:0"_s, u"reset"_s, u"sound"_s, u"title:"_s + kCompleted};
    EXPECT_EQ(h.log, expected);
    EXPECT_EQ(h.snapshots, QStringList{u"2"_s});
}

TEST(CaptureRun, FailedExtractionLeavesNoStaleRows) {
    // Lines of 3 fields in a grid of 5 never equal a row, so any line captured again
    // would show as a new row.
    FakeHost h;
    h.model.appendColumns(2);
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2, false, {}, true}}});
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model), (QStringList{u"Adams"_s, u"Brown"_s}));
    EXPECT_EQ(h.indicator, u""_s);
    EXPECT_EQ(h.title, kCompleted);
    EXPECT_EQ(h.log.count(u"nav:wb2:about:blank"_s), 5);
}

TEST(CaptureRun, ShortLinesFillTheRowAndComeAgainOnTheNextRun) {
    FakeHost h;
    h.model.appendColumns(2); // five columns
    h.addPages(
        {{u"p1"_s,
          {rec({f3(u"A"_s, u"b"_s, u"c"_s) + S + u"d"_s + S + u"e"_s, u"F"_s + S + u"g"_s})}}});
    CaptureCommand(h);
    ASSERT_EQ(h.model.rows(), 2);
    EXPECT_EQ(h.model.rowFields(1), (QStringList{u"F"_s, u"g"_s, u""_s, u""_s, u""_s}));
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model), (QStringList{u"A"_s, u"F"_s, u"F"_s}));
    EXPECT_EQ(h.title, kCompleted);
}

TEST(CaptureRun, EmptyLineGivesAnEmptyRowEveryTimeAndAClosingBreakNone) {
    FakeHost h;
    h.addPages(
        {{u"p1"_s,
          {f3(u"A"_s, u"1"_s, u"x"_s) + u"\r\n\r\n"_s + f3(u"B"_s, u"2"_s, u"y"_s) + u"\r\n"_s}}});
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model), (QStringList{u""_s, u"A"_s, u"B"_s}));
    EXPECT_EQ(h.model.rowFields(0), (QStringList{u""_s, u""_s, u""_s}));
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model), (QStringList{u""_s, u""_s, u"A"_s, u"B"_s}));
}

TEST(CaptureRun, RowsKeepThePageTheyCameFromAndTheTime) {
    FakeHost h;
    h.model.addRow({u"Brown"_s, u"2 Elm"_s, u"222"_s}); // typed in, no origin
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2}}});
    const QDateTime before = QDateTime::currentDateTimeUtc();
    CaptureCommand(h);
    const QDateTime after = QDateTime::currentDateTimeUtc();
    ASSERT_EQ(captions(h.model), (QStringList{u"Adams"_s, u"Brown"_s, u"Cole"_s, u"Dunn"_s}));
    QStringList sources;
    for (int r = 0; r < h.model.rows(); ++r)
        sources << h.model.rowSource(r);
    // Brown's line was already a row, so that row keeps what it had.
    EXPECT_EQ(sources, (QStringList{u"https://site.example/p1"_s, u""_s,
                                    u"https://site.example/p2"_s, u"https://site.example/p2"_s}));
    EXPECT_FALSE(h.model.rowCaptured(1).isValid());
    for (int r : {0, 2, 3}) {
        const QDateTime t = h.model.rowCaptured(r);
        EXPECT_EQ(t.timeSpec(), Qt::UTC);
        EXPECT_LE(before, t);
        EXPECT_LE(t, after);
    }
    EXPECT_LE(h.model.rowCaptured(0), h.model.rowCaptured(2));
}

TEST(CaptureRun, LinesAlreadyInTheGridAreNotAddedAgain) {
    FakeHost h;
    h.model.addRow({u"Brown"_s, u"2 Elm"_s, u"222"_s});
    h.addPages({{u"p1"_s, {kPage1 + f3(u"Cole"_s, u"3"_s, u"3"_s) + u"\r\n"_s + kPage1}}});
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model), (QStringList{u"Adams"_s, u"Brown"_s, u"Cole"_s}));
    EXPECT_EQ(h.lastCountShown, 3);

    // A second run over the same page adds nothing and completes: the greeting differs
    // from the page's text.
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 3);
    EXPECT_EQ(h.title, kCompleted);
    EXPECT_EQ(h.sounds, 2);
    EXPECT_EQ(h.alerts, 0);
}

TEST(CaptureRun, StopWhileTheTurnedPageLoads) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2, true, u"p3"_s}}});
    bool pressed = false;
    h.during = [&](const QString& where) {
        if (where == u"wait:WB"_s && h.wb == u"p2"_s && !pressed) {
            pressed = true;
            CaptureCommand(h);
        }
    };
    CaptureCommand(h);
    EXPECT_EQ(h.getDataCalls, 1);
    EXPECT_EQ(h.snapshots, QStringList{u"2"_s});
    EXPECT_EQ(h.title, kCompleted);
    EXPECT_EQ(h.sounds, 1);
    EXPECT_EQ(h.model.rows(), 2);
    EXPECT_TRUE(h.log.contains(u"stop:1"_s));
    EXPECT_FALSE(h.badge);
}

struct StopCase {
    const char* name;
    QString stopOnPage; // the press comes in the message pass before that page's turn
    int pagesExtracted;
    QString title;
    int sounds;
};

class StopBeforeTurnTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopBeforeTurnTest, StopsWithoutTurning) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}},
                {u"p2"_s, {kPage2, true, u"p3"_s}},
                {u"p3"_s, {kPage3}}});
    h.during = [&](const QString& where) {
        if (where == u"process"_s && h.wb == GetParam().stopOnPage)
            CaptureCommand(h);
    };
    CaptureCommand(h);
    EXPECT_EQ(h.getDataCalls, GetParam().pagesExtracted);
    EXPECT_EQ(h.title, GetParam().title);
    EXPECT_EQ(h.sounds, GetParam().sounds);
    EXPECT_FALSE(h.badge);
    EXPECT_EQ(h.counter, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopBeforeTurnTest,
    ::testing::Values(StopCase{"OnTheFirstPageOnlyReset", u"p1"_s, 1, kExtracting, 0},
                      StopCase{"OnALaterPageCompletes", u"p2"_s, 2, kCompleted, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRun, NewRunInsideAStoppedRunsWait) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}},
                {u"p2"_s, {kPage2, true, u"p3"_s}},
                {u"p3"_s, {kPage3}}});
    int presses = 0;
    h.during = [&](const QString& where) {
        if (where == u"spinwait"_s && presses == 0) {
            presses = 2;
            CaptureCommand(h); // stop
            CaptureCommand(h); // and start again, inside the old run's pause
        }
    };
    CaptureCommand(h);
    EXPECT_EQ(captions(h.model),
              (QStringList{u"Adams"_s, u"Brown"_s, u"Cole"_s, u"Dunn"_s, u"Eddy"_s}));
    EXPECT_EQ(h.title, kCompleted);
    EXPECT_FALSE(h.badge);
    EXPECT_TRUE(h.messages.isEmpty());
    // The old run resumed after the new one and found it ended: it took the last page's
    // snapshot, then stopped at the start of its next page without extracting it.
    EXPECT_EQ(h.getDataCalls, 3);
}

struct ShutdownCase {
    const char* name;
    QString where;
};

class ShutdownTest : public ::testing::TestWithParam<ShutdownCase> {};

TEST_P(ShutdownTest, EndsTheRunAtOnceAndTouchesNothingMore) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}},
                {u"p2"_s, {kPage2, true, u"p3"_s}},
                {u"p3"_s, {kPage3}}});
    qsizetype at = -1;
    h.during = [&](const QString& where) {
        if (where == GetParam().where && h.wb == u"p2"_s) {
            CaptureCommand(h); // the close handler stops the run first
            h.shuttingDown = true;
            at = h.log.size();
        }
    };
    CaptureCommand(h);
    ASSERT_GE(at, 0);
    EXPECT_EQ(h.log.mid(at), QStringList{}) << h.log.mid(at).join(u',').toStdString();
    EXPECT_EQ(h.sounds, 0);
    EXPECT_TRUE(h.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ShutdownTest,
                         ::testing::Values(ShutdownCase{"InThePause", u"spinwait"_s},
                                           ShutdownCase{"InTheTitleScroll",
                                                        u"scroll:Navigating to... p2"_s},
                                           ShutdownCase{"WhileThePageLoads", u"wait:WB"_s},
                                           ShutdownCase{"InTheMessagePass", u"process"_s},
                                           ShutdownCase{"InTheTrim", u"trim"_s}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRun, ShutdownWhileStartingEndsBeforeTheFirstPage) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1}}});
    h.during = [&](const QString& where) {
        if (where == u"wait:wb2"_s)
            h.shuttingDown = true;
    };
    CaptureCommand(h);
    EXPECT_EQ(h.getDataCalls, 0);
    EXPECT_FALSE(h.log.contains(u"stop:0"_s));
}

TEST(CaptureRun, TemplateGoneWhileTurningEndsWithItsMessage) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2}}});
    h.during = [&](const QString& where) {
        if (where == u"spinwait"_s)
            h.loaded = false; // a template load failed meanwhile
    };
    CaptureCommand(h);
    EXPECT_EQ(h.noTemplateMessages, 1);
    EXPECT_EQ(h.getDataCalls, 1);
    EXPECT_EQ(h.model.rows(), 2);
    EXPECT_EQ(h.title, kCompleted);
}

struct FailureCase {
    const char* name;
    int failingCount; // which updatecount fails: one per captured page
    QStringList messages;
    bool badgeAfter;
    QString title;
};

class RowFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RowFailureTest, FirstPageReportsLaterPageCompletes) {
    FakeHost h;
    h.addPages({{u"p1"_s, {kPage1, true, u"p2"_s}},
                {u"p2"_s, {kPage2, true, u"p3"_s}},
                {u"p3"_s, {kPage3}}});
    h.updatecountThrowsAt = GetParam().failingCount;
    CaptureCommand(h);
    EXPECT_EQ(h.messages, GetParam().messages);
    EXPECT_EQ(h.badge, GetParam().badgeAfter);
    EXPECT_EQ(h.title, GetParam().title);
    EXPECT_EQ(h.model.rows(), 2 * (GetParam().failingCount + 1)); // the failing page's rows stay
    if (h.badge) {
        CaptureCommand(h); // the next press takes the stop path
        EXPECT_FALSE(h.badge);
        EXPECT_FALSE(h.animation);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowFailureTest,
    ::testing::Values(FailureCase{"OnTheFirstPage", 0, {kApplicationProblem}, true, kExtracting},
                      FailureCase{"OnTheSecondPage", 1, {}, false, kCompleted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRun, TenThousandPagesUseConstantStack) {
    FakeHost h;
    const int pages = 10000;
    for (int i = 1; i <= pages; ++i) {
        Page p{f3(u"R"_s + QString::number(i), u"s"_s, u"t"_s)};
        p.hasNext = i < pages;
        p.next = u"p"_s + QString::number(i + 1);
        h.site[u"p"_s + QString::number(i)] = p;
    }
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), pages);
    EXPECT_EQ(h.snapshots.size(), pages - 1);
    EXPECT_EQ(h.snapshots.back(), QString::number(pages));
    EXPECT_EQ(h.sounds, 1);
    EXPECT_EQ(h.title, kCompleted);
    // Every wait for WB is reached through the same two frames of the loop.
    EXPECT_LT(h.maxFrame - h.minFrame, 4096u);
}

struct BadTextCase {
    const char* name;
    QString text;
    int rows;
};

class BadRecordTextTest : public ::testing::TestWithParam<BadTextCase> {};

TEST_P(BadRecordTextTest, KeepsEveryRowAndEndsNormally) {
    FakeHost h;
    h.model.addRow({u"Kept"_s, u"k"_s, u"k"_s});
    h.addPages({{u"p1"_s, {GetParam().text}}});
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 1 + GetParam().rows);
    EXPECT_TRUE(h.model.containsJoinedText(f3(u"Kept"_s, u"k"_s, u"k"_s)));
    EXPECT_EQ(h.title, kCompleted);
}

namespace {
QString manyLines(int n) {
    QString out;
    for (int i = 0; i < n; ++i)
        out += f3(u"L"_s + QString::number(i), u"x"_s, u"y"_s) + u"\r\n"_s;
    return out;
}
QString fields(int n) {
    QStringList f;
    for (int i = 0; i < n; ++i)
        f.append(QString::number(i));
    return f.join(S);
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, BadRecordTextTest,
    ::testing::Values(BadTextCase{"MillionsOfCharactersInOneLine", QString(3'000'000, u'z'), 1},
                      BadTextCase{"HundredThousandLines", manyLines(100'000), 100'000},
                      BadTextCase{"FiveHundredFields", fields(500), 1},
                      BadTextCase{"NulAndLoneSurrogates",
                                  QString(u"a\0b"_s) + S + QChar(0xD800) + S + QChar(0xDFFF) +
                                      u"\r\n"_s + QChar(0xDC00),
                                  2},
                      BadTextCase{"OnlyLineBreaks", u"\r\n\r\n\r\n"_s, 3}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
struct FakeButton : ExtrasSwitch {
    bool pressed = false;
    int image = kExtrasOffImage;
    void setPressed(bool p) override { pressed = p; }
    void setImageIndex(int i) override { image = i; }
};
} // namespace

TEST(ExtrasSwitch, TellsTheTemplateOrPutsTheButtonBack) {
    struct Case {
        bool loaded;
        bool clickedTo;
        bool pressedAfter;
        int imageAfter;
        QString logged;
    };
    const Case cases[] = {{true, true, true, kExtrasOnImage, u"wants:1"_s},
                          {true, false, false, kExtrasOffImage, u"wants:0"_s},
                          {false, true, false, kExtrasOffImage, u""_s}};
    for (const Case& c : cases) {
        struct T : FakeHost {
            QString wants;
            void SetWantsEmail(bool w) override { wants = w ? u"wants:1"_s : u"wants:0"_s; }
        } t;
        t.loaded = c.loaded;
        FakeButton b;
        b.pressed = c.clickedTo;
        SetWantsEmailCommand(t, b, c.clickedTo);
        EXPECT_EQ(b.pressed, c.pressedAfter);
        EXPECT_EQ(b.image, c.imageAfter);
        EXPECT_EQ(t.wants, c.logged);
        EXPECT_EQ(t.noTemplateMessages, c.loaded ? 0 : 1);
    }
}

// What the journal is told: the page a run is on before its extraction, each page's new
// rows (and only those) before the count on screen changes, and the completion step; a
// run cut short by the shutdown never reports completion, so it can be resumed.
class JournalHost : public FakeHost {
public:
    QStringList journal;
    void runAt(const QString& page) override { journal.append(u"at:"_s + page); }
    void rowsCaptured(std::span<const TGridModel::RowId> rows) override {
        QStringList names;
        for (TGridModel::RowId id : rows)
            names.append(model.fieldOf(id, 0).toString());
        journal.append(u"rows:"_s + names.join(u',') + u" shown:"_s +
                       QString::number(lastCountShown) + u" grid:"_s +
                       QString::number(model.rows()));
    }
    void runCompleted() override { journal.append(u"completed"_s); }
};

struct JournalCase {
    const char* name;
    std::vector<std::pair<QString, Page>> site;
    QString shutdownAt; // the wait in which the program starts shutting down, on p2
    QStringList expected;
};

class RunJournalTest : public ::testing::TestWithParam<JournalCase> {};

TEST_P(RunJournalTest, ReportsPagesRowsAndCompletion) {
    const JournalCase& c = GetParam();
    JournalHost h;
    h.model.addRow({u"Brown"_s, u"2 Elm"_s, u"222"_s}); // already in: not reported again
    for (const auto& p : c.site)
        h.site[p.first] = p.second;
    if (!c.shutdownAt.isEmpty())
        h.during = [&](const QString& where) {
            if (where == c.shutdownAt && h.wb == u"p2"_s)
                h.shuttingDown = true;
        };
    CaptureCommand(h);
    EXPECT_EQ(h.journal, c.expected) << h.journal.join(u'\n').toStdString();
}

const QString kP1 = u"https://site.example/p1"_s;
const QString kP2 = u"https://site.example/p2"_s;

INSTANTIATE_TEST_SUITE_P(
    Cases, RunJournalTest,
    ::testing::Values(
        JournalCase{"CompletedRun",
                    {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2 + kPage1}}},
                    {},
                    {u"at:"_s + kP1, u"rows:Adams shown:-1 grid:2"_s, u"at:"_s + kP2,
                     u"rows:Cole,Dunn shown:2 grid:4"_s, u"completed"_s}},
        JournalCase{"SamePageAgainEndsAsCompleted",
                    {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage1}}},
                    {},
                    {u"at:"_s + kP1, u"rows:Adams shown:-1 grid:2"_s, u"at:"_s + kP2,
                     u"completed"_s}},
        JournalCase{"PageWithoutNewRowsReportsNone",
                    {{u"p1"_s, {rec({f3(u"Brown"_s, u"2 Elm"_s, u"222"_s)})}}},
                    {},
                    {u"at:"_s + kP1, u"rows: shown:-1 grid:1"_s, u"completed"_s}},
        JournalCase{"ShutdownWhileTheNextPageLoadsIsNoCompletion",
                    {{u"p1"_s, {kPage1, true, u"p2"_s}}, {u"p2"_s, {kPage2}}},
                    u"wait:WB"_s,
                    {u"at:"_s + kP1, u"rows:Adams shown:-1 grid:2"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

QString listing(int i) {
    return FakeHost::f3(u"Listing "_s + QString::number(i), u"Street"_s, QString::number(i));
}
QStringList listings(int from, int count) {
    QStringList l;
    for (int i = from; i < from + count; ++i)
        l.append(listing(i));
    return l;
}

struct InPageCase {
    const char* name;
    InPageTurn::Kind kind;
    int max;
    QList<int> batchSizes; // records each action brings
    bool endless;
    int reloadOnAction;
    bool countAnswers;
    int rows;
    int actions;
    // The host clock at the end lies in [minMs, maxMs]: the wait for records that never
    // come is the bounded one, and only that one.
    std::int64_t minMs;
    std::int64_t maxMs;
};

void PrintTo(const InPageCase& c, std::ostream* os) {
    *os << c.name;
}

class InPageTurnTest : public ::testing::TestWithParam<InPageCase> {};

TEST_P(InPageTurnTest, CapturesEachNewBatchOnceAndEndsNormally) {
    const InPageCase& c = GetParam();
    FakeHost h;
    h.turn = {c.kind, c.max};
    h.live = listings(0, 2);
    int next = 2;
    for (int n : c.batchSizes) {
        h.batches.append(listings(next, n));
        next += n;
    }
    h.endless = c.endless;
    h.reloadOnAction = c.reloadOnAction;
    h.reloadedPage = listings(0, 3); // the page again, with one listing more
    h.countAnswers = c.countAnswers;

    CaptureCommand(h);

    EXPECT_EQ(h.model.rows(), c.rows);
    // No row twice: the rows on show before an action are not taken again after it.
    QStringList names;
    for (int r = 0; r < h.model.rows(); ++r)
        names.append(h.model.caption(r).toString());
    EXPECT_EQ(names.removeDuplicates(), 0) << names.join(u", "_s).toStdString();
    EXPECT_EQ(h.actions, c.actions);
    EXPECT_GE(h.clock, c.minMs);
    EXPECT_LE(h.clock, c.maxMs);
    // The normal completion step, once; no same-page alarm.
    EXPECT_EQ(h.title, kCompleted);
    EXPECT_EQ(h.sounds, 1);
    EXPECT_EQ(h.alerts, 0);
    EXPECT_FALSE(h.badge);
    EXPECT_EQ(h.counter, 1);
    EXPECT_TRUE(h.messages.isEmpty());
}

constexpr std::int64_t kWait = kInPageWaitMs;
constexpr std::int64_t kPoll = kInPagePollMs;

// Each case: the page (kind to max) and what the run must do with it (rows to maxMs).
INSTANTIATE_TEST_SUITE_P(
    Cases, InPageTurnTest,
    ::testing::Values(InPageCase{.name = "ButtonGoneAfterTwoLoads",
                                 .kind = InPageTurn::Kind::Click,
                                 .max = 50,
                                 .batchSizes = {2, 3},
                                 .endless = false,
                                 .reloadOnAction = -1,
                                 .countAnswers = true,
                                 .rows = 7,
                                 .actions = 2,
                                 .minMs = 600,
                                 .maxMs = 800},
                      InPageCase{.name = "MaxEndsTheClicks",
                                 .kind = InPageTurn::Kind::Click,
                                 .max = 1,
                                 .batchSizes = {2, 2, 2},
                                 .endless = false,
                                 .reloadOnAction = -1,
                                 .countAnswers = true,
                                 .rows = 4,
                                 .actions = 1,
                                 .minMs = 300,
                                 .maxMs = 400},
                      InPageCase{.name = "NothingNewWithinTheWaitEndsTheScroll",
                                 .kind = InPageTurn::Kind::Scroll,
                                 .max = 50,
                                 .batchSizes = {2},
                                 .endless = false,
                                 .reloadOnAction = -1,
                                 .countAnswers = true,
                                 .rows = 4,
                                 .actions = 2,
                                 .minMs = 300 + kWait,
                                 .maxMs = 400 + kWait + kPoll},
                      InPageCase{.name = "EndlessPageEndsAtMax",
                                 .kind = InPageTurn::Kind::Scroll,
                                 .max = 5,
                                 .batchSizes = {},
                                 .endless = true,
                                 .reloadOnAction = -1,
                                 .countAnswers = true,
                                 .rows = 7,
                                 .actions = 5,
                                 .minMs = 5 * 300,
                                 .maxMs = 5 * 400},
                      InPageCase{.name = "ClickThatReloadsThePageTakesItsNewRowsAndEnds",
                                 .kind = InPageTurn::Kind::Click,
                                 .max = 50,
                                 .batchSizes = {},
                                 .endless = false,
                                 .reloadOnAction = 0,
                                 .countAnswers = true,
                                 .rows = 3,
                                 .actions = 1,
                                 .minMs = kPoll,
                                 .maxMs = kPoll},
                      InPageCase{.name = "PageWithoutACountEndsAfterThePage",
                                 .kind = InPageTurn::Kind::Click,
                                 .max = 50,
                                 .batchSizes = {2},
                                 .endless = false,
                                 .reloadOnAction = -1,
                                 .countAnswers = false,
                                 .rows = 2,
                                 .actions = 0,
                                 .minMs = 0,
                                 .maxMs = 0}));

TEST(InPageTurn, RecordsThatComeBeforeTheOnesOnShowAreCapturedToo) {
    FakeHost h;
    h.turn = {InPageTurn::Kind::Click, 50};
    h.live = listings(0, 2);
    h.batches = {listings(2, 2), listings(4, 3)};
    h.prepend = true;
    CaptureCommand(h);
    QStringList names;
    for (int r = 0; r < h.model.rows(); ++r)
        names.append(h.model.caption(r).toString());
    names.sort();
    QStringList expected;
    for (const QString& line : listings(0, 7))
        expected.append(line.section(QChar(kFieldSeparator), 0, 0));
    expected.sort();
    EXPECT_EQ(names, expected);
    EXPECT_EQ(h.title, kCompleted);
}

TEST(InPageTurn, ABatchThatComesInPartsIsTakenWhole) {
    FakeHost h;
    h.turn = {InPageTurn::Kind::Click, 50};
    h.live = listings(0, 2);
    h.batches = {listings(2, 4), listings(6, 4)};
    h.inParts = true;
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 10);
    EXPECT_EQ(h.actions, 2);
    EXPECT_EQ(h.title, kCompleted);
}

TEST(InPageTurn, AutomaticTurnOffCapturesThePageOnly) {
    FakeHost h;
    h.turn = {InPageTurn::Kind::Click, 50};
    h.live = listings(0, 2);
    h.batches = {listings(2, 2)};
    h.autoTurnOn = false;
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 2);
    EXPECT_EQ(h.actions, 0);
    EXPECT_EQ(h.title, kCompleted);
}

TEST(InPageTurn, StopWhileWaitingEndsWithoutCompletion) {
    FakeHost h;
    h.turn = {InPageTurn::Kind::Scroll, 50};
    h.live = listings(0, 2);
    h.batches = {listings(2, 2)};
    h.during = [&](const QString& where) {
        if (where == u"pause")
            h.badge = false; // the user pressed Capture again
    };
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 2);
    EXPECT_EQ(h.actions, 1);
    EXPECT_EQ(h.sounds, 0);
    EXPECT_NE(h.title, kCompleted);
    EXPECT_GE(h.resets, 1);
    EXPECT_EQ(h.counter, 1);
}

TEST(InPageTurn, ShutdownWhileWaitingTouchesNothingMore) {
    FakeHost h;
    h.turn = {InPageTurn::Kind::Click, 50};
    h.live = listings(0, 2);
    h.batches = {listings(2, 2)};
    h.during = [&](const QString& where) {
        if (where == u"pause")
            h.shuttingDown = true;
    };
    CaptureCommand(h);
    EXPECT_EQ(h.model.rows(), 2);
    EXPECT_EQ(h.getDataCalls, 1);
    EXPECT_EQ(h.sounds, 0);
    EXPECT_EQ(h.resets, 0);
}

} // namespace
