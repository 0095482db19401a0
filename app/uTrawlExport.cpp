// The save commands of the main window: they read the grid model through the writers'
// interface and leave the rest to the save command.
#include "app/uTrawlMain.h"
#include "capture/GridModel.h"
#include "export/GridModelSource.h"
#include "export/SaveCommand.h"
#include "lingo/uLingo.h"

void TfrmTrawl::saveGrid(int preselectedFilter) {
    const auto* model = lv ? qobject_cast<const capture::TGridModel*>(lv->model()) : nullptr;
    if (!model || model->rows() == 0)
        return;
    const exporter::CsvSeparator separator =
        exporter::chooseSeparator(mnTab->isChecked(), mnSemicolon->isChecked());
    exporter::runSaveCommand(exporter::GridModelSource(*model), sd, preselectedFilter, separator,
                             lingo::sNosaveExcel1 + u'\n' + lingo::sNosaveExcel2);
}

void TfrmTrawl::acSaveExecute() {
    saveGrid(exporter::kCsvFilter);
}

void TfrmTrawl::acSaveExcelExecute() {
    saveGrid(exporter::kXlsFilter);
}
