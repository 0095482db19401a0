#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace exporter {

// What the writers read of the data grid. A row's cells are its caption (cell 0) and then
// its sub-items; a row may hold fewer cells than the grid has columns, or more.
class IGridSource {
public:
    virtual ~IGridSource() = default;
    virtual int columnCount() const = 0;
    virtual QString columnCaption(int column) const = 0;
    virtual int rowCount() const = 0;
    virtual int cellCount(int row) const = 0;
    virtual QString cell(int row, int index) const = 0;
};

// A grid held as plain values, for callers that have no model of their own.
struct GridData final : IGridSource {
    QStringList captions;
    std::vector<QStringList> rows;

    int columnCount() const override { return int(captions.size()); }
    QString columnCaption(int column) const override { return captions.at(column); }
    int rowCount() const override { return int(rows.size()); }
    int cellCount(int row) const override { return int(rows[size_t(row)].size()); }
    QString cell(int row, int index) const override { return rows[size_t(row)].at(index); }
};

} // namespace exporter
