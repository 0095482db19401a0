#include "journal/RowCodec.h"

#include "platform/Utf16.h"

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
        // As every writer stores them: an unpaired surrogate as U+FFFD, not as "?".
        const QByteArray bytes = platform::PairedSurrogates(f).toUtf8();
        appendNumber(out, std::uint64_t(bytes.size()));
        out.append(bytes);
    }
    return out;
}

namespace {

// Calls f(bytes, length) for each field; false when the bytes are malformed.
template <class F> bool forEachField(const char* data, qsizetype size, F&& f) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    while (p < end) {
        std::uint64_t length = 0;
        int shift = 0;
        for (;;) {
            // Five groups of seven bits cover every length a QString can have.
            if (p == end || shift > 28)
                return false;
            const unsigned char b = *p++;
            length |= std::uint64_t(b & 0x7F) << shift;
            shift += 7;
            if (!(b & 0x80))
                break;
        }
        if (length > std::uint64_t(end - p))
            return false;
        f(reinterpret_cast<const char*>(p), qsizetype(length));
        p += length;
    }
    return true;
}

} // namespace

std::optional<QStringList> DecodeFields(const char* data, qsizetype size) {
    QStringList fields;
    fields.reserve(8);
    if (!forEachField(data, size, [&](const char* field, qsizetype length) {
            fields.append(platform::Utf8Text(field, length));
        }))
        return std::nullopt;
    return fields;
}

bool FieldsAreWellFormed(const char* data, qsizetype size) {
    return forEachField(data, size, [](const char*, qsizetype) {});
}

void RowList::reserve(std::size_t rows, std::size_t bytes) {
    m_entries.reserve(rows);
    m_bytes.reserve(bytes);
}

void RowList::clear() {
    m_bytes.clear();
    m_entries.clear();
    m_pages.clear();
}

std::pair<const char*, std::size_t> RowList::encodedAt(std::size_t i) const {
    const Entry& e = m_entries[i];
    return {m_bytes.data() + e.offset, e.length};
}

QStringList RowList::fieldsAt(std::size_t i) const {
    const auto [data, size] = encodedAt(i);
    // Every row came through append or was checked when read.
    return DecodeFields(data, qsizetype(size)).value_or(QStringList());
}

Row RowList::at(std::size_t i) const {
    return {keyAt(i), fieldsAt(i), pageUrlAt(i), capturedAtAt(i)};
}

std::uint32_t RowList::addPage(const QString& url, const QDateTime& capturedAt) {
    m_pages.push_back({url, capturedAt});
    return std::uint32_t(m_pages.size() - 1);
}

void RowList::appendEncoded(RowKey key, std::uint32_t page, const char* data, std::size_t size) {
    const std::uint64_t offset = m_bytes.size();
    m_bytes.insert(m_bytes.end(), data, data + size);
    m_entries.push_back({key, offset, std::uint32_t(size), page});
}

void RowList::append(const QStringList& fields, const QString& pageUrl, const QDateTime& capturedAt,
                     RowKey key) {
    std::uint32_t page;
    if (!m_pages.empty() && m_pages.back().url == pageUrl && m_pages.back().at == capturedAt)
        page = std::uint32_t(m_pages.size() - 1);
    else
        page = addPage(pageUrl, capturedAt);
    const QByteArray bytes = EncodeFields(fields);
    appendEncoded(key, page, bytes.constData(), std::size_t(bytes.size()));
}

void RowList::reorder(const std::vector<std::uint32_t>& order) {
    std::vector<Entry> entries;
    entries.reserve(order.size());
    for (std::uint32_t i : order)
        entries.push_back(m_entries[i]);
    m_entries = std::move(entries);
}

} // namespace journal
