// The data grid on screen: a tree view over the grid model, sorted by a header click,
// with address cells drawn and opened as links.
#pragma once

class QTreeView;

namespace capture {

class TGridModel;

// Shows model in view: column widths follow the model's, a click on a web or mail address
// hands it to the desktop. Cells are not edited in place.
void attachGridView(QTreeView& view, TGridModel& model);

} // namespace capture
