// The save commands of the main window: they read the grid model through the writers'
// interface and leave the rest to the save command.
#include "app/uTrawlMain.h"
#include "capture/GridModel.h"
#include "export/SaveCommand.h"
#include "lingo/uLingo.h"

namespace {

// The grid as the writers read it, row by row in the order shown, without a copy.
class GridModelSource final : public exporter::IGridSource {
public:
    explicit GridModelSource(const capture::TGridModel& model) : m_model(model) {}
    int columnCount() const override { return m_model.columns(); }
    QString columnCaption(int column) const override { return m_model.column(column).caption; }
    int rowCount() const override { return m_model.rows(); }
    int cellCount(int row) const override { return m_model.fieldCount(row); }
    QString cell(int row, int index) const override { return m_model.field(row, index).toString(); }

private:
    const capture::TGridModel& m_model;
};

} // namespace

void TfrmTrawl::saveGrid(int preselectedFilter) {
    const auto* model = lv ? qobject_cast<const capture::TGridModel*>(lv->model()) : nullptr;
    if (!model || model->rows() == 0)
        return;
    const exporter::CsvSeparator separator =
        exporter::chooseSeparator(mnTab->isChecked(), mnSemicolon->isChecked());
    exporter::runSaveCommand(GridModelSource(*model), sd, preselectedFilter, separator,
                             lingo::sNosaveExcel1 + u'\n' + lingo::sNosaveExcel2);
}

void TfrmTrawl::acSaveExecute() {
    saveGrid(exporter::kCsvFilter);
}

void TfrmTrawl::acSaveExcelExecute() {
    saveGrid(exporter::kXlsFilter);
}
