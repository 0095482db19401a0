#pragma once

#include "export/ExportStatus.h"

#include <QChar>
#include <QIODevice>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

namespace exporter::detail {

// Writes the UTF-8 of the UTF-16 unit c, which is U+0080 or above, taking the low half
// from s when c starts a surrogate pair; an unpaired surrogate becomes U+FFFD, as in
// QString::toUtf8(). At most four bytes; answers the position after them.
inline char* putUtf8(char* p, char16_t c, const char16_t*& s, const char16_t* end) {
    if (c < 0x800) {
        *p++ = char(0xC0 | (c >> 6));
        *p++ = char(0x80 | (c & 0x3F));
    } else if (QChar::isHighSurrogate(c) && s < end && QChar::isLowSurrogate(*s)) {
        const char32_t u = QChar::surrogateToUcs4(c, *s++);
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
    return p;
}

// Collects output in one reusable block and hands it to the device in large writes, so
// the writers can produce bytes one at a time without a call per byte. The first failed
// write is remembered and every later one is skipped.
class ByteSink {
public:
    explicit ByteSink(QIODevice* device, std::size_t blockSize = 1 << 16);

    // Room for at least `count` bytes at the end; fill it and pass the end to commit().
    char* reserve(std::size_t count) {
        if (count > m_capacity - m_size)
            makeRoom(count);
        return m_data.get() + m_size;
    }
    void commit(char* end) { m_size = std::size_t(end - m_data.get()); }

    void append(const char* bytes, std::size_t count);
    void appendZeros(quint64 count);

    // Hands everything collected so far to the device; false once any write has failed.
    bool flush();
    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    void makeRoom(std::size_t count);

    QIODevice* m_device;
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity;
    bool m_failed = false;
    QString m_error;
};

// Writes a file through write() on a temporary file beside it that replaces the file
// only when everything was written; on failure the old file stays and no temporary file
// is left. With directWriteFallback, a folder that only lets an existing file be
// rewritten in place still gets the data.
ExportStatus saveReplacing(const QString& fileName, bool directWriteFallback,
                           const std::function<ExportStatus(QIODevice*)>& write);

} // namespace exporter::detail
