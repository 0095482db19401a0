// The data grid: ordered columns (caption, width, alignment) and rows of plain text, a
// caption (field 0) and sub-items (fields 1 and up). The grid is the only store of
// captured data, so it is built to hold a million rows: each row is one allocation that
// holds its whole-row text (the fields joined with U+00A4) and the field boundaries, and
// two hash indexes kept in step with the rows answer "is this line already a row?" and
// "which rows have this caption?" without scanning. Where a row came from (the page's
// address and the capture time) is one number in the row, naming an entry of a small
// table of distinct origins, since a page's rows all share theirs.
#pragma once

#include "capture/KeyGroupIndex.h"
#include "capture/RowOrder.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace capture {

// Separates the fields of a line of record text, and of a row's whole-row text.
inline constexpr char16_t kFieldSeparator = u'\u00A4';

enum class ColumnAlignment { Left, Centre };

struct TColumn {
    QString caption;
    int width = 0;
    ColumnAlignment alignment = ColumnAlignment::Left;
};

// A cell drawn as a link that opens with the system's handler.
bool IsLinkText(QStringView text);

class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using RowId = std::uint32_t;
    static constexpr RowId kNoRow = 0xFFFFFFFFu;
    // Names a page address and capture time that rows share; rows added without one
    // have kNoOrigin, whose address is empty and whose time is invalid.
    using OriginId = std::uint32_t;
    static constexpr OriginId kNoOrigin = 0;

    enum Role {
        RawRole = Qt::UserRole + 1, // the cell's text as stored, for sorting and export
        LinkRole,                   // bool: the cell is drawn as a link
        WidthRole,                  // header: the column's width in pixels
    };

    // The grid's one column before any template shaped it.
    static constexpr int kInitialColumnWidth = 100;
    // Width a column appended by a template starts with, the list control's own default.
    static constexpr int kDefaultColumnWidth = 50;

    explicit TGridModel(QObject* parent = nullptr);
    ~TGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Reorders the rows by the text of one column (stable, letter case ignored). Rows
    // added later go to their place in this order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Columns.
    int columns() const { return int(m_columns.size()); }
    const TColumn& column(int index) const { return m_columns.at(std::size_t(index)); }
    void appendColumns(int count);
    void setColumnCaption(int index, const QString& caption);
    void setColumnWidth(int index, int width);
    void setColumnAlignment(int index, ColumnAlignment alignment);

    // Rows by position in the current order.
    int rows() const { return m_order.size(); }
    int fieldCount(int row) const { return fieldCountOf(rowIdAt(row)); }
    int subItemCount(int row) const { return fieldCount(row) - 1; }
    // Field 0 is the caption; a field the row does not hold reads as empty.
    QStringView field(int row, int index) const { return fieldOf(rowIdAt(row), index); }
    QStringView caption(int row) const { return field(row, 0); }
    // The caption, then each sub-item preceded by U+00A4.
    QStringView joinedText(int row) const { return joinedTextOf(rowIdAt(row)); }
    QStringList rowFields(int row) const;
    // Where the row at this position came from: empty / invalid when not known.
    QString rowSource(int row) const { return sourceOf(rowIdAt(row)); }
    QDateTime rowCaptured(int row) const { return capturedOf(rowIdAt(row)); }

    // The origin of rows captured from `pageAddress` at `captured` (kept in UTC, to the
    // millisecond). The same pair gives the same id while the grid has rows; Clear
    // forgets them all.
    OriginId addOrigin(const QString& pageAddress, const QDateTime& captured);

    // Adds a row of these fields (the first is the caption) at its place in the current
    // order; returns its position.
    int addRow(const QStringList& fields, OriginId origin = kNoOrigin);
    // Adds the row that capture makes of one line of record text for a grid of
    // `columns` columns: the line's pieces between U+00A4 fill the fields in order,
    // missing fields are empty, and pieces beyond the last field stay in it with their
    // separators, so no captured text is dropped.
    int addRecordLine(QStringView line, int columns, OriginId origin = kNoOrigin);
    // Fills an empty grid with `count` rows at once, in the order that adding them one by
    // one to a grid sorted by `sortColumn` / `order` gives (each after its equals), with
    // one reset instead of a million insertions. source(i, fields, origin) supplies row i
    // into cleared arguments; row i gets the id i. On a failure the grid is left empty and the
    // failure passes on.
    using RowSource = std::function<void(std::size_t, QStringList&, OriginId&)>;
    void loadRows(std::size_t count, int sortColumn, Qt::SortOrder order, const RowSource& source);
    void removeRowAt(int row);
    // Removes the rows at these positions (any order, repeats allowed), from the last
    // up, announcing each run of neighbouring rows once.
    void removeRowPositions(std::vector<int> positions);
    void clearRows();

    // True when some row's whole-row text equals text exactly.
    bool containsJoinedText(QStringView text) const;

    // Row ids stay the same while a row lives, whatever is sorted, added or removed.
    RowId rowIdAt(int row) const { return m_order.at(row); }
    int fieldCountOf(RowId id) const { return int(blob(id)->fieldCount); }
    QStringView fieldOf(RowId id, int index) const;
    QStringView joinedTextOf(RowId id) const;
    OriginId originOf(RowId id) const { return blob(id)->origin; }
    QString sourceOf(RowId id) const;
    QDateTime capturedOf(RowId id) const;
    // The rows whose caption equals caption exactly: firstWithCaption, then
    // nextWithCaption until kNoRow, in no particular order.
    RowId firstWithCaption(QStringView caption) const;
    RowId nextWithCaption(RowId id) const { return m_captionIndex.next(id); }
    std::vector<RowId> rowIdsInOrder() const { return m_order.toVector(); }
    // pos[id] is the row's position, -1 for ids not in use.
    std::vector<int> positionsById() const;
    std::size_t idLimit() const { return m_blobs.size(); }

