// Writers round trip: a random grid written as CSV (each separator), .xls, .xlsx and JSON
// Lines, read back by independent readers, must give back what each format promises to
// keep.
// Input: one byte of choices, then UTF-16 code units; U+001E ends a row, U+001F a cell,
// and the first row holds the column captions.
#include "FuzzSupport.h"

#include "export/CsvWriter.h"
#include "export/JsonLinesWriter.h"
#include "export/XlsWriter.h"
#include "export/XlsxWriter.h"
#include "readers/CsvReader.h"
#include "readers/JsonLinesReader.h"
#include "readers/XlsReader.h"
#include "readers/XlsxReader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

namespace {

using exporter::GridData;

// What survives a UTF-8 or UTF-16 file: unpaired surrogates become U+FFFD. (Qt's own
// toUtf8() would give "?", so the rule is spelled out here.)
QString encodable(const QString& s) {
    QString out = s;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

QByteArray written(const std::function<exporter::ExportStatus(QIODevice*)>& write,
                   exporter::ExportStatus& status) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    status = write(&buffer);
    return bytes;
}

void checkCsv(const GridData& grid, exporter::CsvSeparator separator) {
    exporter::ExportStatus status;
    const QByteArray bytes =
        written([&](QIODevice* d) { return exporter::MySaveToCSV(grid, separator, d); }, status);
    FUZZ_CHECK(status.ok());
    QString error;
    const auto lines =
        fuzzread::ReadCsv(bytes, char(exporter::separatorChar(separator).unicode()), error);
    if (!lines) {
        std::fprintf(stderr, "CSV unreadable: %s\n", qPrintable(error));
        fuzz::fail("the CSV reads back", __FILE__, __LINE__);
    }

    std::vector<QStringList> want;
    if (grid.rowCount() > 0) {
        QStringList captions;
        for (const QString& c : grid.captions)
            captions << encodable(c);
        want.push_back(captions); // an empty line for a grid of no columns
        for (const QStringList& row : grid.rows) {
            QStringList cells;
            for (const QString& c : row)
                cells << encodable(QString(c).remove(u'\r').remove(u'\n'));
            want.push_back(cells.isEmpty() ? QStringList{QString()} : cells);
        }
    }
    FUZZ_CHECK(*lines == want);
}

void checkXls(const GridData& grid) {
    exporter::ExportStatus status;
    const QByteArray bytes =
        written([&](QIODevice* d) { return exporter::SaveToXLS(grid, d); }, status);
    const bool tooWide = std::any_of(grid.rows.begin(), grid.rows.end(), [](const QStringList& r) {
        return r.size() > exporter::kXlsMaxColumns;
    });
    if (tooWide) {
        FUZZ_CHECK(status.code == exporter::ExportError::TooManyColumns && bytes.isEmpty());
        return;
    }
    FUZZ_CHECK(status.ok());
    QString error;
    const auto cells = fuzzread::ReadXls(bytes, error);
    if (!cells) {
        std::fprintf(stderr, "workbook unreadable: %s\n", qPrintable(error));
        fuzz::fail("the workbook reads back", __FILE__, __LINE__);
    }

    fuzzread::XlsCells want;
    for (std::size_t r = 0; r < grid.rows.size(); ++r) {
        const QStringList& row = grid.rows[r];
        for (qsizetype i = 0; i < row.size(); ++i) {
            const QString text = encodable(exporter::StripMarkup(row[i]));
            if (!text.isEmpty())
                want[{int(r), int(i)}] = {text, text.contains(u'\n') ? 16 : 15};
        }
    }
    FUZZ_CHECK(cells->size() == want.size());
    for (const auto& [at, cell] : want) {
        const auto it = cells->find(at);
        FUZZ_CHECK(it != cells->end());
        FUZZ_CHECK(it->second.text == cell.text);
        FUZZ_CHECK(it->second.format == cell.format);
    }
}

void checkXlsx(const GridData& grid) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/fuzz_writers-XXXXXX"));
    const QString file = dir.filePath(QStringLiteral("grid.xlsx"));
    QFile::remove(file);
    const exporter::ExportStatus status = exporter::SaveToXLSX(grid, file);
    const bool tooLong = std::any_of(grid.rows.begin(), grid.rows.end(), [](const QStringList& r) {
        return std::any_of(r.begin(), r.end(), [](const QString& c) {
            return exporter::WorksheetCellText(c).size() > exporter::kXlsxMaxCellLength;
        });
    });
    if (tooLong) {
        FUZZ_CHECK(!status.ok() && !QFile::exists(file));
        return;
    }
    if (!status.ok()) {
        std::fprintf(stderr, "workbook not written: %s\n", qPrintable(status.message));
        fuzz::fail("the workbook is written", __FILE__, __LINE__);
    }
    QFile f(file);
    FUZZ_CHECK(f.open(QIODevice::ReadOnly));
    QString error;
    const auto cells = fuzzread::ReadXlsx(f.readAll(), error);
    if (!cells) {
        std::fprintf(stderr, "workbook unreadable: %s\n", qPrintable(error));
        fuzz::fail("the workbook reads back", __FILE__, __LINE__);
    }
    fuzzread::XlsxCells want;
    for (qsizetype i = 0; i < grid.captions.size(); ++i)
        if (!grid.captions[i].isEmpty())
            want[{0, int(i)}] = encodable(grid.captions[i]);
    for (std::size_t r = 0; r < grid.rows.size(); ++r)
        for (qsizetype i = 0; i < grid.rows[r].size(); ++i)
            if (const QString text = exporter::WorksheetCellText(grid.rows[r][i]); !text.isEmpty())
                want[{int(r) + 1, int(i)}] = text;
    for (const auto& [at, text] : want) {
        const auto it = cells->find(at);
        if (it == cells->end() || it->second != text) {
            std::fprintf(stderr, "cell (%d, %d): wrote \"%s\", read \"%s\"\n", at.first, at.second,
                         qPrintable(text), it == cells->end() ? "(none)" : qPrintable(it->second));
            fuzz::fail("every cell reads back", __FILE__, __LINE__);
        }
    }
    FUZZ_CHECK(cells->size() == want.size());
}

