// The save commands as one object: the save dialog's request (the name chosen last is
// offered again), the separator of delimited text, the remembered "Include source
// columns" option, and which file type each command offers. It holds no widget: the
// window forwards its commands here and reports what is thrown, as for every command.
#pragma once

#include "export/CsvWriter.h"
#include "export/GridSource.h"
#include "platform/Dialogs.h"

#include <QString>

#include <functional>
#include <memory>

namespace exporter {

class ExportController {
public:
    // The grid as it is when a command runs; null while there is none.
    using GridAccess = std::function<std::unique_ptr<IGridSource>()>;

    // The option is remembered in the per-user settings of `settingsApplication`, the
    // place of the window's other remembered settings unless a test names its own.
    explicit ExportController(GridAccess grid,
                              QString settingsApplication = QStringLiteral("TRXMain"));

    // The commands. Each does nothing for a grid without rows, shows the one save dialog
    // (every file type, the command's own preselected) with the option, and writes the
    // type chosen there; a failure is thrown as a platform::Failure naming the file, with
    // nothing written.
    void saveText();      // acSave: delimited text
    void saveExcel();     // acSaveExcel: .xlsx (Excel 97-2003 is the type after it)
    void saveJsonLines(); // mnJsonLines: JSON Lines

    void setSeparator(CsvSeparator separator) { m_separator = separator; }
    CsvSeparator separator() const { return m_separator; }

    // "Include source columns": off until the user turns it on in a save dialog that was
    // then accepted, and kept across runs from then on.
    bool sourceColumns() const;
    void setSourceColumns(bool on);

    // The dialog as the next command starts it (the name last chosen, the filter last
    // used).
    const platform::FileDialogRequest& saveRequest() const { return m_request; }

    static QString sourceColumnsCaption() { return QStringLiteral("Include source columns"); }
    // The dialog's file types: the current workbook first, the old one second, as the
    // Excel command offers them, then the text formats.
    static QString saveFilter() {
        return QStringLiteral("Excel Workbook|*.xlsx|Excel 97-2003 Workbook|*.xls|"
                              "Text CSV file|*.csv|JSON Lines|*.jsonl");
    }
    static constexpr int kXlsxFilter = 1;
    static constexpr int kXlsFilter = 2;
    static constexpr int kTextFilter = 3;
    static constexpr int kJsonLinesFilter = 4;

private:
    void save(int preselectedFilter);

    GridAccess m_grid;
    QString m_settingsApplication;
    platform::FileDialogRequest m_request;
    CsvSeparator m_separator = CsvSeparator::Comma;
};

} // namespace exporter