private:
    struct RowBlob {
        std::uint32_t textLength;
        std::uint32_t fieldCount;
        OriginId origin;
        // followed by fieldCount field ends, then the whole-row text
        const std::uint32_t* ends() const {
            return reinterpret_cast<const std::uint32_t*>(this + 1);
        }
        std::uint32_t* ends() { return reinterpret_cast<std::uint32_t*>(this + 1); }
        const char16_t* text() const {
            return reinterpret_cast<const char16_t*>(ends() + fieldCount);
        }
        char16_t* text() { return reinterpret_cast<char16_t*>(ends() + fieldCount); }
    };
    struct FreeBlob {
        void operator()(RowBlob* b) const { std::free(b); }
    };
    using BlobPtr = std::unique_ptr<RowBlob, FreeBlob>;

    struct JoinedKey {
        const TGridModel* model;
        QStringView operator()(RowId id) const { return model->joinedTextOf(id); }
    };
    struct CaptionKey {
        const TGridModel* model;
        QStringView operator()(RowId id) const { return model->fieldOf(id, 0); }
    };

    struct Origin {
        std::uint32_t page; // index into m_pages
        qint64 msecs;       // since the epoch, UTC
        bool operator==(const Origin&) const = default;
    };
    friend std::size_t qHash(const Origin& o, std::size_t seed) {
        return qHashMulti(seed, o.page, o.msecs);
    }

    static BlobPtr blobOfFields(const QStringList& fields, OriginId origin);
    static BlobPtr allocateBlob(std::size_t fields, std::size_t textLength, OriginId origin);
    void checkOrigin(OriginId origin) const;
    void clearOrigins();
    const RowBlob* blob(RowId id) const { return m_blobs[id].get(); }
    int insertBlob(BlobPtr b);
    void releaseId(RowId id);
    QStringView sortKey(RowId id) const { return fieldOf(id, m_sortColumn); }
    int insertionPosition(QStringView key) const;
    QVariant alignmentOf(int column) const;

    std::vector<TColumn> m_columns;
    std::vector<BlobPtr> m_blobs; // by row id; null for ids not in use
    std::vector<RowId> m_freeIds;
    TRowOrder m_order;
    TKeyGroupIndex<JoinedKey> m_joinedIndex;
    TKeyGroupIndex<CaptionKey> m_captionIndex;
    // Entry 0 of each table stands for "not known".
    std::vector<Origin> m_origins;
    QHash<Origin, OriginId> m_originIds;
    QStringList m_pages;
    QHash<QString, std::uint32_t> m_pageIds;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace capture
