// The commands that change the grid's rows besides capture: Delete (the selected rows),
// Clear (all rows) and Delete Duplicates. None asks, none can be undone, and each ends
// by refreshing the count display, whatever happened to the rows.
#pragma once

#include "capture/GridModel.h"
#include "capture/TemplateAccess.h"

#include <functional>
#include <vector>

namespace capture {

// acDeleteExecute: removes the rows at the selected positions.
void DeleteSelectedRows(TGridModel& grid, const std::vector<int>& selected,
                        const std::function<void()>& updatecount);

// acClearGridExecute: removes every row; the columns stay as they are.
void ClearGrid(TGridModel& grid, const std::function<void()>& updatecount);

// adDeduplicateExecute: removes every row that a row above it matches by the current
// template's key columns. Without a template only its message is shown.
void DeleteDuplicates(TGridModel& grid, ITemplateAccess& plugin,
                      const std::function<void()>& updatecount);

} // namespace capture
