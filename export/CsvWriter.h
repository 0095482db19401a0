#pragma once

#include "export/ExportStatus.h"
#include "export/GridSource.h"

#include <QChar>
#include <QString>

class QIODevice;

namespace exporter {

enum class CsvSeparator { Comma, Semicolon, Tab };

QChar separatorChar(CsvSeparator separator);

// The separator the CSV menu stands for: tab when its entry is checked, else semicolon
// when that one is, else comma.
CsvSeparator chooseSeparator(bool tabChecked, bool semicolonChecked);

// Writes the grid as UTF-8 text with a byte-order mark: a line of the column captions,
// then one line per row (caption, then sub-items), every line ended by CR LF. Every field
// is quoted and an inner double quote is doubled; carriage returns and line feeds are
// dropped from row values, while captions are written as they are. A grid without rows
// writes nothing. With `sourceColumns`, every line is padded with empty fields to the
// widest of the captions and the rows, then gets a "Source" and a "Captured" field.
ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, QIODevice* device,
                         bool sourceColumns = false);

// The same into a file, which is replaced as a whole only when everything has been
// written; a grid without rows leaves the file system untouched.
ExportStatus MySaveToCSV(const IGridSource& grid, CsvSeparator separator, const QString& fileName,
                         bool sourceColumns = false);

} // namespace exporter
