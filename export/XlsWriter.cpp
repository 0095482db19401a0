#include "export/XlsWriter.h"

#include "platform/Utf16.h"

#include "export/ByteSink.h"
#include "export/CompoundFile.h"

#include <QHashFunctions>
#include <QtEndian>

#include <algorithm>
#include <exception>
#include <vector>

namespace exporter {

namespace {

using detail::ByteSink;
using detail::CompoundFileLayout;

// --- markup --------------------------------------------------------------------------

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isTagNameChar(char16_t c) {
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
}
bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

// The first occurrence of a needle at or after a position, for positions that only grow,
// as StripMarkup's are: an answer still ahead is reused and "none" stays none, so a text
// of many unclosed "<!--" costs one pass instead of one pass per "<!--".
class ForwardFind {
public:
    ForwardFind(QStringView text, QStringView needle) : m_text(text), m_needle(needle) {}

    qsizetype from(qsizetype pos) {
        if (m_none)
            return -1;
        if (m_found >= pos)
            return m_found;
        m_found = m_text.indexOf(m_needle, pos);
        m_none = m_found < 0;
        return m_found;
    }

private:
    QStringView m_text;
    QStringView m_needle;
    qsizetype m_found = -1;
    bool m_none = false;
};

// The index of the ">" that closes a tag opening at `start`, or -1 when the "<" there
// does not open one. `lineBreak` tells whether the tag is a br or hr.
qsizetype tagEnd(QStringView s, qsizetype start, bool& lineBreak, ForwardFind& commentEnd,
                 ForwardFind& declarationEnd) {
    lineBreak = false;
    const qsizetype n = s.size();
    qsizetype i = start + 1;
    if (s.mid(i).startsWith(u"!--")) {
        const qsizetype close = commentEnd.from(i + 3);
        return close < 0 ? -1 : close + 2;
    }
    if (i < n && (s[i] == u'!' || s[i] == u'?')) {
        if (i + 1 >= n || !isAsciiLetter(s[i + 1].unicode()))
            return -1;
        return declarationEnd.from(i);
    }
    if (i < n && s[i] == u'/')
        ++i;
    const qsizetype nameStart = i;
    if (i >= n || !isAsciiLetter(s[i].unicode()))
        return -1;
    while (i < n && isTagNameChar(s[i].unicode()))
        ++i;
    if (i >= n || !(s[i] == u'>' || s[i] == u'/' || isSpace(s[i].unicode())))
        return -1;
    const QStringView name = s.mid(nameStart, i - nameStart);
    // Attribute values may hold ">", so quotes are skipped as a whole.
    char16_t quote = 0;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            lineBreak = name.compare(u"br", Qt::CaseInsensitive) == 0 ||
                        name.compare(u"hr", Qt::CaseInsensitive) == 0;
            return i;
        } else if (c == u'<') {
            return -1;
        }
    }
    return -1;
}

// --- records -------------------------------------------------------------------------

void put16(QByteArray& b, qsizetype at, quint16 v) {
    qToLittleEndian(v, b.data() + at);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    qToLittleEndian(v, b.data() + at);
}

void append8(QByteArray& b, quint8 v) {
    b.append(char(v));
}
void append16(QByteArray& b, quint16 v) {
    char raw[2];
    qToLittleEndian(v, raw);
    b.append(raw, 2);
}
void append32(QByteArray& b, quint32 v) {
    char raw[4];
    qToLittleEndian(v, raw);
    b.append(raw, 4);
}

char* write16(char* p, quint16 v) {
    qToLittleEndian(v, p);
    return p + 2;
}
char* write32(char* p, quint32 v) {
    qToLittleEndian(v, p);
    return p + 4;
}

// Starts a record; returns where it starts, for endRecord().
qsizetype beginRecord(QByteArray& b, quint16 type) {
    const qsizetype at = b.size();
    append16(b, type);
    append16(b, 0);
    return at;
}
void endRecord(QByteArray& b, qsizetype at) {
    put16(b, at + 2, quint16(b.size() - at - 4));
}

constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kCodepage = 0x0042;
constexpr quint16 kWindow1 = 0x003D;
constexpr quint16 kFont = 0x0031;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kStyle = 0x0293;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kExtSst = 0x00FF;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kWindow2 = 0x023E;

constexpr quint32 kMaxRecordData = 8224;
constexpr quint16 kCellXf = 15;
constexpr quint16 kWrappedCellXf = 16;

void appendBof(QByteArray& b, quint16 kind) {
    const qsizetype at = beginRecord(b, kBof);
    append16(b, 0x0600); // BIFF8
    append16(b, kind);
    append16(b, 0x0DBB); // build
    append16(b, 0x07CC); // year
    append32(b, 0);      // file history
    append32(b, 0x06);   // lowest version that can read the file
    endRecord(b, at);
}

// Short string of a name record: 8-bit length, then uncompressed-flag 0 and Latin-1.
void appendShortName(QByteArray& b, const char* latin1) {
    const auto n = quint8(qstrlen(latin1));
    append8(b, n);
    append8(b, 0);
    b.append(latin1, n);
}

// The workbook records in front of the shared strings; returns the offset of the
// sheet position field in the sheet's BOUNDSHEET record.
qsizetype appendWorkbookHead(QByteArray& b) {
    appendBof(b, 0x0005);

    qsizetype at = beginRecord(b, kCodepage);
    append16(b, 1200); // UTF-16
    endRecord(b, at);

    at = beginRecord(b, kWindow1);
    for (quint16 v : {quint16(0x01E0), quint16(0x005A), quint16(0x3FCF), quint16(0x2A4E),
                      quint16(0x0038), quint16(0), quint16(0), quint16(1), quint16(0x0258)})
        append16(b, v);
    endRecord(b, at);

    // Readers expect fonts 0 to 3 (there is no font 4).
    for (int i = 0; i < 4; ++i) {
        at = beginRecord(b, kFont);
        append16(b, 200);    // 10 points
        append16(b, 0);      // plain
        append16(b, 0x7FFF); // automatic colour
        append16(b, 400);    // normal weight
        append16(b, 0);
        append8(b, 0);
        append8(b, 0);
        append8(b, 0);
        append8(b, 0);
        appendShortName(b, "Arial");
        endRecord(b, at);
    }

    // Fifteen style formats, then the plain cell format and one that wraps text so
    // line breaks in a cell show.
    for (int i = 0; i < 17; ++i) {
        const bool style = i < 15;
        at = beginRecord(b, kXf);
        append16(b, 0); // font
        append16(b, 0); // number format "General"
        append16(b, style ? 0xFFF5 : 0x0001);
        append8(b, i == kWrappedCellXf ? 0x28 : 0x20); // bottom aligned, wrapped
        append8(b, 0);
        append8(b, 0);
        append8(b, (style && i > 0) ? 0xF4 : (i == kWrappedCellXf ? 0x10 : 0x00));
        append32(b, 0);
        append32(b, 0);
        append16(b, 0x20C0);
        endRecord(b, at);
    }

    at = beginRecord(b, kStyle);
    append16(b, 0x8000); // built-in style on format 0
    append8(b, 0);       // "Normal"
    append8(b, 0xFF);
    endRecord(b, at);

    at = beginRecord(b, kBoundSheet);
    const qsizetype position = b.size();
    append32(b, 0); // filled in once the sheet's offset is known
    append16(b, 0); // visible worksheet
    appendShortName(b, "Sheet1");
    endRecord(b, at);
    return position;
}

// The text a grid value becomes in its cell.
QString cellText(const IGridSource& grid, int row, int index) {
    return WorksheetCellText(grid.cell(row, index));
}

// The shared string table, built into the workbook records as strings arrive. Records
// hold at most 8224 bytes of data; a string that does not fit goes on in a CONTINUE
// record, whose first byte repeats the string's character width. A string's header
// and its first character are never parted, nor are a character's bytes or the two
// halves of a surrogate pair.
//
// Repeated texts are stored once. The lookup keeps no copy of the texts: a slot holds
// the string's number, and the string's hash and the grid cell it came from are kept
// per string, so a candidate is compared against that cell's text, read again.
class SharedStrings {
public:
    SharedStrings(QByteArray& out, const IGridSource& grid) : m_out(out), m_grid(grid) {
        m_recordStart = beginRecord(m_out, kSst);
        append32(m_out, 0); // total references, filled in by finish()
        append32(m_out, 0); // distinct strings
        m_recordLength = 8;
    }

