// The capture journal at program level, on the real engine: a program capturing the demo
// site is killed with SIGKILL at random moments of its run; the next start must restore
// exactly the rows on screen before the kill, or those plus the whole page that was being
// captured, never part of a page and never a duplicate, from a readable journal; Resume
// Capture after a kill must end with exactly the rows of an uninterrupted run.
//
// A handful of kills per run; TRAWLEX_JOURNAL_KILLS asks for more, TRAWLEX_JOURNAL_SEED
// repeats a run's moments (the seed is printed).
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <random>
#include <set>

namespace {

struct DriverOutput {
    QString open;
    QString movedAside;
    int elapsedMs = -1;
    int restored = -1;
    QString resumePage;
    QList<int> counts;
    QStringList rows; // "fields␟source" in grid order
    int done = -1;
    QString failed;
    bool running = false;
};

DriverOutput parse(const QByteArray& out) {
    DriverOutput d;
    for (const QString& line : QString::fromUtf8(out).split(u'\n')) {
        const qsizetype space = line.indexOf(u' ');
        const QString word = space < 0 ? line : line.left(space);
        const QString rest = space < 0 ? QString() : line.mid(space + 1);
        if (word == u"OPEN")
            d.open = rest;
        else if (word == u"MOVED")
            d.movedAside = rest;
        else if (word == u"ELAPSED")
            d.elapsedMs = rest.toInt();
        else if (word == u"RESTORED")
            d.restored = rest.toInt();
        else if (word == u"RESUME")
            d.resumePage = rest;
        else if (word == u"COUNT")
            d.counts.append(rest.toInt());
        else if (word == u"ROW")
            d.rows.append(rest);
        else if (word == u"DONE")
            d.done = rest.toInt();
        else if (word == u"FAILED")
            d.failed = rest;
        else if (word == u"RUNNING")
            d.running = true;
    }
    return d;
}

// The demo site's page a row came from: results-N.html gives N.
int pageOf(const QString& row) {
    static const QRegularExpression re(QStringLiteral("results-(\\d+)\\.html$"));
    const auto m = re.match(row);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

class JournalKillE2E : public testing::Test {
protected:
    static QProcessEnvironment environment(const QString& dataHome) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        return env;
    }
    // Runs the driver to its end.
    static DriverOutput runDriver(const QString& dataHome, const QString& mode) {
        QProcess p;
        p.setProcessEnvironment(environment(dataHome));
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(JOURNAL_CAPTURE_DRIVER),
                {QStringLiteral(TRAWLEX_PROGRAM_DIR), mode});
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            DriverOutput d;
            d.failed = QStringLiteral("timed out");
            return d;
        }
        DriverOutput d = parse(p.readAllStandardOutput());
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            d.failed += QStringLiteral(" (exit %1)").arg(p.exitCode());
        return d;
    }
    // Starts a run and kills it `afterMs` after the run began; what it printed till then.
    static DriverOutput killedRun(const QString& dataHome, int afterMs) {
        QProcess p;
        p.setProcessEnvironment(environment(dataHome));
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(JOURNAL_CAPTURE_DRIVER),
                {QStringLiteral(TRAWLEX_PROGRAM_DIR), QStringLiteral("run")});
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("RUNNING\n") && t.elapsed() < 60000 &&
               p.state() != QProcess::NotRunning) {
            p.waitForReadyRead(50);
            out += p.readAllStandardOutput();
        }
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < afterMs && p.state() != QProcess::NotRunning) {
            p.waitForReadyRead(std::max<int>(1, afterMs - int(run.elapsed())));
            out += p.readAllStandardOutput();
        }
        if (p.state() != QProcess::NotRunning)
            ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished(10000);
        out += p.readAllStandardOutput();
        return parse(out);
    }
};

