// The duplicate tests done the plain way, scanning the grid from the top for every
// question and rebuilding each row's joined text on the way. They are the reference
// the indexed tests are checked against, and the baseline the benchmark compares with.
#pragma once

#include "capture/Dupes.h"
#include "capture/GridModel.h"

#include <QStringView>

#include <vector>

namespace capture::plain {

bool FlatLineIsAlreadyInGrid(const TGridModel& grid, QStringView line);

// deleted[p] marks rows already gone (an empty vector: none); positions are the grid's.
bool IsAlreadyIn(const TGridModel& grid, int row, const TDupeArray& flags, int& idx,
                 const std::vector<char>& deleted = {});

// Walks the rows from the last to the first and removes each row some row above it
// matches, against the grid as the walk leaves it.
std::vector<int> DuplicateRows(const TGridModel& grid, const TDupeArray& flags);

} // namespace capture::plain
