#include "capture/GridModel.h"

#include <QHashSeed>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace capture {

bool IsLinkText(QStringView text) {
    return text.contains(u"://") || text.contains(u"mailto:");
}

namespace {

int compareKeys(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive);
}

// The first eight code units of a key, lower-cased, one byte each from the top, zeros after
// a shorter key; kNoPrefix when one of them is not ASCII. Two keys whose prefixes differ
// compare as their prefixes do: case folding is plain lower-casing for ASCII, and at the
// first differing byte either both keys have an ASCII unit or the zero-padded one ended
// with the rest equal, so it is the shorter and comes first, as compareKeys has it. Equal
// prefixes say nothing: the keys are compared whole.
constexpr std::uint64_t kNoPrefix = ~std::uint64_t(0);

std::uint64_t asciiPrefix(QStringView key) {
    std::uint64_t prefix = 0;
    const qsizetype n = std::min<qsizetype>(8, key.size());
    for (qsizetype i = 0; i < 8; ++i) {
        char16_t u = i < n ? key[i].unicode() : 0;
        if (u >= 0x80)
            return kNoPrefix;
        if (u >= u'A' && u <= u'Z')
            u = char16_t(u + (u'a' - u'A'));
        prefix = (prefix << 8) | u;
    }
    return prefix;
}

std::uint32_t checkedLength(qsizetype n) {
    if (n < 0 || std::uint64_t(n) >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("row text too long");
    return std::uint32_t(n);
}

// The time of an origin whose capture time is not known.
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

} // namespace

TGridModel::TGridModel(QObject* parent)
    : QAbstractTableModel(parent), m_joinedIndex(JoinedKey{this}, QHashSeed::globalSeed()),
      m_captionIndex(CaptionKey{this}, QHashSeed::globalSeed()), m_origins{Origin{0, kNoTime}},
      m_pages{QString()} {
    m_columns.push_back(TColumn{u"Ready to Start"_s, kInitialColumnWidth, ColumnAlignment::Left});
    m_originIds.insert(m_origins.front(), kNoOrigin);
    m_pageIds.insert(QString(), 0);
}

TGridModel::~TGridModel() = default;

int TGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_order.size();
}

int TGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TGridModel::alignmentOf(int column) const {
    const bool centred = m_columns[std::size_t(column)].alignment == ColumnAlignment::Centre;
    return int((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
}

QVariant TGridModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case RawRole:
        return field(index.row(), index.column()).toString();
    case LinkRole:
        return IsLinkText(field(index.row(), index.column()));
    case Qt::TextAlignmentRole:
        return alignmentOf(index.column());
    default:
        return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns())
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return m_columns[std::size_t(section)].caption;
    case Qt::TextAlignmentRole:
        return alignmentOf(section);
    case WidthRole:
        return m_columns[std::size_t(section)].width;
    default:
        return {};
    }
}

void TGridModel::appendColumns(int count) {
    if (count <= 0)
        return;
    const int first = columns();
    beginInsertColumns({}, first, first + count - 1);
    for (int i = 0; i < count; ++i)
        m_columns.push_back(TColumn{QString(), kDefaultColumnWidth, ColumnAlignment::Left});
    endInsertColumns();
}

void TGridModel::setColumnCaption(int index, const QString& caption) {
    m_columns.at(std::size_t(index)).caption = caption;
    emit headerDataChanged(Qt::Horizontal, index, index);
}

void TGridModel::setColumnWidth(int index, int width) {
    m_columns.at(std::size_t(index)).width = width;
    emit headerDataChanged(Qt::Horizontal, index, index);
}

void TGridModel::setColumnAlignment(int index, ColumnAlignment alignment) {
    m_columns.at(std::size_t(index)).alignment = alignment;
    emit headerDataChanged(Qt::Horizontal, index, index);
    if (rows() > 0)
        emit dataChanged(this->index(0, index), this->index(rows() - 1, index),
                         {Qt::TextAlignmentRole});
}

