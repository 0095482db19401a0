#include "capture/Dupes.h"

#include <QHashFunctions>

#include <algorithm>
#include <climits>

namespace capture {

bool IsNoValue(QStringView cell) {
    return cell.size() == 1 && cell[0] == kNoValueMarker;
}

TDupeArray::TDupeArray(int size) : m_size(std::max(0, size)) {}

int TDupeArray::value(int j) const {
    if (j < 0 || j >= m_size)
        return 0;
    if (j == 0)
        return 1;
    return std::size_t(j) < m_values.size() ? m_values[std::size_t(j)] : 0;
}

void TDupeArray::setValue(int j, int digit) {
    if (j <= 0 || j >= m_size)
        return;
    if (std::size_t(j) >= m_values.size())
        m_values.resize(std::size_t(j) + 1, 0);
    m_values[std::size_t(j)] = std::uint8_t(digit);
}

std::vector<int> TDupeArray::keys() const {
    std::vector<int> out;
    for (std::size_t j = 1; j < m_values.size(); ++j)
        if (m_values[j] == 1)
            out.push_back(int(j));
    return out;
}

TDupeArray GetDupes(ITemplateAccess& plugin) {
    if (!plugin.PluginIsOK())
        return {};
    TDupeArray flags;
    try {
        const int n = plugin.GetColumnCount();
        if (n <= 0)
            return {};
        flags = TDupeArray(n);
        const QString text = plugin.GetDupeColumns();
        int j = 1;
        for (const QChar ch : text) {
            const char16_t c = ch.unicode();
            if (c == u'|') {
                if (j < n)
                    ++j;
                else
                    j = n; // entries beyond the last column are not part of the flags
                continue;
            }
            if (c < u'0' || c > u'9')
                break;
            flags.setValue(j, c - u'0');
        }
    } catch (...) {
        // A failing template leaves the flags read so far.
    }
    return flags;
}

KeyOutcome CompareByKeys(const TGridModel& grid, TGridModel::RowId g, TGridModel::RowId r,
                         const std::vector<int>& keys) {
    for (int j : keys) {
        if (grid.fieldCountOf(g) <= j)
            return KeyOutcome::Fail;
        const QStringView v = grid.fieldOf(g, j);
        if (IsNoValue(v))
            continue;
        if (grid.fieldCountOf(r) <= j)
            return KeyOutcome::Fail;
        if (v == grid.fieldOf(r, j))
            return KeyOutcome::Match;
    }
    return KeyOutcome::Skip;
}

namespace {
// Groups up to this size are compared member by member; larger ones get a value index.
constexpr std::size_t kSmallGroup = 8;
} // namespace

std::size_t TDupeScan::ValueKeyHash::operator()(const ValueKey& k) const {
    return qHash(k.value, std::size_t(k.key));
}

TDupeScan::TDupeScan(const TGridModel& grid, const TDupeArray& flags)
    : m_grid(grid), m_keys(flags.keys()), m_pos(grid.positionsById()) {
    m_lastKey = m_keys.empty() ? 0 : m_keys.back();
}

const TDupeScan::Group& TDupeScan::groupOf(RowId head) {
    auto [it, fresh] = m_groups.try_emplace(head);
    Group& g = it->second;
    if (!fresh)
        return g;
    for (RowId m = head; m != TGridModel::kNoRow; m = m_grid.nextWithCaption(m))
        g.members.push_back(m);
    std::sort(g.members.begin(), g.members.end(),
              [this](RowId a, RowId b) { return m_pos[a] < m_pos[b]; });
    if (g.members.size() <= kSmallGroup)
        return g;
    // Members are taken in position order, so the first entry of a value is its
    // earliest row.
    for (RowId m : g.members) {
        const int count = m_grid.fieldCountOf(m);
        if (g.firstShort < 0 && count <= m_lastKey)
            g.firstShort = m_pos[m];
        for (int j : m_keys) {
            if (count <= j)
                break;
            const QStringView v = m_grid.fieldOf(m, j);
            if (!IsNoValue(v))
                g.firstWithValue.try_emplace(ValueKey{j, v}, m_pos[m]);
        }
    }
    return g;
}

bool TDupeScan::IsAlreadyIn(int row, int& idx) {
    if (m_keys.empty() || row < 0 || row >= m_grid.rows())
        return false;
    return isAlreadyIn(m_grid.rowIdAt(row), row, idx);
}

bool TDupeScan::isAlreadyIn(RowId r, int row, int& idx) {
    const RowId head = m_grid.firstWithCaption(m_grid.fieldOf(r, 0));
    if (head == r && m_grid.nextWithCaption(r) == TGridModel::kNoRow) {
        // Alone with its caption, as most rows are: it can only match itself.
        if (CompareByKeys(m_grid, r, r, m_keys) != KeyOutcome::Match)
            return false;
        idx = row;
        return true;
    }
    const Group& g = groupOf(head);
    if (g.members.size() <= kSmallGroup || m_grid.fieldCountOf(r) <= m_lastKey) {
        // The plain scan over the rows of this caption: it ends at r at the latest,
        // which either matches itself or fails on the key field it lacks.
        for (RowId m : g.members) {
            switch (CompareByKeys(m_grid, m, r, m_keys)) {
            case KeyOutcome::Match:
                idx = m_pos[m];
                return true;
            case KeyOutcome::Fail:
                return false;
            case KeyOutcome::Skip:
                break;
            }
        }
        return false;
    }
    // r holds every key field, so a row of this caption fails only when it lacks one
    // and has matched on none before: the answer is the earliest row with an equal key
    // value, unless a short row comes before it.
    int first = INT_MAX;
    for (int j : m_keys) {
        const QStringView v = m_grid.fieldOf(r, j);
        if (IsNoValue(v))
            continue;
        auto it = g.firstWithValue.find(ValueKey{j, v});
        if (it != g.firstWithValue.end())
            first = std::min(first, it->second);
    }
    if (first == INT_MAX)
        return false;
    if (g.firstShort >= 0 && g.firstShort < first)
        return false;
    idx = first;
    return true;
}

std::vector<int> DuplicateRows(const TGridModel& grid, const TDupeArray& flags) {
    std::vector<int> out;
    if (flags.keys().empty())
        return out;
    // A row's answer depends only on the rows above it, which the walk from the bottom
    // has not touched yet, so every answer can be read from the grid as it stands.
    TDupeScan scan(grid, flags);
    const std::vector<TGridModel::RowId> ids = grid.rowIdsInOrder();
    for (int row = int(ids.size()) - 1; row >= 0; --row) {
        int idx = -1;
        if (scan.isAlreadyIn(ids[std::size_t(row)], row, idx) && idx != row)
            out.push_back(row);
    }
    return out;
}

} // namespace capture
