#include "capture/GridEditing.h"

#include "capture/Dupes.h"

namespace capture {

namespace {
template <class F> void guarded(F&& f) {
    try {
        f();
    } catch (...) {
        // The count display below still shows what the grid holds.
    }
}
} // namespace

void DeleteSelectedRows(TGridModel& grid, const std::vector<int>& selected,
                        const std::function<void()>& updatecount) {
    guarded([&] { grid.removeRowPositions(selected); });
    updatecount();
}

void ClearGrid(TGridModel& grid, const std::function<void()>& updatecount) {
    guarded([&] { grid.clearRows(); });
    updatecount();
}

void DeleteDuplicates(TGridModel& grid, ITemplateAccess& plugin,
                      const std::function<void()>& updatecount) {
    guarded([&] {
        const TDupeArray flags = GetDupes(plugin);
        grid.removeRowPositions(DuplicateRows(grid, flags));
    });
    updatecount();
}

} // namespace capture