QStringView TGridModel::fieldOf(RowId id, int index) const {
    const RowBlob* b = blob(id);
    if (index < 0 || std::uint32_t(index) >= b->fieldCount)
        return {};
    const std::uint32_t* ends = b->ends();
    const std::uint32_t start = index == 0 ? 0 : ends[index - 1] + 1;
    return QStringView(b->text() + start, qsizetype(ends[index] - start));
}

QStringView TGridModel::joinedTextOf(RowId id) const {
    const RowBlob* b = blob(id);
    return QStringView(b->text(), qsizetype(b->textLength));
}

TGridModel::OriginId TGridModel::addOrigin(const QString& pageAddress, const QDateTime& captured) {
    std::uint32_t page = 0;
    if (!pageAddress.isEmpty()) {
        auto p = m_pageIds.constFind(pageAddress);
        if (p == m_pageIds.cend()) {
            if (std::size_t(m_pages.size()) >= std::numeric_limits<std::uint32_t>::max())
                throw std::length_error("too many page addresses");
            p = m_pageIds.insert(pageAddress, std::uint32_t(m_pages.size()));
            m_pages.append(pageAddress);
        }
        page = *p;
    }
    const Origin origin{page, captured.isValid() ? captured.toMSecsSinceEpoch() : kNoTime};
    auto o = m_originIds.constFind(origin);
    if (o == m_originIds.cend()) {
        if (m_origins.size() >= std::numeric_limits<OriginId>::max())
            throw std::length_error("too many row origins");
        o = m_originIds.insert(origin, OriginId(m_origins.size()));
        m_origins.push_back(origin);
    }
    return *o;
}

void TGridModel::checkOrigin(OriginId origin) const {
    if (origin >= m_origins.size())
        throw std::out_of_range("unknown row origin");
}

QString TGridModel::sourceOf(RowId id) const {
    return m_pages.at(m_origins[blob(id)->origin].page);
}

