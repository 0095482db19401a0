#include "readers/CsvReader.h"

#include <QStringDecoder>

namespace fuzzread {

std::optional<std::vector<QStringList>> ReadCsv(const QByteArray& bytes, char separator,
                                                QString& error) {
    std::vector<QStringList> lines;
    if (bytes.isEmpty())
        return lines;
    if (!bytes.startsWith("\xEF\xBB\xBF")) {
        error = QStringLiteral("no byte-order mark");
        return std::nullopt;
    }
    const qsizetype n = bytes.size();
    qsizetype i = 3;
    QStringList fields;
    while (i < n) {
        // A line of no fields at all (the captions of a grid without columns).
        if (fields.isEmpty() && i + 1 < n && bytes[i] == '\r' && bytes[i + 1] == '\n') {
            lines.emplace_back();
            i += 2;
            continue;
        }
        if (bytes[i] != '"') {
            error = QStringLiteral("unquoted field at byte %1").arg(i);
            return std::nullopt;
        }
        QByteArray field;
        for (++i;; ++i) {
            if (i >= n) {
                error = QStringLiteral("unterminated field");
                return std::nullopt;
            }
            if (bytes[i] != '"') {
                field += bytes[i];
                continue;
            }
            if (i + 1 < n && bytes[i + 1] == '"') {
                field += '"';
                ++i;
                continue;
            }
            ++i;
            break;
        }
        // The writer produces valid UTF-8 only. (A field may start with U+FEFF, which
        // QString::fromUtf8 would drop.)
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                      QStringDecoder::Flag::ConvertInitialBom);
        const QString text = utf8(field);
        if (utf8.hasError()) {
            error = QStringLiteral("invalid UTF-8 in a field");
            return std::nullopt;
        }
        fields << text;
        if (i < n && bytes[i] == separator) {
            ++i;
            continue;
        }
        if (i + 1 < n && bytes[i] == '\r' && bytes[i + 1] == '\n') {
            i += 2;
            lines.push_back(fields);
            fields.clear();
            continue;
        }
        error = QStringLiteral("neither separator nor line end at byte %1").arg(i);
        return std::nullopt;
    }
    if (!fields.isEmpty()) {
        error = QStringLiteral("last line not ended");
        return std::nullopt;
    }
    return lines;
}

} // namespace fuzzread
