#include "export/SaveCommand.h"

#include "export/XlsWriter.h"
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

void WriteCsvOrThrow(const IGridSource& grid, CsvSeparator separator, const QString& fileName) {
    const ExportStatus status = MySaveToCSV(grid, separator, fileName);
    if (status.ok())
        return;
    const QString shown = QDir::toNativeSeparators(fileName);
    switch (status.code) {
    case ExportError::OpenFailed:
        throw platform::Failure(
            QStringLiteral("Cannot create file \"%1\". %2").arg(shown, status.message));
    case ExportError::WriteFailed:
        throw platform::Failure(
            QStringLiteral("Cannot write file \"%1\". %2").arg(shown, status.message));
    default:
        throw platform::Failure(status.message);
    }
}

void runSaveCommand(const IGridSource& grid, platform::FileDialogRequest& sd, int preselectedFilter,
                    CsvSeparator separator, const QString& fallbackMessage) {
    if (grid.rowCount() <= 0)
        return;
    sd.filterIndex = preselectedFilter;
    const platform::FileDialogResult chosen = platform::dialogs().saveFile(sd);
    if (!chosen.accepted || chosen.fileName.isEmpty())
        return;
    sd.fileName = chosen.fileName;
    sd.filterIndex = chosen.filterIndex;

    if (chosen.filterIndex == kXlsFilter) {
        if (SaveToXLS(grid, ChangeFileExt(chosen.fileName, QStringLiteral(".xls"))).ok())
            return;
        WriteCsvOrThrow(grid, separator, ChangeFileExt(chosen.fileName, QStringLiteral(".csv")));
        platform::dialogs().message(fallbackMessage);
        return;
    }
    WriteCsvOrThrow(grid, separator, ChangeFileExt(chosen.fileName, QStringLiteral(".csv")));
}

} // namespace exporter