QDateTime TGridModel::capturedOf(RowId id) const {
    const qint64 msecs = m_origins[blob(id)->origin].msecs;
    if (msecs == kNoTime)
        return {};
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

QStringList TGridModel::rowFields(int row) const {
    const RowId id = rowIdAt(row);
    QStringList out;
    const int n = fieldCountOf(id);
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(fieldOf(id, i).toString());
    return out;
}

TGridModel::BlobPtr TGridModel::allocateBlob(std::size_t fields, std::size_t textLength,
                                             OriginId origin) {
    const std::size_t bytes =
        sizeof(RowBlob) + fields * sizeof(std::uint32_t) + textLength * sizeof(char16_t);
    auto* b = static_cast<RowBlob*>(std::malloc(bytes));
    if (!b)
        throw std::bad_alloc();
    b->fieldCount = std::uint32_t(fields);
    b->textLength = std::uint32_t(textLength);
    b->origin = origin;
    return BlobPtr(b);
}

int TGridModel::insertionPosition(QStringView key) const {
    // After every row whose key sorts equal, so rows of one key keep the order they came in.
    int lo = 0;
    int hi = m_order.size();
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = compareKeys(key, sortKey(m_order.at(mid)));
        if (ascending ? c >= 0 : c <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int TGridModel::insertBlob(BlobPtr b) {
    RowId id;
    if (!m_freeIds.empty()) {
        id = m_freeIds.back();
        m_freeIds.pop_back();
        m_blobs[id] = std::move(b);
    } else {
        if (m_blobs.size() >= kNoRow - 1)
            throw std::length_error("too many rows");
        id = RowId(m_blobs.size());
        m_blobs.push_back(std::move(b));
    }
    // Undo what was done if memory runs out half-way, so the indexes never name a row
    // the order does not hold.
    int stage = 0;
    try {
        m_joinedIndex.insert(id);
        stage = 1;
        m_captionIndex.insert(id);
        stage = 2;
        const int pos = insertionPosition(sortKey(id));
        beginInsertRows({}, pos, pos);
        m_order.insert(pos, id);
        endInsertRows();
        return pos;
    } catch (...) {
        if (stage >= 2)
            m_captionIndex.erase(id);
        if (stage >= 1)
            m_joinedIndex.erase(id);
        releaseId(id);
        throw;
    }
}

void TGridModel::releaseId(RowId id) {
    m_blobs[id].reset();
    if (id + 1 == m_blobs.size())
        m_blobs.pop_back();
    else
        m_freeIds.push_back(id);
}

TGridModel::BlobPtr TGridModel::blobOfFields(const QStringList& fields, OriginId origin) {
    const std::size_t n = std::max<std::size_t>(1, std::size_t(fields.size()));
    qsizetype length = qsizetype(n) - 1;
    for (const QString& f : fields)
        length += f.size();
    BlobPtr b = allocateBlob(n, checkedLength(length), origin);
    char16_t* out = b->text();
    std::uint32_t* ends = b->ends();
    std::uint32_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            out[at++] = kFieldSeparator;
        if (i < std::size_t(fields.size())) {
            const QString& f = fields[qsizetype(i)];
            std::memcpy(out + at, f.utf16(), std::size_t(f.size()) * sizeof(char16_t));
            at += std::uint32_t(f.size());
        }
        ends[i] = at;
    }
    return b;
}

int TGridModel::addRow(const QStringList& fields, OriginId origin) {
    checkOrigin(origin);
    return insertBlob(blobOfFields(fields, origin));
}

void TGridModel::loadRows(std::size_t count, int sortColumn, Qt::SortOrder order,
                          const RowSource& source) {
    if (rows() != 0)
        throw std::logic_error("rows can only be loaded into an empty grid");
    if (count >= kNoRow - 1)
        throw std::length_error("too many rows");
    beginResetModel();
    m_blobs.clear(); // ids freed by earlier removals
    m_freeIds.clear();
    m_sortColumn = std::max(0, sortColumn);
    m_sortOrder = order;
    try {
        m_blobs.reserve(count);
        QStringList fields;
        for (std::size_t i = 0; i < count; ++i) {
            fields.clear();
            OriginId origin = kNoOrigin;
            source(i, fields, origin);
            checkOrigin(origin);
            m_blobs.push_back(blobOfFields(fields, origin));
        }
        // Each row's sort key taken once, in id order: the sort then compares texts without
        // going through the row table and each row's field ends again, which for a million
        // rows was most of the load's time.
        struct Keyed {
            QStringView key;
            std::uint64_t prefix; // see asciiPrefix
            RowId id;
        };
        std::vector<Keyed> keyed(count);
        for (std::size_t i = 0; i < count; ++i) {
            const QStringView key = sortKey(RowId(i));
            keyed[i] = {key, asciiPrefix(key), RowId(i)};
            m_joinedIndex.insert(RowId(i));
            m_captionIndex.insert(RowId(i));
        }
        // A stable sort of rows in arrival order puts each after its equals, as adding
        // them one by one at their sorted place does. Rows restored in an order that is
        // already sorted cost one pass.
        const bool ascending = order == Qt::AscendingOrder;
        const auto before = [ascending](const Keyed& a, const Keyed& b) {
            int c = 0;
            if (a.prefix != b.prefix && a.prefix != kNoPrefix && b.prefix != kNoPrefix)
                c = a.prefix < b.prefix ? -1 : 1;
            else
                c = compareKeys(a.key, b.key);
            return ascending ? c < 0 : c > 0;
        };
        if (!std::is_sorted(keyed.begin(), keyed.end(), before))
            std::stable_sort(keyed.begin(), keyed.end(), before);
        std::vector<RowId> ids(count);
        for (std::size_t i = 0; i < count; ++i)
            ids[i] = keyed[i].id;
        m_order.assign(ids);
    } catch (...) {
        m_order.clear();
        m_joinedIndex.clear();
        m_captionIndex.clear();
        m_blobs.clear();
        m_freeIds.clear();
        clearOrigins();
        endResetModel();
        throw;
    }
    endResetModel();
}

int TGridModel::addRecordLine(QStringView line, int columns, OriginId origin) {
    checkOrigin(origin);
    const std::size_t n = std::size_t(std::max(1, columns));
    // Count the separators that end fields; any beyond the last field stay in its text.
    std::size_t separators = 0;
    for (qsizetype i = 0; i < line.size() && separators + 1 < n; ++i)
        if (line[i] == kFieldSeparator)
            ++separators;
    const std::size_t missing = n - 1 - separators;
    BlobPtr b = allocateBlob(n, checkedLength(line.size() + qsizetype(missing)), origin);
    char16_t* out = b->text();
    std::memcpy(out, line.utf16(), std::size_t(line.size()) * sizeof(char16_t));
    std::uint32_t* ends = b->ends();
    std::size_t f = 0;
    for (qsizetype i = 0; i < line.size() && f + 1 < n; ++i)
        if (line[i] == kFieldSeparator)
            ends[f++] = std::uint32_t(i);
    std::uint32_t at = std::uint32_t(line.size());
    ends[f++] = at;
    for (; f < n; ++f) {
        out[at++] = kFieldSeparator;
        ends[f] = at;
    }
    return insertBlob(std::move(b));
}

void TGridModel::removeRowAt(int row) {
    removeRowPositions({row});
}

void TGridModel::removeRowPositions(std::vector<int> positions) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.erase(std::remove_if(positions.begin(), positions.end(),
                                   [this](int p) { return p < 0 || p >= rows(); }),
                    positions.end());
    std::vector<RowId> gone;
    std::size_t end = positions.size();
    while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && positions[begin - 1] + 1 == positions[begin])
            --begin;
        const int first = positions[begin];
        const int last = positions[end - 1];
        gone.clear();
        m_order.forEachFrom(first, [&](RowId id) {
            gone.push_back(id);
            return int(gone.size()) < last - first + 1;
        });
        beginRemoveRows({}, first, last);
        m_order.eraseRange(first, last + 1);
        for (RowId id : gone) {
            m_joinedIndex.erase(id);
            m_captionIndex.erase(id);
            releaseId(id);
        }
        endRemoveRows();
        end = begin;
    }
}

