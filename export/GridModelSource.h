#pragma once

#include "capture/GridModel.h"
#include "export/GridSource.h"

namespace exporter {

// The grid model as the writers read it, row by row in the order shown, without a copy.
class GridModelSource final : public IGridSource {
public:
    explicit GridModelSource(const capture::TGridModel& model) : m_model(model) {}
    int columnCount() const override { return m_model.columns(); }
    QString columnCaption(int column) const override { return m_model.column(column).caption; }
    int rowCount() const override { return m_model.rows(); }
    int cellCount(int row) const override { return m_model.fieldCount(row); }
    QString cell(int row, int index) const override { return m_model.field(row, index).toString(); }
    int columnWidth(int column) const override { return m_model.column(column).width; }
    QString rowSource(int row) const override { return m_model.rowSource(row); }
    QDateTime rowCaptured(int row) const override { return m_model.rowCaptured(row); }

private:
    const capture::TGridModel& m_model;
};

} // namespace exporter
