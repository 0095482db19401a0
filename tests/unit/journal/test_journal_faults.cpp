// The journal under faults that need a process of their own: killed at random moments,
// a file-size limit standing in for a full disk, a folder it may not write, and two
// processes at once. The helper program does the journaling; these tests check what it
// reports and what a restart finds.
#include "journal/Journal.h"
#include "tests/unit/journal/JournalScript.h"

#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <random>
#include <string_view>
#include <thread>

using namespace journal;
using namespace Qt::StringLiterals;

namespace {

const QString kHelper = QStringLiteral(JOURNAL_FAULT_HELPER);

// The helper's report: its output lines by their first word.
QHash<QString, QString> reportOf(const QByteArray& output) {
    QHash<QString, QString> out;
    for (const QString& line : QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype space = line.indexOf(u' ');
        out.insert(line.left(space), space < 0 ? QString() : line.mid(space + 1));
    }
    return out;
}

QHash<QString, QString> runHelper(const QStringList& args, int* exitCode) {
    QProcess p;
    p.start(kHelper, args);
    EXPECT_TRUE(p.waitForFinished(60'000)) << "helper did not finish";
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return reportOf(p.readAllStandardOutput() + p.readAllStandardError());
}

int killRounds() {
    const int fromEnv = qEnvironmentVariableIntValue("TRAWLEX_JOURNAL_KILLS");
    return fromEnv > 0 ? fromEnv : 10;
}

// After every kill the restarted journal holds the grid as it stood after a whole number
// of changes, never fewer than before the kill: no part of a page, no duplicate, and
// readable. The next round's helper goes on from there.
TEST(JournalFaults, SurvivesBeingKilledAtRandomMoments) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/trawlex"_s;
    const std::uint32_t seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    int done = 0;
    int advanced = 0;
    const int rounds = killRounds();
    for (int round = 0; round < rounds; ++round) {
        QProcess p;
        p.start(kHelper, {u"changes"_s, folder});
        ASSERT_TRUE(p.waitForStarted(10'000));
        // Even rounds kill at any moment from the start, the journal's creation or restore
        // included; odd rounds wait until the helper has restored and is journaling, so
        // the kill lands in the middle of its changes however slow the start-up.
        if (round % 2 == 1) {
            ASSERT_TRUE(p.waitForReadyRead(30'000)) << "helper said nothing";
            const QByteArray line = p.readLine();
            ASSERT_TRUE(line.startsWith("resumed ")) << line.toStdString();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 300));
        ASSERT_EQ(p.state(), QProcess::Running)
            << "helper ended by itself: " << p.readAll().toStdString();
        p.kill();
        ASSERT_TRUE(p.waitForFinished(10'000));
        ASSERT_EQ(p.exitStatus(), QProcess::CrashExit);

        Journal j;
        const OpenReport r = j.open(folder);
        ASSERT_TRUE(r.status.ok()) << r.status.message.toStdString();
        ASSERT_TRUE(r.movedAsideTo.isEmpty())
            << "round " << round << ": " << r.movedAsideReason.toStdString();
        std::vector<QStringList> rows;
        for (const Row& row : r.restored.rows)
            rows.push_back(row.fields);
        const int now = journal_script::changesMatching(rows, done, done + 5'000);
        ASSERT_GE(now, done) << "round " << round << ": the journal holds " << rows.size()
                             << " rows, no whole number of changes from " << done << " on";
        // The interrupted run's page is the one it was capturing.
        if (now > 0 || !r.restored.interruptedPage.isEmpty()) {
            const QStringList pages = journal_script::runPagesAfter(now);
            ASSERT_TRUE(pages.contains(r.restored.interruptedPage))
                << "round " << round << ": " << r.restored.interruptedPage.toStdString()
                << " after " << now << " changes";
        }
        advanced += now > done ? 1 : 0;
        done = now;
    }
    // The kills hit real work, not only start-ups.
    EXPECT_GE(advanced, 1) << done << " changes in all";
    RecordProperty("changes", done);
    RecordProperty("rounds_with_progress", advanced);
}

// A file-size limit makes the journal's writes fail as on a full disk.
TEST(JournalFaults, AFullDiskFailsCleanlyAndRecoversWhenSpaceReturns) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/trawlex"_s;
    int code = 0;
    const auto report = runHelper({u"fill"_s, folder, QString::number(256 * 1024)}, &code);
    ASSERT_EQ(code, 0) << report.keys().join(u' ').toStdString();
    const QStringList failed = report.value(u"failed-after"_s).split(u' ');
    ASSERT_EQ(failed.size(), 2);
    const int pages = failed[0].toInt();
    EXPECT_GT(pages, 0);
    EXPECT_LT(pages, 10'000);
    EXPECT_EQ(failed[1], u"unwritable"_s);
    EXPECT_EQ(report.value(u"in-step"_s), u"0"_s);
    EXPECT_EQ(report.value(u"later"_s), u"out-of-step out-of-step out-of-step out-of-step "
                                        u"out-of-step out-of-step"_s);
    // The grid kept every row it was given, the failed page's too.
    EXPECT_EQ(report.value(u"grid-rows"_s), QString::number((pages + 1) * 200));
    EXPECT_EQ(report.value(u"rewrite"_s), u"none"_s);
    EXPECT_EQ(report.value(u"append-after"_s), u"none"_s);

    Journal j;
    const OpenReport r = j.open(folder);
    ASSERT_TRUE(r.status.ok()) << r.status.message.toStdString();
    ASSERT_EQ(r.restored.rows.size(), std::size_t(pages + 2) * 200);
    EXPECT_EQ(r.restored.rows[std::size_t(pages) * 200].fields.value(0),
              u"Row 0 of page %1"_s.arg(pages));
}

struct ReadOnlyCase {
    const char* name;
    bool journalExists;
    mode_t folderMode;
    mode_t fileMode; // 0: as created
    const char* open;
    std::size_t restored;
    const char* append;
};

// Whatever cannot be written, the journal's file stays as it was, nothing is moved aside,
// and a change fails as a value. Root passes over file modes, so the helper drops that
// right before it opens the journal.
TEST(JournalFaults, WhatCannotBeWrittenIsLeftAsItWas) {
    const ReadOnlyCase cases[] = {
        {"read-only folder", true, 0555, 0, "not-open", 0, "not-open"},
        {"read-only empty folder", false, 0555, 0, "not-open", 0, "not-open"},
        // The rows come back; capture goes on with the warning.
        {"read-only journal file", true, 0755, 0444, "none", 1, "unwritable"},
    };
    for (const ReadOnlyCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.path() + u"/trawlex"_s;
        const QString mainPath = folder + u"/journal.sqlite"_s;
        ASSERT_TRUE(QDir().mkpath(folder));
        if (c.journalExists) {
            Journal j;
            ASSERT_TRUE(j.open(folder).status.ok());
            ASSERT_TRUE(
                j.appendPage(u"p"_s, {}, std::vector<QStringList>{{u"kept"_s}}).status.ok());
        }
        QFile main(mainPath);
        const QByteArray bytes = main.open(QIODevice::ReadOnly) ? main.readAll() : QByteArray();
        main.close();
        if (c.fileMode) {
            ASSERT_EQ(::chmod(QFile::encodeName(mainPath).constData(), c.fileMode), 0);
        }
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.folderMode), 0);
        int code = 0;
        const auto report = runHelper({u"readonly"_s, folder}, &code);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        ::chmod(QFile::encodeName(mainPath).constData(), 0644);
        ASSERT_EQ(code, 0) << report.keys().join(u' ').toStdString();
        EXPECT_EQ(report.value(u"open"_s), QLatin1String(c.open));
        EXPECT_EQ(report.value(u"restored"_s), QString::number(c.restored));
        EXPECT_TRUE(report.value(u"moved"_s).isEmpty());
        EXPECT_EQ(report.value(u"append"_s), QLatin1String(c.append));
        if (c.open != std::string_view("none")) {
            EXPECT_FALSE(report.value(u"message"_s).isEmpty());
        }

        EXPECT_EQ(QDir(folder).entryList({u"journal*.sqlite"_s}, QDir::Files),
                  c.journalExists ? QStringList{u"journal.sqlite"_s} : QStringList{});
        if (c.journalExists) {
            ASSERT_TRUE(main.open(QIODevice::ReadOnly));
            EXPECT_EQ(main.readAll(), bytes);
            main.close();
            Journal j;
            const OpenReport r = j.open(folder);
            ASSERT_EQ(r.restored.rows.size(), 1u);
            EXPECT_EQ(r.restored.rows[0].fields, QStringList{u"kept"_s});
        }
    }
}

// The second process gets a journal of its own and restores nothing; the first one's rows
// are untouched and come back once it has ended.
TEST(JournalFaults, TwoProcessesNeverShareAJournal) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/trawlex"_s;
    QProcess holder;
    holder.start(kHelper, {u"hold"_s, folder});
    ASSERT_TRUE(holder.waitForStarted(10'000));
    ASSERT_TRUE(holder.waitForReadyRead(20'000));
    const QStringList ready = QString::fromUtf8(holder.readLine()).trimmed().split(u' ');
    ASSERT_EQ(ready.value(0), u"ready"_s);
    EXPECT_EQ(ready.value(1), u"0"_s); // the helper holds the main journal
    EXPECT_EQ(ready.value(2), u"none"_s);

    {
        Journal j;
        const OpenReport r = j.open(folder);
        ASSERT_TRUE(r.status.ok());
        EXPECT_TRUE(r.secondProcess);
        EXPECT_TRUE(r.restored.rows.empty());
        EXPECT_NE(r.path, ready.value(3));
        ASSERT_TRUE(j.appendPage(u"p"_s, {}, std::vector<QStringList>{{u"mine"_s}}).status.ok());
    }
    // A second helper while the first still runs is a second process as well.
    {
        QProcess other;
        other.start(kHelper, {u"hold"_s, folder});
        ASSERT_TRUE(other.waitForReadyRead(20'000));
        const QStringList line = QString::fromUtf8(other.readLine()).trimmed().split(u' ');
        EXPECT_EQ(line.value(0), u"ready"_s);
        EXPECT_EQ(line.value(1), u"1"_s);
        other.closeWriteChannel();
        ASSERT_TRUE(other.waitForFinished(20'000));
    }
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(20'000));
    ASSERT_EQ(holder.exitCode(), 0);

    Journal j;
    const OpenReport r = j.open(folder);
    ASSERT_TRUE(r.status.ok());
    EXPECT_FALSE(r.secondProcess);
    ASSERT_EQ(r.restored.rows.size(), 1u);
    EXPECT_EQ(r.restored.rows[0].fields.value(0), u"held"_s);
}

} // namespace