TEST_F(JournalKillE2E, KilledRunsRestoreWholePagesAndResumeCompletesTheRun) {
    // The uninterrupted run: its rows, and the grid after each of its pages.
    QTemporaryDir referenceHome;
    const DriverOutput reference = runDriver(referenceHome.path(), QStringLiteral("run"));
    const int runMs = reference.elapsedMs;
    ASSERT_TRUE(reference.failed.isEmpty()) << reference.failed.toStdString();
    ASSERT_EQ(reference.done, 112); // 120 listings over 6 pages, 8 of them repeated
    ASSERT_EQ(reference.rows.size(), 112);
    int lastPage = 0;
    for (const QString& row : reference.rows) {
        ASSERT_GT(pageOf(row), 0) << row.toStdString();
        lastPage = std::max(lastPage, pageOf(row));
    }
    // The grid after page k holds the rows first seen on pages 1..k, in the grid's order.
    std::map<int, QStringList> afterPage; // by row count
    for (int k = 0; k <= lastPage; ++k) {
        QStringList rows;
        for (const QString& row : reference.rows)
            if (pageOf(row) <= k)
                rows.append(row);
        afterPage[int(rows.size())] = rows;
    }
    ASSERT_EQ(int(afterPage.size()), lastPage + 1) << "every page adds rows";
    // A restart after a completed run restores its rows and offers nothing to resume.
    const DriverOutput completed = runDriver(referenceHome.path(), QStringLiteral("dump"));
    EXPECT_EQ(completed.rows, reference.rows);
    EXPECT_TRUE(completed.resumePage.isEmpty());

    const int kills = qEnvironmentVariableIsSet("TRAWLEX_JOURNAL_KILLS")
                          ? qEnvironmentVariableIntValue("TRAWLEX_JOURNAL_KILLS")
                          : 4;
    const unsigned seed = qEnvironmentVariableIsSet("TRAWLEX_JOURNAL_SEED")
                              ? unsigned(qEnvironmentVariableIntValue("TRAWLEX_JOURNAL_SEED"))
                              : std::random_device{}();
    std::printf("journal kill test: %d kills, seed %u, uninterrupted run %d ms\n", kills, seed,
                runMs);
    std::mt19937 random(seed);
    // Anywhere in the run, a little beyond its end included; the first kill in its middle
    // half, so that every run has one to resume.
    std::uniform_int_distribution<int> moment(0, std::max(100, runMs + runMs / 10));
    std::uniform_int_distribution<int> midRun(runMs / 4, std::max(runMs / 4, runMs * 3 / 4));
    bool resumed = false;
    int midRunKills = 0;
    for (int i = 0; i < kills; ++i) {
        QTemporaryDir home;
        const int afterMs = i == 0 ? midRun(random) : moment(random);
        const DriverOutput killed = killedRun(home.path(), afterMs);
        ASSERT_TRUE(killed.running) << "kill " << i << ": the run never started";
        const int onScreen = killed.counts.isEmpty() ? 0 : killed.counts.last();
        SCOPED_TRACE(QStringLiteral("kill %1 at %2 ms, %3 rows on screen")
                         .arg(i)
                         .arg(afterMs)
                         .arg(onScreen)
                         .toStdString());

        const DriverOutput restored = runDriver(home.path(), QStringLiteral("dump"));
        ASSERT_TRUE(restored.failed.isEmpty()) << restored.failed.toStdString();
        EXPECT_EQ(restored.open, QStringLiteral("ok")) << "the journal is readable";
        EXPECT_TRUE(restored.movedAside.isEmpty()) << restored.movedAside.toStdString();
        const QSet<QString> distinct(restored.rows.cbegin(), restored.rows.cend());
        EXPECT_EQ(distinct.size(), restored.rows.size()) << "no duplicate row";
        // Whole pages only: the restored grid is the grid after some page, the one on
        // screen or the next.
        const auto state = afterPage.find(int(restored.rows.size()));
        ASSERT_NE(state, afterPage.end()) << "part of a page: " << restored.rows.size();
        EXPECT_EQ(restored.rows, state->second);
        auto screen = afterPage.find(onScreen);
        ASSERT_NE(screen, afterPage.end());
        const auto next = std::next(screen);
        EXPECT_TRUE(state == screen || state == next)
            << restored.rows.size() << " rows restored, " << onScreen << " on screen";
        if (restored.rows.size() == reference.rows.size() && restored.resumePage.isEmpty())
            continue; // killed after the run's end
        ++midRunKills;

        // Resume: from the saved page to the end, with exactly the uninterrupted run's rows.
        if (!resumed && !restored.resumePage.isEmpty()) {
            const DriverOutput resume = runDriver(home.path(), QStringLiteral("resume"));
            ASSERT_TRUE(resume.failed.isEmpty()) << resume.failed.toStdString();
            EXPECT_EQ(resume.restored, restored.rows.size());
            EXPECT_EQ(resume.rows, reference.rows);
            resumed = true;
            // And the journal holds the completed run.
            const DriverOutput after = runDriver(home.path(), QStringLiteral("dump"));
            EXPECT_EQ(after.rows, reference.rows);
            EXPECT_TRUE(after.resumePage.isEmpty());
        }
    }
    std::printf("journal kill test: %d of %d kills fell inside the run\n", midRunKills, kills);
    if (kills > 0) {
        EXPECT_TRUE(resumed) << "no kill left a run to resume; seed " << seed;
    }
}

} // namespace
