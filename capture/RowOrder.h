// The grid's display order: a sequence of row ids kept in chunks, so that putting a row
// in its sorted place costs a short move inside one chunk instead of shifting every row
// after it. Lookups by position go through the chunks' start positions.
#pragma once

#include <cstdint>
#include <vector>

namespace capture {

class TRowOrder {
public:
    using Id = std::uint32_t;

    int size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    Id at(int pos) const;
    void insert(int pos, Id id);
    void erase(int pos);
    // Removes the positions [first, last).
    void eraseRange(int first, int last);
    void clear();

    std::vector<Id> toVector() const;
    void assign(const std::vector<Id>& ids);

    // Calls f(id) for every position from first on, in order, until f returns false.
    template <class F> void forEachFrom(int first, F&& f) const {
        if (first >= m_size)
            return;
        auto [c, off] = locate(first);
        for (; c < m_chunks.size(); ++c, off = 0) {
            const auto& chunk = m_chunks[c];
            for (std::size_t i = off; i < chunk.size(); ++i)
                if (!f(chunk[i]))
                    return;
        }
    }

private:
    static constexpr std::size_t kChunk = 1024;

    struct Where {
        std::size_t chunk;
        std::size_t offset;
    };
    Where locate(int pos) const;
    void restart(std::size_t fromChunk);

    std::vector<std::vector<Id>> m_chunks;
    std::vector<int> m_starts; // m_starts[c]: position of the first id of chunk c
    int m_size = 0;
};

} // namespace capture