    // The number of `s`, the text of the cell `index` of `row`.
    quint32 add(const QString& s, int row, int index) {
        const auto hash = quint32(qHash(s));
        if ((m_origins.size() + 1) * 2 > m_slots.size())
            grow();
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const quint64 slot = m_slots[i];
            if (slot == kFreeSlot) {
                const auto number = quint32(m_origins.size());
                m_slots[i] = quint64(hash) << 32 | number;
                m_origins.push_back(quint32(row) << 8 | quint32(index));
                append(s, number);
                return number;
            }
            if (quint32(slot >> 32) == hash) {
                const auto candidate = quint32(slot);
                const quint32 origin = m_origins[candidate];
                if (cellText(m_grid, int(origin >> 8), int(origin & 0xFF)) == s)
                    return candidate;
            }
        }
    }

    quint64 size() const { return quint64(m_out.size()); }

    void finish(quint32 references) {
        endRecord(m_out, m_recordStart);
        const auto distinct = quint32(m_origins.size());
        put32(m_out, m_sstHeader + 4, references);
        put32(m_out, m_sstHeader + 8, distinct);
        writeIndex(distinct);
        // The lookup is not needed any more; give its memory back before the sheet.
        m_slots = {};
        m_origins = {};
    }

private:
    static constexpr quint64 kFreeSlot = ~quint64(0);

    void grow() {
        std::vector<quint64> table(std::max<size_t>(1024, m_slots.size() * 2), kFreeSlot);
        const size_t mask = table.size() - 1;
        for (const quint64 slot : m_slots) {
            if (slot == kFreeSlot)
                continue;
            size_t i = size_t(slot >> 32) & mask;
            while (table[i] != kFreeSlot)
                i = (i + 1) & mask;
            table[i] = slot;
        }
        m_slots = std::move(table);
    }

    quint32 room() const { return kMaxRecordData - m_recordLength; }

    void continueRecord() {
        endRecord(m_out, m_recordStart);
        m_recordStart = beginRecord(m_out, kContinue);
        m_recordLength = 0;
    }

    void append(const QString& s, quint32 index) {
        const char16_t* chars = QStringView(s).utf16();
        const quint32 count = quint32(s.size());
        const bool wide = std::any_of(chars, chars + count, [](char16_t c) { return c > 0xFF; });
        const quint32 width = wide ? 2 : 1;
        // Room for the header and a first character, which may be a surrogate pair.
        if (room() < 3 + 2 * width)
            continueRecord();
        // Every eighth string is a candidate for the lookup index in EXTSST.
        if (index % 8 == 0)
            m_marks.push_back({quint32(m_out.size()), quint16(4 + m_recordLength)});
        append16(m_out, quint16(count));
        append8(m_out, wide ? 1 : 0);
        m_recordLength += 3;

        quint32 done = 0;
        for (;;) {
            quint32 part = std::min(count - done, room() / width);
            // Readers decode each record on its own, so a surrogate pair stays together.
            if (wide && part > 0 && done + part < count &&
                QChar::isHighSurrogate(chars[done + part - 1]))
                --part;
            const qsizetype at = m_out.size();
            m_out.resize(at + qsizetype(part * width));
            char* p = m_out.data() + at;
            if (wide) {
                for (quint32 i = 0; i < part; ++i)
                    p = write16(p, chars[done + i]);
            } else {
                for (quint32 i = 0; i < part; ++i)
                    *p++ = char(chars[done + i]);
            }
            m_recordLength += part * width;
            done += part;
            if (done == count)
                break;
            continueRecord();
            append8(m_out, wide ? 1 : 0);
            m_recordLength = 1;
        }
    }

    // EXTSST: where every dsst-th string starts, so a reader can seek into the table.
    void writeIndex(quint32 distinct) {
        const quint32 k = std::max<quint32>(1, (distinct + 1023) / 1024);
        const quint32 perBucket = std::min<quint32>(8 * k, 65528);
        const quint32 buckets = (distinct + perBucket - 1) / perBucket;
        const qsizetype at = beginRecord(m_out, kExtSst);
        append16(m_out, quint16(perBucket));
        for (quint32 j = 0; j < buckets; ++j) {
            const auto& mark = m_marks[size_t(j) * (perBucket / 8)];
            append32(m_out, mark.first);
            append16(m_out, mark.second);
            append16(m_out, 0);
        }
        endRecord(m_out, at);
        m_marks = {};
    }

    QByteArray& m_out;
    const qsizetype m_sstHeader = m_out.size();
    qsizetype m_recordStart = 0;
    quint32 m_recordLength = 0;
    const IGridSource& m_grid;
    std::vector<quint64> m_slots;   // hash << 32 | string number, open addressing
    std::vector<quint32> m_origins; // row << 8 | cell index
    std::vector<std::pair<quint32, quint16>> m_marks;
};

