// The capture journal read back from damaged files. The input is a script: changes made
// through the journal (pages of rows, deletions, Empty Grid, columns, runs), then damage
// done to the closed file (bytes overwritten, the file cut short, a page zeroed). Opening
// it again must never crash: an undamaged journal gives back exactly the grid the script
// made; a damaged one gives back rows that were written, or is moved aside whole (never
// deleted) with a fresh journal in its place that takes new rows.
#include "FuzzSupport.h"

#include "journal/Journal.h"
#include "platform/Utf16.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

using journal::Journal;

struct ModelRow {
    journal::RowKey key;
    QStringList fields;
};

// In memory where the system offers it: every change is synced to disc, and a disc makes
// the search a hundred times slower.
QString folder() {
    static QTemporaryDir dir((QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                        : QDir::tempPath()) +
                             QStringLiteral("/fuzz_journal-XXXXXX"));
    return dir.path();
}

void emptyFolder(const QString& path) {
    QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        dir.remove(name);
}

QStringList fieldsFrom(fuzz::Input& in) {
    QStringList fields;
    const int count = 1 + in.byte() % 4;
    for (int i = 0; i < count; ++i) {
        // Any UTF-16 code units, or UTF-8 that may start with U+FEFF: both reach a cell.
        if (in.byte() & 1)
            fields << fuzz::utf16Of(in.until('\xff').left(128));
        else {
            const QByteArray utf8 = in.until('\0').left(64);
            fields << platform::Utf8Text(utf8.constData(), utf8.size());
        }
    }
    return fields;
}

// What the journal gives back of a row: its text as a file holds it.
QStringList stored(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields)
        out << platform::PairedSurrogates(f);
    return out;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString dir = folder();
    emptyFolder(dir);
    fuzz::Input in(data, size);
    const QDateTime at = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

    std::vector<ModelRow> model;
    {
        Journal j;
        const journal::OpenReport report = j.open(dir);
        FUZZ_CHECK(report.status.ok() && report.restored.rows.empty());
        const int ops = in.byte() % 12;
        for (int op = 0; op < ops && !in.atEnd(); ++op) {
            switch (in.byte() % 6) {
            case 0:
            case 1: {
                std::vector<QStringList> rows(1 + in.byte() % 5);
                for (auto& r : rows)
                    r = fieldsFrom(in);
                const journal::Appended a =
                    j.appendPage(QStringLiteral("https://x.example/p"), at, rows);
                FUZZ_CHECK(a.status.ok());
                for (std::size_t i = 0; i < rows.size(); ++i)
                    model.push_back({a.firstKey + journal::RowKey(i), stored(rows[i])});
                break;
            }
            case 2:
                if (!model.empty()) {
                    const std::size_t i = in.byte() % model.size();
                    const journal::RowKey key = model[i].key;
                    FUZZ_CHECK(j.removeRows(std::span(&key, 1)).ok());
                    model.erase(model.begin() + std::ptrdiff_t(i));
                }
                break;
            case 3:
                FUZZ_CHECK(j.clearRows().ok());
                model.clear();
                break;
            case 4: {
                const journal::Column columns[] = {{QStringLiteral("Name"), 120},
                                                   {QString::fromUtf8(in.until('\0')), 80}};
                FUZZ_CHECK(j.setColumns(columns, QStringLiteral("demo.orp")).ok());
                break;
            }
            case 5:
                FUZZ_CHECK((in.byte() & 1 ? j.runCompleted()
                                          : j.runAt(QStringLiteral("https://x.example/2")))
                               .ok());
                break;
            }
        }
        j.close();
    }

    const QString file = dir + u'/' + Journal::mainFileName();
    QByteArray bytes = readAll(file);
    FUZZ_CHECK(!bytes.isEmpty());
    const int damages = in.byte() % 4;
    for (int d = 0; d < damages && !bytes.isEmpty(); ++d) {
        const qsizetype offset = qsizetype(std::uint32_t(in.int32()) % std::uint32_t(bytes.size()));
        switch (in.byte() % 3) {
        case 0:
            bytes[offset] = char(in.byte());
            break;
        case 1:
            bytes.truncate(offset);
            break;
        case 2:
            std::fill_n(bytes.begin() + offset, std::min<qsizetype>(512, bytes.size() - offset),
                        '\0');
            break;
        }
    }
    if (damages > 0)
        writeAll(file, bytes);

    Journal j;
    const journal::OpenReport report = j.open(dir);
    FUZZ_CHECK(report.status.ok());
    if (!report.movedAsideTo.isEmpty()) {
        FUZZ_CHECK(damages > 0);
        FUZZ_CHECK(readAll(report.movedAsideTo) == bytes);
        FUZZ_CHECK(report.restored.rows.empty());
    } else if (damages == 0) {
        const journal::RowList& rows = report.restored.rows;
        FUZZ_CHECK(rows.size() == model.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            FUZZ_CHECK(rows.at(i).fields == model[i].fields);
    }
    const QStringList row{QStringLiteral("after")};
    const journal::Appended after = j.appendPage(QStringLiteral("https://x.example/3"), at,
                                                 std::span<const QStringList>(&row, 1));
    // Damage SQLite notices only when it writes may fail this; an intact journal never does.
    FUZZ_CHECK(after.status.ok() || damages > 0);
    j.close();
    return 0;
}
