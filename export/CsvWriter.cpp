#include "export/CsvWriter.h"

#include "export/ByteSink.h"

#include <algorithm>
#include <exception>

namespace exporter {

namespace {

using detail::ByteSink;

// The low surrogate that pairs with `c` when it is a high one: the next unit, or with
// line breaks dropped the next unit that is not one, since the text written has them
// removed. Null when there is none.
const char16_t* lowSurrogateAfter(char32_t c, const char16_t* s, const char16_t* end,
                                  bool dropLineBreaks) {
    if (!QChar::isHighSurrogate(c))
        return nullptr;
    while (dropLineBreaks && s < end && (*s == u'\r' || *s == u'\n'))
        ++s;
    return s < end && QChar::isLowSurrogate(*s) ? s : nullptr;
}

// Appends one quoted field in UTF-8. Encoding by hand keeps the writer to one pass over
// the text and no temporary strings; an unpaired surrogate becomes U+FFFD (where
// QString::toUtf8() would write "?").
void appendField(ByteSink& sink, QStringView value, bool dropLineBreaks) {
    // Worst case: three bytes per UTF-16 unit (a doubled quote needs only two), plus the
    // quotes around the field.
    char* p = sink.reserve(std::size_t(value.size()) * 3 + 2);
    *p++ = '"';
    const char16_t* s = value.utf16();
    const char16_t* end = s + value.size();
    while (s < end) {
        const char32_t c = *s++;
        if (c < 0x80) {
            if (c == u'"') {
                *p++ = '"';
            } else if (dropLineBreaks && (c == u'\r' || c == u'\n')) {
                continue;
            }
            *p++ = char(c);
        } else {
            // The line breaks dropped between the halves of a pair would otherwise split
            // it into two replacement characters.
            if (const char16_t* low = lowSurrogateAfter(c, s, end, dropLineBreaks))
                s = low;
            p = detail::putUtf8(p, char16_t(c), s, end);
        }
    }
    *p++ = '"';
    sink.commit(p);
}

void appendSeparator(ByteSink& sink, char separator) {
    sink.append(&separator, 1);
}

void appendLineEnd(ByteSink& sink) {
    sink.append("\r\n", 2);
}

ExportStatus writeLines(const IGridSource& grid, char separator, bool sourceColumns,
                        QIODevice* device) {
    ByteSink sink(device);
    sink.append("\xEF\xBB\xBF", 3);

    const int columns = grid.columnCount();
    // With the source columns every line is padded to the same width first, so they
    // line up under their captions.
    const int leading = sourceColumns ? std::max(1, sourcecolumns::leadingColumns(grid)) : 0;
    for (int c = 0; c < std::max(columns, leading); ++c) {
        if (c > 0)
            appendSeparator(sink, separator);
        appendField(sink, c < columns ? grid.columnCaption(c) : QString(), false);
    }
    if (sourceColumns) {
        for (const QString& caption :
             {sourcecolumns::kSourceCaption, sourcecolumns::kCapturedCaption}) {
            appendSeparator(sink, separator);
            appendField(sink, caption, false);
        }
    }
    appendLineEnd(sink);

    const int rows = grid.rowCount();
    for (int r = 0; r < rows && !sink.failed(); ++r) {
        const int cells = grid.cellCount(r);
        // A row without any cell still has its (empty) caption.
        appendField(sink, cells > 0 ? grid.cell(r, 0) : QString(), true);
        for (int i = 1; i < cells; ++i) {
            appendSeparator(sink, separator);
            appendField(sink, grid.cell(r, i), true);
        }
        if (sourceColumns) {
            for (int i = std::max(cells, 1); i < leading; ++i) {
                appendSeparator(sink, separator);
                appendField(sink, {}, true);
            }
            appendSeparator(sink, separator);
            appendField(sink, grid.rowSource(r), true);
            appendSeparator(sink, separator);
            appendField(sink, sourcecolumns::capturedText(grid.rowCaptured(r)), true);
        }
        appendLineEnd(sink);
    }
    if (!sink.flush())
        return ExportStatus::failure(ExportError::WriteFailed, sink.errorString());
    return ExportStatus::success();
}

} // namespace

QChar separatorChar(CsvSeparator separator) {
    switch (separator) {
    case CsvSeparator::Semicolon:
        return u';';
    case CsvSeparator::Tab:
        return u'\t';
    case CsvSeparator::Comma:
        break;
    }
    return u',';
}

CsvSeparator chooseSeparator(bool tabChecked, bool semicolonChecked) {
    if (tabChecked)
        return CsvSeparator::Tab;
    if (semicolonChecked)
        return CsvSeparator::Semicolon;
    return CsvSeparator::Comma;
}

ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, QIODevice* device,
                         bool sourceColumns) {
    if (!device || !device->isWritable())
        return ExportStatus::failure(ExportError::OpenFailed,
                                     QStringLiteral("The device is not open for writing"));
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
        return writeLines(grid, char(separatorChar(separator).unicode()), sourceColumns, device);
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
}

ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, const QString& fileName,
                         bool sourceColumns) {
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
    return detail::saveReplacing(fileName, true, [&](QIODevice* device) {
        return MySaveToCSV(grid, separator, device, sourceColumns);
    });
}

} // namespace exporter
