// A fixed sequence of grid changes that the fault helper journals and the fault tests
// replay in memory: change k is a captured page, the removal of two rows, or a re-sort,
// chosen so that every change alters the grid. After a kill the journal must hold the grid
// as it stood after some whole number of changes.
#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace journal_script {

enum class Change { Page, Remove, Reverse };

inline Change changeAt(int k, std::size_t rows) {
    if (k % 7 == 6 && rows >= 2)
        return Change::Remove;
    if (k % 11 == 10 && rows >= 2)
        return Change::Reverse;
    return Change::Page;
}

inline QString pageUrl(int k) {
    return QStringLiteral("http://127.0.0.1:9/list?page=%1").arg(k);
}

// Between 1 and 23 rows, with a field holding the grid's separator and non-ASCII text.
inline std::vector<QStringList> pageRows(int k) {
    std::vector<QStringList> rows;
    const int n = 1 + (k * 7919) % 23;
    for (int i = 0; i < n; ++i)
        rows.push_back({QStringLiteral("p%1-r%2").arg(k).arg(i),
                        QStringLiteral("Stra\u00DFe \u00A4 %1").arg(k * 31 + i), QString()});
    return rows;
}

// The positions change k removes from a grid of this many rows.
inline std::vector<std::size_t> removedPositions(std::size_t rows) {
    return {rows / 2, 0};
}

// The grid's rows after each change, in order.
struct Model {
    std::vector<QStringList> rows;
    int changes = 0;

    void apply() {
        const int k = changes++;
        switch (changeAt(k, rows.size())) {
        case Change::Page:
            for (QStringList& r : pageRows(k))
                rows.push_back(std::move(r));
            break;
        case Change::Remove:
            for (std::size_t pos : removedPositions(rows.size()))
                rows.erase(rows.begin() + std::ptrdiff_t(pos));
            break;
        case Change::Reverse:
            std::reverse(rows.begin(), rows.end());
            break;
        }
    }
};

// The number of changes after which the model's rows equal these, searching from `from`
// on up to `limit`; -1 when none does.
inline int changesMatching(const std::vector<QStringList>& rows, int from, int limit) {
    Model m;
    while (m.changes < from)
        m.apply();
    for (;;) {
        if (m.rows == rows)
            return m.changes;
        if (m.changes >= limit)
            return -1;
        m.apply();
    }
}

// The pages a run may be found at after `n` changes: the last page captured, or the next
// one when the run had moved on to it but not yet captured it.
inline QStringList runPagesAfter(int n) {
    Model m;
    int last = -1;
    while (m.changes < n) {
        if (changeAt(m.changes, m.rows.size()) == Change::Page)
            last = m.changes;
        m.apply();
    }
    while (changeAt(m.changes, m.rows.size()) != Change::Page)
        m.apply();
    QStringList pages{pageUrl(m.changes)};
    if (last >= 0)
        pages.prepend(pageUrl(last));
    return pages;
}

} // namespace journal_script
