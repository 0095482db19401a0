#pragma once

#include "export/CsvWriter.h"
#include "export/GridSource.h"
#include "platform/Dialogs.h"

#include <QString>

namespace exporter {

// The file name with its extension replaced by `extension` (which starts with the full
// stop), or with `extension` appended when the name has none. Only a full stop after
// the last folder separator starts an extension.
QString ChangeFileExt(const QString& fileName, const QString& extension);

// The file types of the save dialog, as its filter indexes count them.
constexpr int kCsvFilter = 1;
constexpr int kXlsFilter = 2;

// Writes the grid as delimited text; a failure becomes a platform::Failure whose text the
// application's error report shows.
void WriteCsvOrThrow(const IGridSource& grid, CsvSeparator separator, const QString& fileName);

// The save command. Does nothing for a grid without rows. Otherwise it shows the save
// dialog `sd` with `preselectedFilter` selected, keeps the name chosen there for the next
// time, and writes the type chosen there under the chosen name with its extension
// replaced. When the workbook cannot be written, the delimited text goes under the same
// base name instead and `fallbackMessage` is shown. A delimited text failure is thrown
// as in WriteCsvOrThrow.
void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    CsvSeparator separator, const QString& fallbackMessage);

} // namespace exporter
