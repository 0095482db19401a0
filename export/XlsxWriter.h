#pragma once

#include "export/ExportStatus.h"
#include "export/GridSource.h"

#include <QString>

namespace exporter {

// What one worksheet of an Office Open XML workbook holds.
constexpr int kXlsxMaxRows = 1048576; // the header row included
constexpr int kXlsxMaxColumns = 16384;
constexpr int kXlsxMaxCellLength = 32767; // UTF-16 units, as the spreadsheet counts them

// The width in character units that shows a column of `pixels` pixels in the default
// font (seven pixels a digit, five of padding); capped at the widest column, 255.
double XlsxColumnWidth(int pixels);

// Writes the grid as an Office Open XML workbook (.xlsx) with one worksheet: row 1 holds
// the column captions, in bold and frozen, and sheet row n + 1 grid row n, the caption
// in column A and the sub-items after it. Cells are text as WorksheetCellText makes
// them, spanning lines where they hold line feeds; empty texts leave the cell empty.
// Captions and page addresses are written as they are (no markup is removed).
// Columns take the grid's widths (a width of 0 hides the column). With `sourceColumns`,
// "Source" and "Captured" columns follow the widest of the captions and the rows.
//
// The workbook is written under a temporary name beside the file and renamed over it
// only when complete and read back as whole: on any failure the file is as it was and
// no temporary file stays. Fails before writing anything beyond kXlsxMaxRows rows or
// kXlsxMaxColumns columns; a cell longer than kXlsxMaxCellLength fails the write. A grid
// without rows still gets its header row.
ExportStatus SaveToXLSX(const IGridSource& grid, const QString& fileName,
                        bool sourceColumns = false);

namespace detail {

// What is wrong with a workbook this writer has finished, read back as a whole: its zip
// directory, every part's size and checksum, the worksheet's end and its number of
// cells. Empty when nothing is.
QString XlsxDamage(const QString& fileName, qint64 expectedCells);

} // namespace detail

} // namespace exporter