void checkJsonLines(const GridData& grid) {
    exporter::ExportStatus status;
    const QByteArray bytes =
        written([&](QIODevice* d) { return exporter::SaveToJsonLines(grid, d); }, status);
    FUZZ_CHECK(status.ok());
    const QStringList keys = exporter::JsonLinesKeys(grid, false);
    FUZZ_CHECK(QSet<QString>(keys.begin(), keys.end()).size() == keys.size());
    QList<QByteArray> lines = bytes.split('\n');
    FUZZ_CHECK(lines.takeLast().isEmpty()); // every line ends with a line feed
    FUZZ_CHECK(std::size_t(lines.size()) == grid.rows.size());
    for (qsizetype r = 0; r < lines.size(); ++r) {
        QString error;
        const auto members = fuzzread::ReadJsonObjectLine(lines[r], error);
        if (!members) {
            std::fprintf(stderr, "line %d is no JSON object of strings (%s): %s\n", int(r),
                         qPrintable(error), lines[r].toHex(' ').constData());
            fuzz::fail("every line is a JSON object", __FILE__, __LINE__);
        }
        FUZZ_CHECK(members->size() == std::size_t(keys.size()));
        const QStringList& row = grid.rows[std::size_t(r)];
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const auto& [key, value] = (*members)[std::size_t(i)];
            if (key != keys[i] || value != encodable(row.value(i))) {
                std::fprintf(stderr, "row %d member %d: %s\n", int(r), int(i),
                             lines[r].toHex(' ').constData());
                fuzz::fail("every value reads back under its key, in column order", __FILE__,
                           __LINE__);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t choice = in.byte();
    const QString text = fuzz::utf16Of(in.rest());

    GridData grid;
    const QStringList rows = text.split(QChar(0x1E));
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList cells = rows[r].isEmpty() ? QStringList() : rows[r].split(QChar(0x1F));
        if (r == 0)
            grid.captions = cells;
        else
            grid.rows.push_back(cells);
    }

    static constexpr exporter::CsvSeparator separators[] = {exporter::CsvSeparator::Comma,
                                                            exporter::CsvSeparator::Semicolon,
                                                            exporter::CsvSeparator::Tab};
    checkCsv(grid, separators[choice % 3]);
    checkXls(grid);
    checkJsonLines(grid);
    // A workbook goes through files; one input in four keeps the search fast.
    if (choice & 0x40 && choice & 0x80)
        checkXlsx(grid);
    return 0;
}
