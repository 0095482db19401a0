#include "platform/Utf16.h"

#include <cstring>

namespace platform {

QString PairedSurrogates(QString text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QString Utf8Text(const char* data, qsizetype size) {
    QString text = QString::fromUtf8(data, size);
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        text.prepend(QChar(0xFEFF));
    return text;
}

} // namespace platform
