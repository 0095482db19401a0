#include "readers/XlsxReader.h"

#include <QStringDecoder>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace fuzzread {

namespace {

std::uint32_t get16(const QByteArray& b, qsizetype at) {
    return std::uint8_t(b[at]) | std::uint32_t(std::uint8_t(b[at + 1])) << 8;
}

std::uint32_t get32(const QByteArray& b, qsizetype at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

// The named part's bytes, inflated.
std::optional<QByteArray> part(const QByteArray& zip, const QByteArray& name, QString& error) {
    qsizetype end = -1;
    for (qsizetype at = zip.size() - 22; at >= 0 && at >= zip.size() - 22 - 65535; --at) {
        if (get32(zip, at) == 0x06054b50) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        error = QStringLiteral("no end of the zip directory");
        return std::nullopt;
    }
    const std::uint32_t entries = get16(zip, end + 10);
    qsizetype at = get32(zip, end + 16);
    for (std::uint32_t e = 0; e < entries; ++e) {
        if (at + 46 > zip.size() || get32(zip, at) != 0x02014b50) {
            error = QStringLiteral("a damaged zip directory");
            return std::nullopt;
        }
        const std::uint32_t method = get16(zip, at + 10);
        const std::uint32_t packed = get32(zip, at + 20);
        const std::uint32_t size = get32(zip, at + 24);
        const std::uint32_t nameLength = get16(zip, at + 28);
        const std::uint32_t extra = get16(zip, at + 30);
        const std::uint32_t comment = get16(zip, at + 32);
        const qsizetype local = get32(zip, at + 42);
        if (zip.mid(at + 46, nameLength) == name) {
            if (local + 30 > zip.size() || get32(zip, local) != 0x04034b50) {
                error = QStringLiteral("a damaged local header");
                return std::nullopt;
            }
            const qsizetype data = local + 30 + get16(zip, local + 26) + get16(zip, local + 28);
            if (data + qsizetype(packed) > zip.size()) {
                error = QStringLiteral("a part runs past the file");
                return std::nullopt;
            }
            if (method == 0)
                return zip.mid(data, packed);
            QByteArray out(qsizetype(size), Qt::Uninitialized);
            z_stream z{};
            if (method != 8 || inflateInit2(&z, -MAX_WBITS) != Z_OK) {
                error = QStringLiteral("an unknown compression");
                return std::nullopt;
            }
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.constData() + data));
            z.avail_in = packed;
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = size;
            const int r = inflate(&z, Z_FINISH);
            const uLong total = z.total_out;
            inflateEnd(&z);
            if (r != Z_STREAM_END || total != size) {
                error = QStringLiteral("a part does not inflate to its size");
                return std::nullopt;
            }
            return out;
        }
        at += 46 + nameLength + extra + comment;
    }
    error = QStringLiteral("no part ") + QString::fromUtf8(name);
    return std::nullopt;
}

bool named(const xmlNode* n, const char* name) {
    return n->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

QString attribute(const xmlNode* n, const char* name) {
    xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
    const QString s = v ? QString::fromUtf8(reinterpret_cast<const char*>(v)) : QString();
    xmlFree(v);
    return s;
}

QString textOf(const xmlNode* n) {
    xmlChar* v = xmlNodeGetContent(n);
    // A leading U+FEFF is cell text here; QString::fromUtf8 would drop it.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString s = utf8(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return s;
}

bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "_xHHHH_" stands for the UTF-16 unit HHHH, as spreadsheet programs read it.
QString unescape(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_' &&
            isHex(s[i + 2]) && isHex(s[i + 3]) && isHex(s[i + 4]) && isHex(s[i + 5])) {
            out += QChar(char16_t(s.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += s[i];
        }
    }
    return out;
}

// "BC12" as (11, 54).
std::optional<std::pair<int, int>> cellAt(const QString& ref) {
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z'; ++i)
        column = column * 26 + (ref[i].unicode() - u'A' + 1);
    bool ok = false;
    const int row = ref.mid(i).toInt(&ok);
    if (i == 0 || !ok || row < 1)
        return std::nullopt;
    return std::pair{row - 1, column - 1};
}

// The text of a string item (<si> or <is>): its <t> or the runs' <t>s.
QString itemText(const xmlNode* item) {
    QString s;
    for (const xmlNode* c = item->children; c; c = c->next) {
        if (named(c, "t"))
            s += textOf(c);
        else if (named(c, "r"))
            for (const xmlNode* t = c->children; t; t = t->next)
                if (named(t, "t"))
                    s += textOf(t);
    }
    return unescape(s);
}

using Doc = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

Doc parse(const QByteArray& xml) {
    return Doc(
        xmlReadMemory(xml.constData(), int(xml.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
        xmlFreeDoc);
}

} // namespace

std::optional<XlsxCells> ReadXlsx(const QByteArray& file, QString& error) {
    std::vector<QString> shared;
    if (file.contains("xl/sharedStrings.xml")) {
        const auto xml = part(file, "xl/sharedStrings.xml", error);
        if (!xml)
            return std::nullopt;
        const Doc doc = parse(*xml);
        if (!doc) {
            error = QStringLiteral("the shared strings are not XML");
            return std::nullopt;
        }
        for (const xmlNode* si = xmlDocGetRootElement(doc.get())->children; si; si = si->next)
            if (named(si, "si"))
                shared.push_back(itemText(si));
    }
    const auto xml = part(file, "xl/worksheets/sheet1.xml", error);
    if (!xml)
        return std::nullopt;
    const Doc doc = parse(*xml);
    if (!doc) {
        error = QStringLiteral("the worksheet is not XML");
        return std::nullopt;
    }
    XlsxCells cells;
    for (const xmlNode* data = xmlDocGetRootElement(doc.get())->children; data; data = data->next) {
        if (!named(data, "sheetData"))
            continue;
        for (const xmlNode* row = data->children; row; row = row->next) {
            if (!named(row, "row"))
                continue;
            for (const xmlNode* c = row->children; c; c = c->next) {
                if (!named(c, "c"))
                    continue;
                const auto at = cellAt(attribute(c, "r"));
                if (!at) {
                    error = QStringLiteral("a cell without a valid reference");
                    return std::nullopt;
                }
                const QString type = attribute(c, "t");
                QString text;
                for (const xmlNode* v = c->children; v; v = v->next) {
                    if (type == u"inlineStr" && named(v, "is")) {
                        text = itemText(v);
                    } else if (type == u"s" && named(v, "v")) {
                        bool ok = false;
                        const qsizetype i = textOf(v).toLongLong(&ok);
                        if (!ok || i < 0 || i >= qsizetype(shared.size())) {
                            error = QStringLiteral("a shared string out of range");
                            return std::nullopt;
                        }
                        text = shared[std::size_t(i)];
                    } else if (named(v, "v") || named(v, "is")) {
                        text = textOf(v);
                    }
                }
                if (!cells.emplace(*at, text).second) {
                    error = QStringLiteral("a cell written twice");
                    return std::nullopt;
                }
            }
        }
    }
    return cells;
}

} // namespace fuzzread