constexpr quint32 kNoCell = 0xFFFFFFFF;
constexpr quint32 kWrapFlag = 0x80000000;

ExportStatus tooLarge() {
    return ExportStatus::failure(ExportError::TooLarge,
                                 QStringLiteral("The workbook would exceed the format's size"));
}

ExportStatus writeWorkbook(const IGridSource& grid, QIODevice* device) {
    const int rows = std::max(0, grid.rowCount());
    if (rows > kXlsMaxRows)
        return ExportStatus::failure(
            ExportError::TooManyRows,
            QStringLiteral("%1 rows; a worksheet holds %2").arg(rows).arg(kXlsMaxRows));

    // The row widths first: a row too wide fails before any work, and the cell list
    // gets its exact size.
    std::vector<quint16> widths(size_t(rows), 0);
    size_t total = 0;
    for (int r = 0; r < rows; ++r) {
        const int count = std::max(0, grid.cellCount(r));
        if (count > kXlsMaxColumns)
            return ExportStatus::failure(ExportError::TooManyColumns,
                                         QStringLiteral("Row %1 has %2 cells; a worksheet "
                                                        "holds %3 columns")
                                             .arg(r + 1)
                                             .arg(count)
                                             .arg(kXlsMaxColumns));
        widths[size_t(r)] = quint16(count);
        total += size_t(count);
    }

    // Then the shared strings, remembering each cell's string, so nothing is written
    // before all is known.
    QByteArray globals;
    const qsizetype sheetPositionField = appendWorkbookHead(globals);
    SharedStrings strings(globals, grid);
    std::vector<quint32> cells;
    cells.reserve(total);
    quint32 references = 0;
    int firstRow = -1, lastRow = -1, firstColumn = kXlsMaxColumns, lastColumn = -1;
    for (int r = 0; r < rows; ++r) {
        const int count = widths[size_t(r)];
        for (int i = 0; i < count; ++i) {
            const QString text = cellText(grid, r, i);
            if (text.size() > kXlsMaxCellLength)
                return ExportStatus::failure(ExportError::CellTooLong,
                                             QStringLiteral("Row %1, cell %2 holds %3 characters; "
                                                            "a worksheet cell holds %4")
                                                 .arg(r + 1)
                                                 .arg(i + 1)
                                                 .arg(text.size())
                                                 .arg(kXlsMaxCellLength));
            if (text.isEmpty()) {
                cells.push_back(kNoCell);
                continue;
            }
            quint32 entry = strings.add(text, r, i);
            if (text.contains(u'\n'))
                entry |= kWrapFlag;
            cells.push_back(entry);
            ++references;
            if (firstRow < 0)
                firstRow = r;
            lastRow = r;
            firstColumn = std::min(firstColumn, i);
            lastColumn = std::max(lastColumn, i);
            if (strings.size() > CompoundFileLayout::maximumStreamSize)
                return tooLarge();
        }
    }
    strings.finish(references);
    qsizetype at = beginRecord(globals, kEof);
    endRecord(globals, at);

    const quint64 sheetSize = 20 + 18 + 14 * quint64(references) + 22 + 4;
    const quint64 contentSize = quint64(globals.size()) + sheetSize;
    if (contentSize > CompoundFileLayout::maximumStreamSize)
        return tooLarge();
    put32(globals, sheetPositionField, quint32(globals.size()));
    const quint64 streamSize =
        std::max<quint64>(contentSize, CompoundFileLayout::minimumStreamSize);
    const CompoundFileLayout layout(streamSize);

    ByteSink sink(device);
    const QByteArray prefix = layout.prefix(QStringLiteral("Workbook"));
    sink.append(prefix.constData(), size_t(prefix.size()));
    sink.append(globals.constData(), size_t(globals.size()));
    globals = {};

    QByteArray sheet;
    appendBof(sheet, 0x0010);
    at = beginRecord(sheet, kDimensions);
    const bool any = references > 0;
    append32(sheet, any ? quint32(firstRow) : 0);
    append32(sheet, any ? quint32(lastRow + 1) : 0);
    append16(sheet, any ? quint16(firstColumn) : 0);
    append16(sheet, any ? quint16(lastColumn + 1) : 0);
    append16(sheet, 0);
    endRecord(sheet, at);
    sink.append(sheet.constData(), size_t(sheet.size()));

    // Second pass: the cells, from what the first one remembered.
    size_t next = 0;
    for (int r = 0; r < rows && !sink.failed(); ++r) {
        for (quint16 i = 0; i < widths[size_t(r)]; ++i) {
            const quint32 entry = cells[next++];
            if (entry == kNoCell)
                continue;
            char* p = sink.reserve(14);
            p = write16(p, kLabelSst);
            p = write16(p, 10);
            p = write16(p, quint16(r));
            p = write16(p, i);
            p = write16(p, (entry & kWrapFlag) ? kWrappedCellXf : kCellXf);
            p = write32(p, entry & ~kWrapFlag);
            sink.commit(p);
        }
    }

    sheet.clear();
    at = beginRecord(sheet, kWindow2);
    append16(sheet, 0x06B6); // grid lines, headers, zeros shown; first sheet selected
    append16(sheet, 0);
    append16(sheet, 0);
    append16(sheet, 0x0040);
    append16(sheet, 0);
    append16(sheet, 0);
    append16(sheet, 0);
    append32(sheet, 0);
    endRecord(sheet, at);
    at = beginRecord(sheet, kEof);
    endRecord(sheet, at);
    sink.append(sheet.constData(), size_t(sheet.size()));

    sink.appendZeros(streamSize - contentSize + layout.trailingPadding());
    if (!sink.flush())
        return ExportStatus::failure(ExportError::WriteFailed, sink.errorString());
    return ExportStatus::success();
}

} // namespace

