// A reader of the .xlsx workbooks the writer makes, written apart from it: the zip
// directory, the worksheet part inflated with zlib, and its cells parsed with libxml2 as a
// spreadsheet program reads them (inline or shared strings, "_xHHHH_" escapes decoded).
// It reports the first problem instead of guessing.
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <utility>

namespace fuzzread {

// Cell texts by (row, column), both from 0.
using XlsxCells = std::map<std::pair<int, int>, QString>;

std::optional<XlsxCells> ReadXlsx(const QByteArray& file, QString& error);

} // namespace fuzzread
