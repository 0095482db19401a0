#include "export/SaveCommand.h"

#include "export/JsonLinesWriter.h"
#include "export/XlsWriter.h"
#include "export/XlsxWriter.h"
#include "platform/Failure.h"

#include <QDir>

namespace exporter {

QString ChangeFileExt(const QString& fileName, const QString& extension) {
    const qsizetype folderEnd = fileName.lastIndexOf(u'/');
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot > folderEnd)
        return fileName.left(dot) + extension;
    return fileName + extension;
}

namespace {

[[noreturn]] void throwFailure(const ExportStatus& status, const QString& fileName) {
    const QString shown = QDir::toNativeSeparators(fileName);
    switch (status.code) {
    case ExportError::OpenFailed:
        throw platform::Failure(
            QStringLiteral("Cannot create file \"%1\". %2").arg(shown, status.message));
    case ExportError::WriteFailed:
        throw platform::Failure(
            QStringLiteral("Cannot write file \"%1\". %2").arg(shown, status.message));
    case ExportError::TooManyRows:
    case ExportError::TooManyColumns:
    case ExportError::CellTooLong:
    case ExportError::TooLarge:
        throw platform::Failure(
            QStringLiteral("Cannot save \"%1\": the grid does not fit in this file type (%2). "
                           "Nothing was written.")
                .arg(shown, status.message));
    default:
        throw platform::Failure(status.message);
    }
}

} // namespace

void WriteCsvOrThrow(const IGridSource& grid, CsvSeparator separator, const QString& fileName) {
    const ExportStatus status = MySaveToCSV(grid, separator, fileName);
    if (!status.ok())
        throwFailure(status, fileName);
}

QString ExtensionOf(FileType type) {
    switch (type) {
    case FileType::Xls:
        return QStringLiteral(".xls");
    case FileType::Xlsx:
        return QStringLiteral(".xlsx");
    case FileType::JsonLines:
        return QStringLiteral(".jsonl");
    case FileType::Csv:
        break;
    }
    return QStringLiteral(".csv");
}

std::optional<FileType> FileTypeOfName(const QString& fileName) {
    const qsizetype folderEnd = fileName.lastIndexOf(u'/');
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= folderEnd)
        return std::nullopt;
    const QString extension = fileName.mid(dot).toLower();
    for (FileType type : {FileType::Csv, FileType::Xls, FileType::Xlsx, FileType::JsonLines})
        if (extension == ExtensionOf(type))
            return type;
    return std::nullopt;
}

std::optional<FileType> FileTypeOfFilter(const QString& filter, int index) {
    const QStringList parts = filter.split(u'|');
    const qsizetype at = qsizetype(index) * 2 - 1;
    if (index < 1 || at >= parts.size())
        return std::nullopt;
    const QString pattern = parts[at].section(u';', 0, 0).trimmed().toLower();
    if (pattern == u"*.xls*")
        return FileType::Xls;
    if (!pattern.startsWith(u"*."))
        return std::nullopt;
    return FileTypeOfName(pattern.mid(1));
}

ExportStatus SaveGrid(const IGridSource& grid, FileType type, const QString& fileName,
                      const SaveOptions& options) {
    switch (type) {
    case FileType::Xls:
        return SaveToXLS(grid, fileName);
    case FileType::Xlsx:
        return SaveToXLSX(grid, fileName, options.sourceColumns);
    case FileType::JsonLines:
        return SaveToJsonLines(grid, fileName, options.sourceColumns);
    case FileType::Csv:
        break;
    }
    return MySaveToCSV(grid, options.separator, fileName, options.sourceColumns);
}

void SaveGridOrThrow(const IGridSource& grid, FileType type, const QString& fileName,
                     const SaveOptions& options) {
    const ExportStatus status = SaveGrid(grid, type, fileName, options);
    if (!status.ok())
        throwFailure(status, fileName);
}

void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    const SaveOptions& options, const QString& fallbackMessage) {
    if (grid.rowCount() <= 0)
        return;
    sd.filterIndex = preselectedFilter;
    const platform::FileDialogResult chosen = platform::dialogs().saveFile(sd);
    if (!chosen.accepted || chosen.fileName.isEmpty())
        return;
    sd.fileName = chosen.fileName;
    sd.filterIndex = chosen.filterIndex;
    SaveOptions chosenOptions = options;
    if (!sd.checkBoxText.isEmpty()) {
        sd.checkBoxChecked = chosen.checkBoxChecked;
        chosenOptions.sourceColumns = chosen.checkBoxChecked;
    }

    const FileType type =
        FileTypeOfFilter(sd.filter, chosen.filterIndex)
            .value_or(chosen.filterIndex == kXlsFilter ? FileType::Xls : FileType::Csv);
    if (type == FileType::Xls) {
        if (SaveToXLS(grid, ChangeFileExt(chosen.fileName, ExtensionOf(FileType::Xls))).ok())
            return;
        SaveGridOrThrow(grid, FileType::Csv,
                        ChangeFileExt(chosen.fileName, ExtensionOf(FileType::Csv)), chosenOptions);
        platform::dialogs().message(fallbackMessage);
        return;
    }
    SaveGridOrThrow(grid, type, ChangeFileExt(chosen.fileName, ExtensionOf(type)), chosenOptions);
}

void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    CsvSeparator separator, const QString& fallbackMessage) {
    runSaveCommand(grid, sd, preselectedFilter, SaveOptions{separator, false}, fallbackMessage);
}

} // namespace exporter
