#include "capture/PlainScan.h"

namespace capture::plain {

bool FlatLineIsAlreadyInGrid(const TGridModel& grid, QStringView line) {
    for (int row = 0; row < grid.rows(); ++row) {
        QString joined = grid.field(row, 0).toString();
        for (int s = 1; s < grid.fieldCount(row); ++s) {
            joined += QChar(kFieldSeparator);
            joined += grid.field(row, s);
        }
        if (joined == line)
            return true;
    }
    return false;
}

bool IsAlreadyIn(const TGridModel& grid, int row, const TDupeArray& flags, int& idx,
                 const std::vector<char>& deleted) {
    const std::vector<int> keys = flags.keys();
    const TGridModel::RowId r = grid.rowIdAt(row);
    for (int g = 0; g < grid.rows(); ++g) {
        if (!deleted.empty() && deleted[std::size_t(g)])
            continue;
        if (grid.caption(g) != grid.caption(row))
            continue;
        switch (CompareByKeys(grid, grid.rowIdAt(g), r, keys)) {
        case KeyOutcome::Match:
            idx = g;
            return true;
        case KeyOutcome::Fail:
            return false;
        case KeyOutcome::Skip:
            break;
        }
    }
    return false;
}

std::vector<int> DuplicateRows(const TGridModel& grid, const TDupeArray& flags) {
    std::vector<char> deleted(std::size_t(grid.rows()), 0);
    std::vector<int> out;
    for (int row = grid.rows() - 1; row >= 0; --row) {
        int idx = -1;
        if (IsAlreadyIn(grid, row, flags, idx, deleted) && idx != row) {
            deleted[std::size_t(row)] = 1;
            out.push_back(row);
        }
    }
    return out;
}

} // namespace capture::plain