QString StripMarkup(const QString& text) {
    qsizetype first = text.indexOf(u'<');
    if (first < 0)
        return text;
    QString result;
    result.reserve(text.size());
    result.append(QStringView(text).left(first));
    const QStringView s(text);
    ForwardFind commentEnd(s, u"-->");
    ForwardFind declarationEnd(s, u">");
    for (qsizetype i = first; i < s.size(); ++i) {
        if (s[i] == u'<') {
            bool lineBreak = false;
            const qsizetype end = tagEnd(s, i, lineBreak, commentEnd, declarationEnd);
            if (end >= 0) {
                if (lineBreak)
                    result.append(u'\n');
                i = end;
                continue;
            }
        }
        result.append(s[i]);
    }
    return result;
}

QString WorksheetCellText(const QString& value) {
    return platform::PairedSurrogates(StripMarkup(value));
}

ExportStatus SaveToXLS(const IGridSource& grid, QIODevice* device) {
    if (!device || !device->isWritable())
        return ExportStatus::failure(ExportError::OpenFailed,
                                     QStringLiteral("The device is not open for writing"));
    try {
        return writeWorkbook(grid, device);
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
}

ExportStatus SaveToXLS(const IGridSource& grid, const QString& fileName) {
    return detail::saveReplacing(fileName, false,
                                 [&](QIODevice* device) { return SaveToXLS(grid, device); });
}

} // namespace exporter
