#pragma once

#include "export/CsvWriter.h"
#include "export/GridSource.h"
#include "platform/Dialogs.h"

#include <QString>

#include <optional>

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

// The file types the grid can be saved as.
enum class FileType { Csv, Xls, Xlsx, JsonLines };

// The extension of the type, with its full stop: ".csv", ".xls", ".xlsx", ".jsonl".
QString ExtensionOf(FileType type);

// The type a file name's extension names, letter case ignored; none for another or no
// extension.
std::optional<FileType> FileTypeOfName(const QString& fileName);

// The type a save dialog's filter (pairs of description and pattern between "|") stands
// for at `index` (from 1), by the extension of its first pattern ("*.xlsx;*.xlsm" is
// .xlsx). "*.xls*" is an Excel 97-2003 workbook, as the first filter lists named it.
// None when the filter has no such entry or names no type of ours.
std::optional<FileType> FileTypeOfFilter(const QString& filter, int index);

struct SaveOptions {
    CsvSeparator separator = CsvSeparator::Comma; // delimited text only
    bool sourceColumns = false; // "Source" and "Captured"; not in Excel 97-2003 workbooks
};

// Writes the grid as `type` under exactly `fileName`, whatever its extension; a grid
// without rows writes nothing. The one entry for the window and batch runs alike.
ExportStatus SaveGrid(const IGridSource& grid, FileType type, const QString& fileName,
                      const SaveOptions& options);

// The same with a failure thrown as a platform::Failure whose text tells the user what
// happened, naming the file.
void SaveGridOrThrow(const IGridSource& grid, FileType type, const QString& fileName,
                     const SaveOptions& options);

// The save command. Does nothing for a grid without rows. Otherwise it shows the save
// dialog `sd` with `preselectedFilter` selected, keeps the name chosen there for the next
// time, and writes the type chosen there (FileTypeOfFilter; without one, kXlsFilter is
// an Excel 97-2003 workbook and any other delimited text) under the chosen name with its
// extension replaced. When an Excel 97-2003 workbook cannot be written, the delimited
// text goes under the same base name instead and `fallbackMessage` is shown. Any other
// failure is thrown as in SaveGridOrThrow, with nothing written. When `sd` carries a
// check box, its state in the accepted dialog decides the source columns and is kept in
// `sd` for the next time.
void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    const SaveOptions& options, const QString& fallbackMessage);

// The same without the source columns.
void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    CsvSeparator separator, const QString& fallbackMessage);

} // namespace exporter
