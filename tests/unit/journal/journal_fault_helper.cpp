// A process for the journal's fault tests, which kill it, limit its file size, take away
// its write access or run two of it at once. Each mode reports on standard output, one
// fact per line, and exits 0 when it got as far as it should.
//
//   changes FOLDER          replays the change script on from what the journal holds,
//                           forever (the test kills it)
//   fill FOLDER BYTES       appends pages under a file-size limit of BYTES until a write
//                           fails, checks that later changes fail too, then lifts the
//                           limit and rewrites the journal from its own rows
//   readonly FOLDER         drops the right to write where the file modes forbid it, then
//                           opens the journal and tries a change
//   hold FOLDER             opens the journal, appends one page, says "ready", and keeps
//                           it open until standard input ends
#include "journal/Journal.h"
#include "tests/unit/journal/JournalScript.h"

#include <QCoreApplication>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

using namespace journal;
using namespace Qt::StringLiterals;

namespace {

void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char* codeName(ErrorCode c) {
    switch (c) {
    case ErrorCode::None:
        return "none";
    case ErrorCode::NotOpen:
        return "not-open";
    case ErrorCode::Unwritable:
        return "unwritable";
    case ErrorCode::OutOfStep:
        return "out-of-step";
    case ErrorCode::Unreadable:
        return "unreadable";
    }
    return "?";
}

int changes(const QString& folder) {
    Journal j;
    OpenReport report = j.open(folder);
    if (!report.status.ok()) {
        say(u"open-failed "_s + report.status.message);
        return 2;
    }
    std::vector<QStringList> fields;
    std::vector<RowKey> keys;
    for (const Row& r : report.restored.rows) {
        fields.push_back(r.fields);
        keys.push_back(r.key);
    }
    const int done = journal_script::changesMatching(fields, 0, 100'000);
    if (done < 0) {
        say(u"restored rows match no point of the script"_s);
        return 3;
    }
    say(u"resumed %1"_s.arg(done));
    for (int k = done;; ++k) {
        Status s;
        switch (journal_script::changeAt(k, keys.size())) {
        case journal_script::Change::Page: {
            const auto rows = journal_script::pageRows(k);
            if ((s = j.runAt(journal_script::pageUrl(k))).ok()) {
                const Appended a =
                    j.appendPage(journal_script::pageUrl(k), QDateTime::currentDateTimeUtc(), rows);
                s = a.status;
                for (std::size_t i = 0; i < rows.size() && s.ok(); ++i) {
                    fields.push_back(rows[i]);
                    keys.push_back(a.firstKey + RowKey(i));
                }
            }
            break;
        }
        case journal_script::Change::Remove: {
            // Both rows in one change, as Delete does with a selection.
            const auto positions = journal_script::removedPositions(keys.size());
            std::vector<RowKey> gone;
            for (std::size_t pos : positions)
                gone.push_back(keys[pos]);
            if ((s = j.removeRows(gone)).ok()) {
                for (std::size_t pos : positions) {
                    keys.erase(keys.begin() + std::ptrdiff_t(pos));
                    fields.erase(fields.begin() + std::ptrdiff_t(pos));
                }
            }
            break;
        }
        case journal_script::Change::Reverse: {
            std::vector<RowKey> reversed(keys.rbegin(), keys.rend());
            if ((s = j.setOrder(reversed, 0, Qt::AscendingOrder)).ok()) {
                keys = std::move(reversed);
                std::reverse(fields.begin(), fields.end());
            }
            break;
        }
        }
        if (!s.ok()) {
            say(u"change-failed "_s + s.message);
            return 4;
        }
    }
}

std::vector<QStringList> fillPage(int k) {
    std::vector<QStringList> rows;
    for (int i = 0; i < 200; ++i)
        rows.push_back({u"Row %1 of page %2"_s.arg(i).arg(k), QString(60, QChar(u'a' + k % 26))});
    return rows;
}

int fill(const QString& folder, rlim_t limit) {
    // Beyond the limit a write fails with EFBIG instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lim = old;
    lim.rlim_cur = limit;
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) {
        say(u"setrlimit failed"_s);
        return 2;
    }
    Journal j;
    OpenReport report = j.open(folder);
    if (!report.status.ok()) {
        say(u"open-failed "_s + report.status.message);
        return 2;
    }
    State grid; // the rows as the window holds them: kept whatever the journal says
    int k = 0;
    Appended a;
    for (; k < 10'000; ++k) {
        const auto rows = fillPage(k);
        a = j.appendPage(u"http://127.0.0.1:9/%1"_s.arg(k), QDateTime::currentDateTimeUtc(), rows);
        for (const QStringList& r : rows)
            grid.rows.append(r, u"http://127.0.0.1:9/%1"_s.arg(k), {});
        if (!a.status.ok())
            break;
    }
    say(u"failed-after %1 %2"_s.arg(k).arg(QLatin1String(codeName(a.status.code))));
    say(u"in-step %1"_s.arg(j.inStep() ? 1 : 0));
    const Status later[] = {
        j.appendPage(u"x"_s, {}, fillPage(0)).status,
        j.removeRows(std::vector<RowKey>{1}),
        j.clearRows(),
        j.setColumns(std::vector<Column>{{u"A"_s, 10}}, u"t"_s),
        j.runAt(u"x"_s),
        j.runCompleted(),
    };
    QStringList laterCodes;
    for (const Status& s : later)
        laterCodes.append(QLatin1String(codeName(s.code)));
    say(u"later "_s + laterCodes.join(u' '));
    say(u"grid-rows %1"_s.arg(grid.rows.size()));

    setrlimit(RLIMIT_FSIZE, &old);
    const Appended r = j.rewrite(grid);
    say(u"rewrite %1"_s.arg(QLatin1String(codeName(r.status.code))));
    const Appended after = j.appendPage(u"http://127.0.0.1:9/after"_s, {}, fillPage(1));
    say(u"append-after %1"_s.arg(QLatin1String(codeName(after.status.code))));
    j.close();
    return 0;
}

// Root passes over file modes; without these capabilities it obeys them like anyone.
bool dropFileOverrides() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
        data[cap / 32].permitted &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

int readOnly(const QString& folder) {
    if (!dropFileOverrides()) {
        say(u"capset failed"_s);
        return 2;
    }
    Journal j;
    const OpenReport report = j.open(folder);
    say(u"open %1"_s.arg(QLatin1String(codeName(report.status.code))));
    say(u"moved "_s + report.movedAsideTo);
    say(u"restored %1"_s.arg(report.restored.rows.size()));
    const Appended a = j.appendPage(u"http://127.0.0.1:9/1"_s, {}, fillPage(0));
    say(u"append %1"_s.arg(QLatin1String(codeName(a.status.code))));
    say(u"message "_s + report.status.message);
    return 0;
}

int hold(const QString& folder) {
    Journal j;
    const OpenReport report = j.open(folder);
    if (!report.status.ok()) {
        say(u"open-failed "_s + report.status.message);
        return 2;
    }
    const Appended a = j.appendPage(u"http://127.0.0.1:9/held"_s, QDateTime::currentDateTimeUtc(),
                                    std::vector<QStringList>{{u"held"_s, u"by the helper"_s}});
    say(u"ready %1 %2 %3"_s.arg(report.secondProcess ? 1 : 0)
            .arg(QLatin1String(codeName(a.status.code)))
            .arg(report.path));
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    j.close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"changes")
        return changes(args[2]);
    if (args.size() >= 4 && args[1] == u"fill")
        return fill(args[2], rlim_t(args[3].toULongLong()));
    if (args.size() >= 3 && args[1] == u"readonly")
        return readOnly(args[2]);
    if (args.size() >= 3 && args[1] == u"hold")
        return hold(args[2]);
    say(u"usage: journal_fault_helper changes|fill|readonly|hold FOLDER [BYTES]"_s);
    return 1;
}
