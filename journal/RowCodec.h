// How the journal stores a row's fields: one blob per row, each field as its UTF-8 length
// (an unsigned LEB128 number) followed by its UTF-8 bytes. Fields may hold any character,
// the grid's own separator U+00A4 included, so no separator could join them safely.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace journal {

QByteArray EncodeFields(const QStringList& fields);
// Nothing when the bytes are not a list of fields in this form: a length running past the
// end, a number longer than a field can be, or a truncated number.
std::optional<QStringList> DecodeFields(const char* data, qsizetype size);
// Whether DecodeFields would take these bytes, without making the strings.
bool FieldsAreWellFormed(const char* data, qsizetype size);

using RowKey = std::int64_t;

struct Row {
    RowKey key = 0;
    QStringList fields;
    QString pageUrl;
    QDateTime capturedAt;
};

// Rows held the way the journal stores them: every row's encoded fields in one buffer and
// each page's address and time once. A million restored rows cost their text and a few
// words each instead of seven allocations, and each row is made whole only when asked for.
class RowList {
public:
    std::size_t size() const { return m_entries.size(); }
    std::size_t capacity() const { return m_entries.capacity(); }
    bool empty() const { return m_entries.empty(); }
    void reserve(std::size_t rows, std::size_t bytes);
    void clear();

    Row at(std::size_t i) const;
    Row operator[](std::size_t i) const { return at(i); }
    Row back() const { return at(size() - 1); }
    // Keeps the first `rows` rows.
    void truncate(std::size_t rows) { m_entries.resize(std::min(rows, m_entries.size())); }

    // Iteration makes each row whole in turn.
    class const_iterator {
    public:
        using value_type = Row;
        using difference_type = std::ptrdiff_t;
        const_iterator() = default;
        const_iterator(const RowList* list, std::size_t i) : m_list(list), m_i(i) {}
        Row operator*() const { return m_list->at(m_i); }
        const_iterator& operator++() {
            ++m_i;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++m_i;
            return old;
        }
        bool operator==(const const_iterator& o) const { return m_i == o.m_i; }

    private:
        const RowList* m_list = nullptr;
        std::size_t m_i = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    RowKey keyAt(std::size_t i) const { return m_entries[i].key; }
    QStringList fieldsAt(std::size_t i) const;
    const QString& pageUrlAt(std::size_t i) const { return m_pages[m_entries[i].page].url; }
    const QDateTime& capturedAtAt(std::size_t i) const { return m_pages[m_entries[i].page].at; }

    // A row after the last; a row of the same page as the last one shares its record.
    void append(const QStringList& fields, const QString& pageUrl, const QDateTime& capturedAt,
                RowKey key = 0);
    void append(const Row& row) { append(row.fields, row.pageUrl, row.capturedAt, row.key); }
    // A row whose fields are already encoded, of a page added by addPage.
    void appendEncoded(RowKey key, std::uint32_t page, const char* data, std::size_t size);
    std::uint32_t addPage(const QString& url, const QDateTime& capturedAt);
    // The encoded fields of a row, and whether two rows come from one page record.
    std::pair<const char*, std::size_t> encodedAt(std::size_t i) const;
    bool samePage(std::size_t a, std::size_t b) const {
        return m_entries[a].page == m_entries[b].page;
    }
    // Puts the rows in the order of these indexes (a permutation of 0..size()-1).
    void reorder(const std::vector<std::uint32_t>& order);

private:
    struct Entry {
        RowKey key;
        std::uint64_t offset;
        std::uint32_t length;
        std::uint32_t page;
    };
    struct Page {
        QString url;
        QDateTime at;
    };
    std::vector<char> m_bytes;
    std::vector<Entry> m_entries;
    std::vector<Page> m_pages;
};

} // namespace journal
