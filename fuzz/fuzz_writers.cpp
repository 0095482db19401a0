// Writers round trip: a random grid written as CSV (each separator) and as .xls, read
// back by independent readers, must give back what each format promises to keep.
// Input: one byte of choices, then UTF-16 code units; U+001E ends a row, U+001F a cell,
// and the first row holds the column captions.
#include "FuzzSupport.h"

#include "export/CsvWriter.h"
#include "export/XlsWriter.h"
#include "readers/CsvReader.h"
#include "readers/XlsReader.h"

#include <QBuffer>

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
    return 0;
}
