#include "export/JsonLinesWriter.h"

#include "export/ByteSink.h"
#include "platform/Utf16.h"

#include <QBuffer>
#include <QSet>

#include <exception>
#include <string>
#include <vector>

namespace exporter {

namespace {

using detail::ByteSink;

constexpr char kHex[] = "0123456789abcdef";

// Appends the text as a JSON string in UTF-8, encoded by hand in one pass like the CSV
// writer's fields; an unpaired surrogate becomes U+FFFD.
void appendString(ByteSink& sink, QStringView value) {
    // Worst case: six bytes per UTF-16 unit (a control character as \u00XX), plus quotes.
    char* p = sink.reserve(std::size_t(value.size()) * 6 + 2);
    *p++ = '"';
    const char16_t* s = value.utf16();
    const char16_t* end = s + value.size();
    while (s < end) {
        const char32_t c = *s++;
        if (c < 0x80) {
            if (c >= 0x20 && c != u'"' && c != u'\\') {
                *p++ = char(c);
                continue;
            }
            *p++ = '\\';
            switch (c) {
            case u'"':
                *p++ = '"';
                break;
            case u'\\':
                *p++ = '\\';
                break;
            case u'\n':
                *p++ = 'n';
                break;
            case u'\r':
                *p++ = 'r';
                break;
            case u'\t':
                *p++ = 't';
                break;
            default:
                *p++ = 'u';
                *p++ = '0';
                *p++ = '0';
                *p++ = kHex[c >> 4];
                *p++ = kHex[c & 0xF];
            }
        } else {
            p = detail::putUtf8(p, char16_t(c), s, end);
        }
    }
    *p++ = '"';
    sink.commit(p);
}

ExportStatus writeRows(const IGridSource& grid, bool sourceColumns, QIODevice* device) {
    const QStringList keys = JsonLinesKeys(grid, sourceColumns);
    const int valueColumns = int(keys.size()) - (sourceColumns ? 2 : 0);

    // Every row repeats the keys: encode each once, with what goes before it.
    std::vector<std::string> prefixes;
    prefixes.reserve(std::size_t(keys.size()));
    {
        for (qsizetype k = 0; k < keys.size(); ++k) {
            // A private sink over a byte array of its own, so the key goes through the same
            // encoder. (A buffer reopened over one array keeps its old bytes: a shorter key
            // would carry the end of the longer one before it.)
            QByteArray scratch;
            QBuffer buffer(&scratch);
            buffer.open(QIODevice::WriteOnly);
            ByteSink keySink(&buffer, 256);
            keySink.append(k == 0 ? "{" : ",", 1);
            appendString(keySink, keys[k]);
            keySink.append(":", 1);
            keySink.flush();
            prefixes.emplace_back(scratch.constData(), std::size_t(scratch.size()));
        }
    }

    ByteSink sink(device);
    const int rows = grid.rowCount();
    for (int r = 0; r < rows && !sink.failed(); ++r) {
        const int cells = grid.cellCount(r);
        for (int c = 0; c < valueColumns; ++c) {
            const std::string& prefix = prefixes[std::size_t(c)];
            sink.append(prefix.data(), prefix.size());
            appendString(sink, c < cells ? grid.cell(r, c) : QString());
        }
        if (sourceColumns) {
            const std::string& source = prefixes[std::size_t(valueColumns)];
            sink.append(source.data(), source.size());
            appendString(sink, grid.rowSource(r));
            const std::string& captured = prefixes[std::size_t(valueColumns) + 1];
            sink.append(captured.data(), captured.size());
            appendString(sink, sourcecolumns::capturedText(grid.rowCaptured(r)));
        }
        sink.append("}\n", 2);
    }
    if (!sink.flush())
        return ExportStatus::failure(ExportError::WriteFailed, sink.errorString());
    return ExportStatus::success();
}

} // namespace

QStringList JsonLinesKeys(const IGridSource& grid, bool sourceColumns) {
    const int columns = grid.columnCount();
    const int span = std::max(1, sourcecolumns::leadingColumns(grid));
    QStringList wanted;
    wanted.reserve(span + 2);
    for (int c = 0; c < span; ++c) {
        const QString caption = c < columns ? grid.columnCaption(c) : QString();
        // Keys are made unique as they will be written: two captions that differ only in
        // unpaired surrogates would otherwise become one key and a reader would keep one
        // of the two values.
        wanted.append(caption.isEmpty() ? QStringLiteral("Column %1").arg(c + 1)
                                        : platform::PairedSurrogates(caption));
    }
    if (sourceColumns)
        wanted << sourcecolumns::kSourceCaption << sourcecolumns::kCapturedCaption;

    QSet<QString> used;
    QStringList keys;
    keys.reserve(wanted.size());
    for (const QString& name : wanted) {
        QString key = name;
        for (int n = 2; used.contains(key); ++n)
            key = name + QStringLiteral(" (%1)").arg(n);
        used.insert(key);
        keys.append(key);
    }
    return keys;
}

ExportStatus SaveToJsonLines(const IGridSource& grid, QIODevice* device, bool sourceColumns) {
    if (!device || !device->isWritable())
        return ExportStatus::failure(ExportError::OpenFailed,
                                     QStringLiteral("The device is not open for writing"));
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
        return writeRows(grid, sourceColumns, device);
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
}

ExportStatus SaveToJsonLines(const IGridSource& grid, const QString& fileName, bool sourceColumns) {
    try {
        if (grid.rowCount() <= 0)
            return ExportStatus::success();
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
    return detail::saveReplacing(fileName, true, [&](QIODevice* device) {
        return SaveToJsonLines(grid, device, sourceColumns);
    });
}

} // namespace exporter
