#pragma once

#include "export/ExportStatus.h"
#include "export/GridSource.h"

#include <QString>

class QIODevice;

namespace exporter {

// What one worksheet of an Excel 97-2003 workbook holds.
constexpr int kXlsMaxRows = 65536;
constexpr int kXlsMaxColumns = 256;
constexpr int kXlsMaxCellLength = 32767;

// The cell text of a grid value: markup tags are removed, line-break and rule tags
// become line feeds. Only well-formed tags count ("<" then a tag name and, before the
// next ">", attributes), so ordinary text such as "a < b" or "<name@example.com>" stays.
QString StripMarkup(const QString& text);

// The text of a worksheet cell made from a grid value: StripMarkup, then every unpaired
// surrogate replaced by U+FFFD, as readers refuse them otherwise.
QString WorksheetCellText(const QString& value);

// Writes the grid as an Excel 97-2003 workbook (BIFF8 in a compound document) with one
// worksheet: sheet row n is grid row n from A1, the caption in column A and the
// sub-items after it, no row of column captions. Fails without writing anything beyond
// kXlsMaxRows rows, kXlsMaxColumns cells in a row or kXlsMaxCellLength characters in a
// cell.
ExportStatus SaveToXLS(const IGridSource& grid, QIODevice* device);

// The same into a file, written under a temporary name beside it and renamed over the
// target only when complete: on failure the target is as it was before.
ExportStatus SaveToXLS(const IGridSource& grid, const QString& fileName);

} // namespace exporter
