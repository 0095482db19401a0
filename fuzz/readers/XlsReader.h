// A reader of the Excel 97-2003 workbooks the .xls writer makes, written apart from it:
// the compound file (allocation table, its extension sectors, the directory), then the
// "Workbook" stream's records, the shared strings across CONTINUE records and the
// worksheet's LABELSST cells. It is strict about what a reader relies on and reports the
// first problem instead of guessing.
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <utility>

namespace fuzzread {

struct XlsCell {
    QString text;
    int format = 0; // the cell's XF index
};

// Cells by (row, column).
using XlsCells = std::map<std::pair<int, int>, XlsCell>;

std::optional<XlsCells> ReadXls(const QByteArray& file, QString& error);

} // namespace fuzzread
