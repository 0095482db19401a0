// A hash index from a text key of a row to the group of rows that share it. One slot per
// distinct key (open addressing, linear probing); the rows of a group are chained through
// a link table indexed by row id, so adding or removing a row costs the same however many
// rows share its key (thousands of rows with one caption are ordinary).
#pragma once

#include <QHashFunctions>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace capture {

// KeyOf: a callable (Id) -> QStringView giving the key of a live row.
template <class KeyOf> class TKeyGroupIndex {
public:
    using Id = std::uint32_t;
    static constexpr Id kNone = 0xFFFFFFFFu;

    explicit TKeyGroupIndex(KeyOf keyOf, std::size_t seed) : m_keyOf(keyOf), m_seed(seed) {}

    void insert(Id id) {
        const QStringView key = m_keyOf(id);
        const std::uint32_t h = hashOf(key);
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            grow();
        if (id >= m_links.size())
            m_links.resize(std::size_t(id) + 1, Link{kNone, kNone});
        std::size_t mask = m_slots.size() - 1;
        std::size_t firstFree = kNoSlot;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.head == kEmpty) {
                if (firstFree == kNoSlot) {
                    firstFree = i;
                    ++m_used;
                }
                break;
            }
            if (s.head == kTomb) {
                if (firstFree == kNoSlot)
                    firstFree = i;
                continue;
            }
            if (s.hash == h && m_keyOf(s.head) == key) {
                m_links[id] = Link{kNone, s.head};
                m_links[s.head].prev = id;
                s.head = id;
                return;
            }
        }
        m_slots[firstFree] = Slot{id, h};
        m_links[id] = Link{kNone, kNone};
        ++m_groups;
    }

    // id must be in the index and its key unchanged since it was inserted.
    void erase(Id id) {
        Link& l = m_links[id];
        if (l.prev != kNone) {
            m_links[l.prev].next = l.next;
            if (l.next != kNone)
                m_links[l.next].prev = l.prev;
            l = Link{kNone, kNone};
            return;
        }
        Slot* s = findSlot(m_keyOf(id), [id](Id head) { return head == id; });
        if (!s)
            return;
        if (l.next != kNone) {
            s->head = l.next;
            m_links[l.next].prev = kNone;
        } else {
            s->head = kTomb;
            --m_groups;
        }
        l = Link{kNone, kNone};
    }

    // The first row of key's group, or kNone.
    Id find(QStringView key) const {
        const Slot* s = const_cast<TKeyGroupIndex*>(this)->findSlot(
            key, [&](Id head) { return m_keyOf(head) == key; });
        return s ? s->head : kNone;
    }
    Id next(Id id) const { return m_links[id].next; }

    void clear() {
        m_slots.clear();
        m_links.clear();
        m_used = 0;
        m_groups = 0;
    }
    std::size_t groupCount() const { return m_groups; }
    std::size_t memoryBytes() const {
        return m_slots.capacity() * sizeof(Slot) + m_links.capacity() * sizeof(Link);
    }

private:
    static constexpr Id kEmpty = 0xFFFFFFFFu;
    static constexpr Id kTomb = 0xFFFFFFFEu;
    static constexpr std::size_t kNoSlot = ~std::size_t(0);

    struct Slot {
        Id head = kEmpty;
        std::uint32_t hash = 0;
    };
    struct Link {
        Id prev;
        Id next;
    };

    std::uint32_t hashOf(QStringView key) const { return std::uint32_t(qHash(key, m_seed)); }

    template <class Match> Slot* findSlot(QStringView key, Match match) {
        if (m_slots.empty())
            return nullptr;
        const std::uint32_t h = hashOf(key);
        std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.head == kEmpty)
                return nullptr;
            if (s.head != kTomb && s.hash == h && match(s.head))
                return &s;
        }
    }

    // Rebuilds the table from the stored hashes, dropping tombstones; doubles it when
    // more than half of it holds live groups. Probing stays short at three quarters full
    // with a seeded string hash, and the table costs 11 to 21 bytes per group.
    void grow() {
        std::size_t size = m_slots.empty() ? 16 : m_slots.size();
        if ((m_groups + 1) * 2 > size)
            size *= 2;
        std::vector<Slot> old(size);
        old.swap(m_slots);
        std::size_t mask = size - 1;
        for (const Slot& s : old) {
            if (s.head == kEmpty || s.head == kTomb)
                continue;
            std::size_t i = s.hash & mask;
            while (m_slots[i].head != kEmpty)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
        m_used = m_groups;
    }

    KeyOf m_keyOf;
    std::size_t m_seed;
    std::vector<Slot> m_slots;
    std::vector<Link> m_links;
    std::size_t m_used = 0;   // slots not empty: live groups and tombstones
    std::size_t m_groups = 0; // live groups
};

} // namespace capture
