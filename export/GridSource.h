#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <algorithm>
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

    // The column's width on screen in pixels; negative when not known.
    virtual int columnWidth(int /*column*/) const { return -1; }
    // Where the row came from: the address of the page it was captured from (empty when
    // not known) and when (invalid when not known).
    virtual QString rowSource(int /*row*/) const { return {}; }
    virtual QDateTime rowCaptured(int /*row*/) const { return {}; }
};

// A grid held as plain values, for callers that have no model of their own. Widths and
// origins may be shorter than the columns and rows: the rest are not known.
struct GridData final : IGridSource {
    struct Origin {
        QString source;
        QDateTime captured;
    };

    QStringList captions;
    std::vector<QStringList> rows;
    std::vector<int> widths;
    std::vector<Origin> origins;

    int columnCount() const override { return int(captions.size()); }
    QString columnCaption(int column) const override { return captions.at(column); }
    int rowCount() const override { return int(rows.size()); }
    int cellCount(int row) const override { return int(rows[size_t(row)].size()); }
    QString cell(int row, int index) const override { return rows[size_t(row)].at(index); }
    int columnWidth(int column) const override {
        return size_t(column) < widths.size() ? widths[size_t(column)] : -1;
    }
    QString rowSource(int row) const override {
        return size_t(row) < origins.size() ? origins[size_t(row)].source : QString();
    }
    QDateTime rowCaptured(int row) const override {
        return size_t(row) < origins.size() ? origins[size_t(row)].captured : QDateTime();
    }
};

// The optional "Source" and "Captured" columns that tell where each row came from. They
// follow the grid's columns, or a row's last cell when a row is wider than the grid.
namespace sourcecolumns {

inline const QString kSourceCaption = QStringLiteral("Source");
inline const QString kCapturedCaption = QStringLiteral("Captured");

// The capture time as ISO 8601 in UTC to the second ("2026-03-01T09:00:05Z"); empty when
// not known.
inline QString capturedText(const QDateTime& captured) {
    return captured.isValid() ? captured.toUTC().toString(Qt::ISODate) : QString();
}

// The number of columns before the source columns: the grid's columns, or more when
// some row holds more cells.
inline int leadingColumns(const IGridSource& grid) {
    int span = grid.columnCount();
    const int rows = grid.rowCount();
    for (int r = 0; r < rows; ++r)
        span = std::max(span, grid.cellCount(r));
    return span;
}

} // namespace sourcecolumns

} // namespace exporter
