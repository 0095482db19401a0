#include "export/CsvWriter.h"

#include "export/ByteSink.h"

#include <QSaveFile>

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
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (const char16_t* low = lowSurrogateAfter(c, s, end, dropLineBreaks)) {
            const char32_t u = QChar::surrogateToUcs4(char16_t(c), *low);
            s = low + 1;
            *p++ = char(0xF0 | (u >> 18));
            *p++ = char(0x80 | ((u >> 12) & 0x3F));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            const char32_t u = QChar::isSurrogate(c) ? char32_t(QChar::ReplacementCharacter) : c;
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
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

ExportStatus writeLines(const IGridSource& grid, char separator, QIODevice* device) {
    ByteSink sink(device);
    sink.append("\xEF\xBB\xBF", 3);

    const int columns = grid.columnCount();
    for (int c = 0; c < columns; ++c) {
        if (c > 0)
            appendSeparator(sink, separator);
        appendField(sink, grid.columnCaption(c), false);
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

ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, QIODevice* device) {
    if (!device || !device->isWritable())
        return ExportStatus::failure(ExportError::OpenFailed,
                                     QStringLiteral("The device is not open for writing"));
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
        return writeLines(grid, char(separatorChar(separator).unicode()), device);
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
}

ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, const QString& fileName) {
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
    QSaveFile file(fileName);
    // A folder that only lets an existing file be rewritten in place still gets the data.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return ExportStatus::failure(ExportError::OpenFailed, file.errorString());
    ExportStatus status = MySaveToCSV(grid, separator, &file);
    if (!status.ok()) {
        file.cancelWriting();
        return status;
    }
    if (!file.commit())
        return ExportStatus::failure(ExportError::WriteFailed, file.errorString());
    return status;
}

} // namespace exporter
