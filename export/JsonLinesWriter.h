#pragma once

#include "export/ExportStatus.h"
#include "export/GridSource.h"

#include <QString>
#include <QStringList>

class QIODevice;

namespace exporter {

// The keys of every row's object, one per column: the column captions, "Column N" for a
// column without a caption (N counts from 1) and for cells beyond the grid's columns,
// then, with `sourceColumns`, "Source" and "Captured". Unpaired surrogates are replaced
// by U+FFFD as in the file; a key met again gets " (2)", " (3)" ... (the first number that
// makes it unique).
QStringList JsonLinesKeys(const IGridSource& grid, bool sourceColumns);

// Writes the grid as JSON Lines in UTF-8: one object per row, each line ended by a line
// feed, every key of JsonLinesKeys in order with the row's text as a string value (empty
// for a cell the row does not hold). Values are the texts as the grid holds them; an
// unpaired surrogate becomes U+FFFD. A grid without rows writes nothing.
ExportStatus SaveToJsonLines(const IGridSource& grid, QIODevice* device,
                             bool sourceColumns = false);

// The same into a file, which is replaced as a whole only when everything has been
// written; a grid without rows leaves the file system untouched.
ExportStatus SaveToJsonLines(const IGridSource& grid, const QString& fileName,
                             bool sourceColumns = false);

} // namespace exporter
