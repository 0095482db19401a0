// Duplicate detection. While capturing, a line is not added when a row with exactly the
// same whole-row text is in the grid (FlatLineIsAlreadyInGrid). On demand, Delete
// Duplicates removes every row that an earlier row matches by the template's key rule:
// equal caption, and an equal value in at least one key column that is not the
// no-value marker in the earlier row (GetDupes, IsAlreadyIn, DuplicateRows). Both give
// exactly the answers of a plain scan of the grid from the top (PlainScan.h), through
// the grid's indexes instead.
#pragma once

#include "capture/GridModel.h"
#include "capture/TemplateAccess.h"

#include <QStringView>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace capture {

// A cell holding exactly one no-break space has no value for the key comparison.
inline constexpr char16_t kNoValueMarker = u'\u00A0';
bool IsNoValue(QStringView cell);

// The key flags of a template's columns: element 0 stands for the caption and is always
// set; element j for field j (sub-item j - 1) and is a key when it holds the value a "1"
// gives. Only the elements the key text reached are stored, so a template claiming
// millions of columns costs nothing.
class TDupeArray {
public:
    TDupeArray() = default;
    explicit TDupeArray(int size);

    int size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    int value(int j) const;
    void setValue(int j, int digit);
    bool isKey(int j) const { return j >= 1 && value(j) == 1; }
    // The key elements from 1 up, in order.
    std::vector<int> keys() const;

private:
    int m_size = 0;
    std::vector<std::uint8_t> m_values;
};

// The key flags of the current template: empty when none is loaded (its message shown)
// or when it claims no columns. The key text is read a character at a time: "|" moves to
// the next element, a digit is stored in the current one (so an entry's last digit
// decides), and any other character ends the reading, keeping what was stored.
TDupeArray GetDupes(ITemplateAccess& plugin);

// The whole-row test for one line of record text.
inline bool FlatLineIsAlreadyInGrid(const TGridModel& grid, QStringView line) {
    return grid.containsJoinedText(line);
}

// How comparing earlier row G with row R by the keys turns out: no match, a match, or a
// failure (a key field missing from a row), which ends the scan for R with "no match".
enum class KeyOutcome { Skip, Match, Fail };
KeyOutcome CompareByKeys(const TGridModel& grid, TGridModel::RowId g, TGridModel::RowId r,
                         const std::vector<int>& keys);

// The key match against one state of the grid. Build it once per command: it takes the
// row positions as they stand and must not outlive a change of the grid.
class TDupeScan {
public:
    TDupeScan(const TGridModel& grid, const TDupeArray& flags);

    // True when some row matches the row at `row` by the key rule; idx then receives the
    // position of the first such row (never after `row`) and is otherwise left alone.
    bool IsAlreadyIn(int row, int& idx);

private:
    friend std::vector<int> DuplicateRows(const TGridModel&, const TDupeArray&);
    using RowId = TGridModel::RowId;
    bool isAlreadyIn(RowId r, int row, int& idx);
    struct ValueKey {
        int key;
        QStringView value;
        bool operator==(const ValueKey& o) const { return key == o.key && value == o.value; }
    };
    struct ValueKeyHash {
        std::size_t operator()(const ValueKey& k) const;
    };
    struct Group {
        std::vector<RowId> members; // by position
        int firstShort = -1;        // first member lacking a key field, -1 if none
        std::unordered_map<ValueKey, int, ValueKeyHash> firstWithValue;
    };
    const Group& groupOf(RowId head);

    const TGridModel& m_grid;
    std::vector<int> m_keys;
    int m_lastKey = 0;
    std::vector<int> m_pos;
    std::unordered_map<RowId, Group> m_groups; // by the first row the caption index names
};

// The positions Delete Duplicates removes: every row an earlier row matches, as the
// walk from the last row to the first finds them.
std::vector<int> DuplicateRows(const TGridModel& grid, const TDupeArray& flags);

} // namespace capture
