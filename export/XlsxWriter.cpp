#include "export/XlsxWriter.h"

#include "export/XlsWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>
#include <zlib.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace exporter {

namespace {

constexpr double kSourceWidth = 40;   // character units: most addresses show whole
constexpr double kCapturedWidth = 21; // "2026-03-01T09:00:05Z"

// The worksheet part and how a cell starts in it, as the library writes them.
constexpr char kSheetPart[] = "xl/worksheets/sheet1.xml";
constexpr char kCellStart[] = "<c r=\"";
constexpr char kSheetEnd[] = "</worksheet>";

bool isHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The cell text as the file stores it, in UTF-8 into `out`. Spreadsheets read "_xHHHH_"
// in a cell as the character HHHH (the library writes control characters that way), so
// such text of our own gets its underscore escaped, and the two non-characters XML
// cannot carry, and NUL, are written that way too. An unpaired surrogate becomes U+FFFD.
void storeText(QStringView text, std::string& out) {
    out.clear();
    const char16_t* s = text.utf16();
    const char16_t* end = s + text.size();
    while (s < end) {
        const char32_t c = *s++;
        if (c == 0) {
            // The library takes C strings: a NUL as it stands would end the cell there.
            out += "_x0000_";
        } else if (c < 0x80) {
            if (c == u'_' && end - s >= 6 && s[0] == u'x' && isHex(s[1]) && isHex(s[2]) &&
                isHex(s[3]) && isHex(s[4]) && s[5] == u'_')
                out += "_x005F";
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && s < end && QChar::isLowSurrogate(*s)) {
            const char32_t u = QChar::surrogateToUcs4(char16_t(c), *s++);
            out += char(0xF0 | (u >> 18));
            out += char(0x80 | ((u >> 12) & 0x3F));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        } else if (c == 0xFFFE || c == 0xFFFF) {
            out += c == 0xFFFE ? "_xFFFE_" : "_xFFFF_";
        } else {
            const char32_t u = QChar::isSurrogate(c) ? char32_t(QChar::ReplacementCharacter) : c;
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
}

QString libraryError(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

// ---- Reading the finished file back --------------------------------------------------
//
// The library does not notice every failed write (a full disc leaves a short file and
// still reports success), so the finished file is checked before it replaces anything:
// the zip directory must match the entries, every entry must inflate to its size and
// checksum, and the worksheet must end as a worksheet does and hold every cell written.

quint16 get16(const unsigned char* p) {
    return quint16(p[0] | (p[1] << 8));
}
quint32 get32(const unsigned char* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

class ZipCheck {
public:
    explicit ZipCheck(QFile& file) : m_file(file) {}

    // Empty when the file is whole, else what is wrong.
    QString run(qint64 expectedCells) {
        const qint64 size = m_file.size();
        constexpr qint64 kEndRecord = 22;
        if (size < kEndRecord)
            return QStringLiteral("the file is too short");
        // The library writes no archive comment, so the end record closes the file.
        unsigned char end[kEndRecord];
        if (!readAt(size - kEndRecord, end, kEndRecord) || get32(end) != 0x06054b50)
            return QStringLiteral("the zip end record is missing");
        const quint16 entries = get16(end + 10);
        const quint32 directorySize = get32(end + 12);
        const quint32 directoryOffset = get32(end + 16);
        if (quint64(directoryOffset) + directorySize != quint64(size - kEndRecord))
            return QStringLiteral("the zip directory is not where the end record says");
        std::vector<unsigned char> directory(directorySize);
        if (!readAt(directoryOffset, directory.data(), directorySize))
            return QStringLiteral("the zip directory cannot be read");

        bool sheetSeen = false;
        std::size_t at = 0;
        for (quint16 e = 0; e < entries; ++e) {
            if (at + 46 > directory.size() || get32(&directory[at]) != 0x02014b50)
                return QStringLiteral("zip directory entry %1 is damaged").arg(e);
            const unsigned char* d = &directory[at];
            Entry entry;
            entry.method = get16(d + 10);
            entry.crc = get32(d + 16);
            entry.packedSize = get32(d + 20);
            entry.size = get32(d + 24);
            const quint16 nameLength = get16(d + 28);
            const quint16 extraLength = get16(d + 30);
            const quint16 commentLength = get16(d + 32);
            entry.localOffset = get32(d + 42);
            if (at + 46 + nameLength > directory.size())
                return QStringLiteral("zip directory entry %1 is damaged").arg(e);
            entry.name = QByteArray(reinterpret_cast<const char*>(d + 46), nameLength);
            at += 46u + nameLength + extraLength + commentLength;

            const bool sheet = entry.name == kSheetPart;
            sheetSeen = sheetSeen || sheet;
            if (const QString problem = checkEntry(entry, directoryOffset, sheet);
                !problem.isEmpty())
                return QString::fromUtf8(entry.name) + QStringLiteral(": ") + problem;
        }
        if (!sheetSeen)
            return QStringLiteral("the worksheet is missing");
        if (m_cells != expectedCells)
            return QStringLiteral("the worksheet holds %1 cells of %2")
                .arg(m_cells)
                .arg(expectedCells);
        return {};
    }

private:
    struct Entry {
        QByteArray name;
        quint16 method = 0;
        quint32 crc = 0;
        quint32 packedSize = 0;
        quint32 size = 0;
        quint32 localOffset = 0;
    };

    bool readAt(qint64 offset, void* data, qint64 count) {
        return m_file.seek(offset) && m_file.read(static_cast<char*>(data), count) == count;
    }

    QString checkEntry(const Entry& entry, quint32 directoryOffset, bool sheet) {
        unsigned char local[30];
        if (!readAt(entry.localOffset, local, 30) || get32(local) != 0x04034b50)
            return QStringLiteral("the local header is missing");
        const quint64 dataStart =
            quint64(entry.localOffset) + 30 + get16(local + 26) + get16(local + 28);
        if (dataStart + entry.packedSize > directoryOffset)
            return QStringLiteral("the data runs into the zip directory");
        if (entry.method != 0 && entry.method != 8)
            return QStringLiteral("unknown compression %1").arg(entry.method);
        if (!m_file.seek(qint64(dataStart)))
            return m_file.errorString();

        z_stream z{};
        if (entry.method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK)
            return QStringLiteral("cannot inflate");
        const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(entry.method == 8 ? &z : nullptr,
                                                                  inflateEnd);

        uLong crc = crc32(0, nullptr, 0);
        quint64 size = 0;
        quint64 packedLeft = entry.packedSize;
        const auto take = [&](const unsigned char* data, std::size_t count) {
            crc = crc32(crc, data, uInt(count));
            size += count;
            if (sheet)
                scan(reinterpret_cast<const char*>(data), count);
        };
        const auto readIn = [&]() -> qint64 {
            const qint64 want = qint64(std::min<quint64>(packedLeft, m_in.size()));
            if (m_file.read(reinterpret_cast<char*>(m_in.data()), want) != want)
                return -1;
            packedLeft -= quint64(want);
            return want;
        };
        if (entry.method == 0) {
            while (packedLeft > 0) {
                const qint64 got = readIn();
                if (got < 0)
                    return QStringLiteral("the data cannot be read");
                take(m_in.data(), std::size_t(got));
            }
        } else {
            for (;;) {
                if (z.avail_in == 0 && packedLeft > 0) {
                    const qint64 got = readIn();
                    if (got < 0)
                        return QStringLiteral("the data cannot be read");
                    z.next_in = m_in.data();
                    z.avail_in = uInt(got);
                }
                z.next_out = m_out.data();
                z.avail_out = uInt(m_out.size());
                const int r = inflate(&z, Z_NO_FLUSH);
                take(m_out.data(), m_out.size() - z.avail_out);
                if (r == Z_STREAM_END)
                    break;
                if (r == Z_BUF_ERROR && z.avail_in == 0 && packedLeft == 0)
                    return QStringLiteral("the data ends early");
                if (r != Z_OK && r != Z_BUF_ERROR)
                    return QStringLiteral("the data does not inflate");
            }
        }
        if (size != entry.size || crc != entry.crc)
            return QStringLiteral("size or checksum differs");
        if (sheet && !m_tail.endsWith(kSheetEnd))
            return QStringLiteral("the worksheet ends early");
        return {};
    }

    // Counts the cells of the worksheet and keeps its last bytes. A cell start may be
    // split between pieces; it has no part that repeats its beginning, so a match that
    // breaks off can only start again at a new "<".
    void scan(const char* p, std::size_t n) {
        constexpr std::size_t kLength = sizeof(kCellStart) - 1;
        std::size_t i = 0;
        if (m_partial > 0) {
            while (i < n && m_partial + i < kLength && p[i] == kCellStart[m_partial + i])
                ++i;
            if (m_partial + i == kLength) {
                ++m_cells;
                m_partial = 0;
            } else if (i == n) {
                m_partial += n;
                keepTail(p, n);
                return;
            } else {
                m_partial = 0;
            }
        }
        for (const char* q = p + i;;) {
            q = static_cast<const char*>(memmem(q, std::size_t(p + n - q), kCellStart, kLength));
            if (!q)
                break;
            ++m_cells;
            q += kLength;
        }
        for (std::size_t k = std::min(kLength - 1, n - i); k > 0; --k) {
            if (std::memcmp(p + n - k, kCellStart, k) == 0) {
                m_partial = k;
                break;
            }
        }
        keepTail(p, n);
    }

    void keepTail(const char* p, std::size_t n) {
        constexpr qsizetype kKept = 64;
        if (qsizetype(n) >= kKept) {
            m_tail = QByteArray(p + n - kKept, kKept);
        } else {
            m_tail.append(p, qsizetype(n));
            m_tail = m_tail.right(kKept);
        }
    }

    QFile& m_file;
    std::vector<unsigned char> m_in = std::vector<unsigned char>(1 << 18);
    std::vector<unsigned char> m_out = std::vector<unsigned char>(1 << 18);
    QByteArray m_tail;
    std::size_t m_partial = 0; // bytes of a cell start at the end of the last piece
    qint64 m_cells = 0;
};

// ---- Writing ---------------------------------------------------------------------

struct WorkbookFree {
    void operator()(lxw_workbook* w) const { lxw_workbook_free(w); }
};
using WorkbookPtr = std::unique_ptr<lxw_workbook, WorkbookFree>;

class SheetWriter {
public:
    SheetWriter(lxw_workbook* book, lxw_worksheet* sheet) : m_sheet(sheet) {
        m_bold = workbook_add_format(book);
        format_set_bold(m_bold);
        m_wrapped = workbook_add_format(book);
        format_set_text_wrap(m_wrapped);
    }

    // Writes one cell's text; an empty text leaves the cell empty.
    ExportStatus put(int row, int column, const QString& text, bool header = false) {
        if (text.isEmpty())
            return ExportStatus::success();
        if (text.size() > kXlsxMaxCellLength)
            return ExportStatus::failure(ExportError::CellTooLong,
                                         QStringLiteral("Row %1, cell %2 holds %3 characters; "
                                                        "a worksheet cell holds %4")
                                             .arg(row + 1)
                                             .arg(column + 1)
                                             .arg(text.size())
                                             .arg(kXlsxMaxCellLength));
        lxw_format* format = header ? m_bold : text.contains(u'\n') ? m_wrapped : nullptr;
        storeText(text, m_utf8);
        const lxw_error error = worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(column),
                                                       m_utf8.c_str(), format);
        if (error != LXW_NO_ERROR)
            return ExportStatus::failure(ExportError::WriteFailed, libraryError(error));
        ++m_cells;
        return ExportStatus::success();
    }

    qint64 cells() const { return m_cells; }

private:
    lxw_worksheet* m_sheet;
    lxw_format* m_bold = nullptr;
    lxw_format* m_wrapped = nullptr;
    qint64 m_cells = 0;
    std::string m_utf8; // reused, so a cell costs no allocation
};

void setWidth(lxw_worksheet* sheet, int column, double width, bool hidden) {
    lxw_row_col_options options{};
    options.hidden = hidden ? 1 : 0;
    worksheet_set_column_opt(sheet, lxw_col_t(column), lxw_col_t(column), width, nullptr,
                             hidden ? &options : nullptr);
}

// Fills the worksheet; the caller closes the workbook.
ExportStatus fillSheet(const IGridSource& grid, lxw_workbook* book, lxw_worksheet* sheet, int rows,
                       int leading, bool sourceColumns, qint64& cells) {
    const int columns = grid.columnCount();
    for (int c = 0; c < columns; ++c) {
        const int pixels = grid.columnWidth(c);
        if (pixels >= 0)
            setWidth(sheet, c, pixels == 0 ? LXW_DEF_COL_WIDTH : XlsxColumnWidth(pixels),
                     pixels == 0);
    }
    if (sourceColumns) {
        setWidth(sheet, leading, kSourceWidth, false);
        setWidth(sheet, leading + 1, kCapturedWidth, false);
    }
    worksheet_freeze_panes(sheet, 1, 0);

    SheetWriter out(book, sheet);
    for (int c = 0; c < columns; ++c)
        if (ExportStatus s = out.put(0, c, grid.columnCaption(c), true); !s.ok())
            return s;
    if (sourceColumns) {
        if (ExportStatus s = out.put(0, leading, sourcecolumns::kSourceCaption, true); !s.ok())
            return s;
        if (ExportStatus s = out.put(0, leading + 1, sourcecolumns::kCapturedCaption, true);
            !s.ok())
            return s;
    }
    for (int r = 0; r < rows; ++r) {
        const int count = grid.cellCount(r);
        for (int i = 0; i < count; ++i)
            if (ExportStatus s = out.put(r + 1, i, WorksheetCellText(grid.cell(r, i))); !s.ok())
                return s;
        if (sourceColumns) {
            if (ExportStatus s = out.put(r + 1, leading, grid.rowSource(r)); !s.ok())
                return s;
            if (ExportStatus s =
                    out.put(r + 1, leading + 1, sourcecolumns::capturedText(grid.rowCaptured(r)));
                !s.ok())
                return s;
        }
    }
    cells = out.cells();
    return ExportStatus::success();
}

// Permissions a new file gets from the process's file mode mask, as the other writers'
// files do; a replaced file keeps its own.
void takePermissions(const QString& from, const QString& target) {
    if (QFileInfo::exists(target)) {
        QFile::setPermissions(from, QFile::permissions(target));
        return;
    }
    const mode_t mask = umask(0);
    umask(mask);
    ::chmod(QFile::encodeName(from).constData(), 0666 & ~mask);
}

ExportStatus writeWorkbook(const IGridSource& grid, const QString& fileName, bool sourceColumns) {
    const int rows = std::max(0, grid.rowCount());
    if (rows > kXlsxMaxRows - 1)
        return ExportStatus::failure(
            ExportError::TooManyRows,
            QStringLiteral("%1 rows and the header; a worksheet holds %2 rows")
                .arg(rows)
                .arg(kXlsxMaxRows));
    const int leading = std::max(1, sourcecolumns::leadingColumns(grid));
    const int widest = leading + (sourceColumns ? 2 : 0);
    if (widest > kXlsxMaxColumns)
        return ExportStatus::failure(
            ExportError::TooManyColumns,
            QStringLiteral("%1 columns; a worksheet holds %2").arg(widest).arg(kXlsxMaxColumns));

    // The temporary file beside the target: same folder, so the rename replaces the
    // target in one step.
    QTemporaryFile temporary(fileName + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        return ExportStatus::failure(ExportError::OpenFailed, temporary.errorString());
    temporary.close();
    const QByteArray temporaryName = QFile::encodeName(temporary.fileName());

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go to disc as they are written
    WorkbookPtr book(workbook_new_opt(temporaryName.constData(), &options));
    if (!book)
        return ExportStatus::failure(ExportError::OpenFailed,
                                     QStringLiteral("The workbook cannot be started"));
    lxw_worksheet* sheet = workbook_add_worksheet(book.get(), nullptr);
    if (!sheet)
        return ExportStatus::failure(ExportError::WriteFailed,
                                     QStringLiteral("The worksheet cannot be started"));
    qint64 cells = 0;
    if (ExportStatus s = fillSheet(grid, book.get(), sheet, rows, leading, sourceColumns, cells);
        !s.ok())
        return s;
    const lxw_error closed = workbook_close(book.release());
    if (closed != LXW_NO_ERROR)
        return ExportStatus::failure(closed == LXW_ERROR_CREATING_XLSX_FILE
                                         ? ExportError::OpenFailed
                                         : ExportError::WriteFailed,
                                     libraryError(closed));

    if (const QString problem = detail::XlsxDamage(temporary.fileName(), cells); !problem.isEmpty())
        return ExportStatus::failure(
            ExportError::WriteFailed,
            QStringLiteral("The workbook was not written whole (%1)").arg(problem));

    takePermissions(temporary.fileName(), fileName);
    if (std::rename(temporaryName.constData(), QFile::encodeName(fileName).constData()) != 0)
        return ExportStatus::failure(ExportError::WriteFailed,
                                     QString::fromLocal8Bit(std::strerror(errno)));
    temporary.setAutoRemove(false); // it has become the target
    return ExportStatus::success();
}

} // namespace

double XlsxColumnWidth(int pixels) {
    if (pixels <= 0)
        return 0;
    // The inverse of how the spreadsheet shows a width: narrow columns in twelfths,
    // wider ones as digits plus padding.
    const double width = pixels < 12 ? pixels / 12.0 : (pixels - 5) / 7.0;
    return std::min(width, 255.0);
}

namespace detail {

QString XlsxDamage(const QString& fileName, qint64 expectedCells) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return ZipCheck(file).run(expectedCells);
}

} // namespace detail

ExportStatus SaveToXLSX(const IGridSource& grid, const QString& fileName, bool sourceColumns) {
    try {
        return writeWorkbook(grid, fileName, sourceColumns);
    } catch (const std::exception& e) {
        return ExportStatus::failure(ExportError::SourceFailed, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace exporter
