#include "capture/RowOrder.h"

#include <algorithm>
#include <cassert>

namespace capture {

TRowOrder::Where TRowOrder::locate(int pos) const {
    assert(pos >= 0 && pos < m_size);
    auto it = std::upper_bound(m_starts.begin(), m_starts.end(), pos);
    std::size_t c = std::size_t(it - m_starts.begin()) - 1;
    return {c, std::size_t(pos - m_starts[c])};
}

void TRowOrder::restart(std::size_t fromChunk) {
    m_starts.resize(m_chunks.size());
    int start = fromChunk == 0 ? 0 : m_starts[fromChunk - 1] + int(m_chunks[fromChunk - 1].size());
    for (std::size_t c = fromChunk; c < m_chunks.size(); ++c) {
        m_starts[c] = start;
        start += int(m_chunks[c].size());
    }
}

TRowOrder::Id TRowOrder::at(int pos) const {
    auto [c, off] = locate(pos);
    return m_chunks[c][off];
}

void TRowOrder::insert(int pos, Id id) {
    assert(pos >= 0 && pos <= m_size);
    if (m_chunks.empty()) {
        m_chunks.emplace_back().reserve(kChunk);
        m_starts.assign(1, 0);
    }
    Where w = pos == m_size ? Where{m_chunks.size() - 1, m_chunks.back().size()} : locate(pos);
    auto& chunk = m_chunks[w.chunk];
    chunk.insert(chunk.begin() + std::ptrdiff_t(w.offset), id);
    ++m_size;
    if (chunk.size() >= 2 * kChunk) {
        std::vector<Id> tail(chunk.begin() + std::ptrdiff_t(kChunk), chunk.end());
        chunk.resize(kChunk);
        chunk.shrink_to_fit();
        m_chunks.insert(m_chunks.begin() + std::ptrdiff_t(w.chunk) + 1, std::move(tail));
        restart(w.chunk);
        return;
    }
    for (std::size_t c = w.chunk + 1; c < m_starts.size(); ++c)
        ++m_starts[c];
}

void TRowOrder::erase(int pos) {
    eraseRange(pos, pos + 1);
}

void TRowOrder::eraseRange(int first, int last) {
    assert(first >= 0 && first <= last && last <= m_size);
    if (first == last)
        return;
    auto [c, off] = locate(first);
    const std::size_t firstChunk = c;
    int left = last - first;
    while (left > 0) {
        auto& chunk = m_chunks[c];
        std::size_t n = std::min<std::size_t>(std::size_t(left), chunk.size() - off);
        chunk.erase(chunk.begin() + std::ptrdiff_t(off), chunk.begin() + std::ptrdiff_t(off + n));
        left -= int(n);
        off = 0;
        ++c;
    }
    m_size -= last - first;
    auto emptyFrom = std::remove_if(m_chunks.begin() + std::ptrdiff_t(firstChunk),
                                    m_chunks.begin() + std::ptrdiff_t(c),
                                    [](const std::vector<Id>& v) { return v.empty(); });
    m_chunks.erase(emptyFrom, m_chunks.begin() + std::ptrdiff_t(c));
    restart(firstChunk);
}

void TRowOrder::clear() {
    m_chunks.clear();
    m_starts.clear();
    m_size = 0;
}

std::vector<TRowOrder::Id> TRowOrder::toVector() const {
    std::vector<Id> all;
    all.reserve(std::size_t(m_size));
    for (const auto& chunk : m_chunks)
        all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

void TRowOrder::assign(const std::vector<Id>& ids) {
    clear();
    for (std::size_t i = 0; i < ids.size(); i += kChunk) {
        std::size_t end = std::min(ids.size(), i + kChunk);
        m_chunks.emplace_back(ids.begin() + std::ptrdiff_t(i), ids.begin() + std::ptrdiff_t(end));
    }
    m_size = int(ids.size());
    restart(0);
}

} // namespace capture