void TGridModel::clearOrigins() {
    m_origins.resize(1);
    m_originIds.clear();
    m_originIds.insert(m_origins.front(), kNoOrigin);
    m_pages.resize(1);
    m_pageIds.clear();
    m_pageIds.insert(QString(), 0);
}

void TGridModel::clearRows() {
    if (rows() == 0) {
        clearOrigins();
        return;
    }
    beginRemoveRows({}, 0, rows() - 1);
    m_order.clear();
    m_joinedIndex.clear();
    m_captionIndex.clear();
    m_blobs.clear();
    m_freeIds.clear();
    clearOrigins(); // no row names one any more
    endRemoveRows();
}

bool TGridModel::containsJoinedText(QStringView text) const {
    return m_joinedIndex.find(text) != kNoRow;
}

TGridModel::RowId TGridModel::firstWithCaption(QStringView caption) const {
    return m_captionIndex.find(caption);
}

std::vector<int> TGridModel::positionsById() const {
    std::vector<int> pos(m_blobs.size(), -1);
    int p = 0;
    m_order.forEachFrom(0, [&](RowId id) {
        pos[id] = p++;
        return true;
    });
    return pos;
}

void TGridModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columns())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortColumn = column;
    m_sortOrder = order;
    std::vector<RowId> ids = m_order.toVector();
    const bool ascending = order == Qt::AscendingOrder;
    std::stable_sort(ids.begin(), ids.end(), [&](RowId a, RowId b) {
        const int c = compareKeys(sortKey(a), sortKey(b));
        return ascending ? c < 0 : c > 0;
    });
    const QModelIndexList before = persistentIndexList();
    std::vector<RowId> beforeIds;
    beforeIds.reserve(std::size_t(before.size()));
    for (const QModelIndex& i : before)
        beforeIds.push_back(m_order.at(i.row()));
    m_order.assign(ids);
    if (!before.isEmpty()) {
        const std::vector<int> pos = positionsById();
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(index(pos[beforeIds[std::size_t(i)]], before[i].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace capture
