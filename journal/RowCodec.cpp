#include "journal/RowCodec.h"

#include <cstdint>

namespace journal {

namespace {

void appendNumber(QByteArray& out, std::uint64_t n) {
    while (n >= 0x80) {
        out.append(char(0x80 | (n & 0x7F)));
        n >>= 7;
    }
    out.append(char(n));
}

} // namespace

QByteArray EncodeFields(const QStringList& fields) {
    QByteArray out;
    for (const QString& f : fields) {
        const QByteArray bytes = f.toUtf8();
        appendNumber(out, std::uint64_t(bytes.size()));
        out.append(bytes);
    }
    return out;
}

std::optional<QStringList> DecodeFields(const char* data, qsizetype size) {
    QStringList fields;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    while (p < end) {
        std::uint64_t length = 0;
        int shift = 0;
        for (;;) {
            // Five groups of seven bits cover every length a QString can have.
            if (p == end || shift > 28)
                return std::nullopt;
            const unsigned char b = *p++;
            length |= std::uint64_t(b & 0x7F) << shift;
            shift += 7;
            if (!(b & 0x80))
                break;
        }
        if (length > std::uint64_t(end - p))
            return std::nullopt;
        fields.append(QString::fromUtf8(reinterpret_cast<const char*>(p), qsizetype(length)));
        p += length;
    }
    return fields;
}

} // namespace journal
