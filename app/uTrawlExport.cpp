// The save commands of the main window, forwarded to the export controller, which reads
// the grid model through the writers' interface.
#include "app/uTrawlMain.h"
#include "capture/GridModel.h"
#include "export/ExportController.h"
#include "export/GridModelSource.h"

void TfrmTrawl::CreateExport() {
    m_export = std::make_unique<exporter::ExportController>(
        [this]() -> std::unique_ptr<exporter::IGridSource> {
            const auto* model =
                lv ? qobject_cast<const capture::TGridModel*>(lv->model()) : nullptr;
            if (!model)
                return nullptr;
            return std::make_unique<exporter::GridModelSource>(*model);
        });
}

const platform::FileDialogRequest& TfrmTrawl::saveRequest() const {
    return m_export->saveRequest();
}

void TfrmTrawl::acSaveExecute() {
    m_export->saveText();
}

void TfrmTrawl::acSaveExcelExecute() {
    m_export->saveExcel();
}

void TfrmTrawl::mnJsonLinesClick() {
    m_export->saveJsonLines();
}

void TfrmTrawl::mnSeparatorClick() {
    m_export->setSeparator(exporter::chooseSeparator(mnTab->isChecked(), mnSemicolon->isChecked()));
}
