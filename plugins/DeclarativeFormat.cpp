#include "DeclarativeFormat.h"

#include "browser/CssSelector.h"
#include "browser/HtmlDocument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <initializer_list>

namespace declarative {

namespace {

// Thrown inside the reader only; ParseTemplate turns it into the error value.
struct Refusal {
    QString message;
};

[[noreturn]] void refuse(const QString& path, const QString& reason) {
    throw Refusal{path.isEmpty() ? reason : path + QStringLiteral(": ") + reason};
}

QString join(const QString& path, const QString& key) {
    return path.isEmpty() ? key : path + u'.' + key;
}

const char* typeName(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Null:
        return "null";
    case QJsonValue::Bool:
        return "a boolean";
    case QJsonValue::Double:
        return "a number";
    case QJsonValue::String:
        return "a string";
    case QJsonValue::Array:
        return "an array";
    case QJsonValue::Object:
        return "an object";
    case QJsonValue::Undefined:
        break;
    }
    return "nothing";
}

void onlyKeys(const QJsonObject& o, const QString& path, std::initializer_list<const char*> known) {
    for (auto it = o.begin(); it != o.end(); ++it) {
        bool ok = false;
        for (const char* k : known)
            ok = ok || it.key() == QLatin1String(k);
        if (!ok)
            refuse(join(path, it.key()), QStringLiteral("unknown key"));
    }
}

QString text(const QJsonObject& o, const QString& path, const char* key, bool required,
             qsizetype maxLength = kMaxTextLength) {
    const QJsonValue v = o.value(QLatin1String(key));
    const QString where = join(path, QLatin1String(key));
    if (v.isUndefined()) {
        if (required)
            refuse(where, QStringLiteral("missing"));
        return {};
    }
    if (!v.isString())
        refuse(where, QStringLiteral("must be a string, not %1").arg(QLatin1String(typeName(v))));
    const QString s = v.toString();
    if (s.size() > maxLength)
        refuse(where,
               QStringLiteral("%1 characters long, at most %2").arg(s.size()).arg(maxLength));
    if (required && s.trimmed().isEmpty())
        refuse(where, QStringLiteral("empty"));
    for (QChar c : s)
        if (c == u'\r' || c == u'\n' || c == u'\u00A4' || c == u'\0')
            refuse(where, QStringLiteral("line breaks, NUL and \u00A4 are not allowed"));
    return s;
}

int whole(const QJsonObject& o, const QString& path, const char* key, int low, int high,
          int fallback) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    const QString where = join(path, QLatin1String(key));
    const double d = v.toDouble(-1.0);
    // The range first: casting a huge number to an integer type is undefined.
    if (!v.isDouble() || !(d >= low && d <= high) || d != std::floor(d))
        refuse(where, QStringLiteral("must be a whole number from %1 to %2").arg(low).arg(high));
    return static_cast<int>(d);
}

bool flag(const QJsonObject& o, const QString& path, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return false;
    if (!v.isBool())
        refuse(join(path, QLatin1String(key)), QStringLiteral("must be true or false"));
    return v.toBool();
}

// A selector, checked now so that it cannot fail during a capture.
Query query(const QJsonObject& o, const QString& path, const char* key, bool required) {
    const QString where = join(path, QLatin1String(key));
    const QString s = text(o, path, key, required, kMaxSelectorLength);
    Query q;
    if (s.trimmed().isEmpty())
        return q;
    static const QString prefix = QStringLiteral("xpath:");
    if (s.startsWith(prefix)) {
        q.xpath = true;
        q.text = s.mid(prefix.size()).trimmed();
        const QString error = browser::XPathError(q.text);
        if (!error.isEmpty())
            refuse(where, QStringLiteral("XPath: ") + error);
    } else {
        q.text = s.trimmed();
        const browser::SelectorCompile c = browser::CompileSelectors(q.text);
        if (!c.selectors)
            refuse(where, c.error);
    }
    return q;
}

Column column(const QJsonValue& v, const QString& path) {
    if (!v.isObject())
        refuse(path, QStringLiteral("must be an object, not %1").arg(QLatin1String(typeName(v))));
    const QJsonObject o = v.toObject();
    onlyKeys(o, path,
             {"name", "select", "attribute", "pattern", "clean", "width", "key", "follow"});
    Column c;
    c.name = text(o, path, "name", true).trimmed();
    if (c.name.contains(u'|'))
        refuse(join(path, QStringLiteral("name")), QStringLiteral("'|' is not allowed"));
    c.select = query(o, path, "select", false);
    c.attribute = text(o, path, "attribute", false).trimmed().toLower();
    if (o.contains(QLatin1String("attribute")) && c.attribute.isEmpty())
        refuse(join(path, QStringLiteral("attribute")), QStringLiteral("empty"));
    const QString pattern = text(o, path, "pattern", false, kMaxPatternLength);
    if (o.contains(QLatin1String("pattern"))) {
        QString error;
        c.pattern = Regex::Compile(pattern, &error);
        if (!c.pattern)
            refuse(join(path, QStringLiteral("pattern")), error);
    }
    const QString clean = text(o, path, "clean", false);
    if (clean == QLatin1String("phone"))
        c.clean = Clean::Phone;
    else if (clean == QLatin1String("email"))
        c.clean = Clean::Email;
    else if (!clean.isEmpty() && clean != QLatin1String("text"))
        refuse(join(path, QStringLiteral("clean")),
               QStringLiteral("'%1' is none of \"text\", \"phone\", \"email\"").arg(clean));
    c.width = whole(o, path, "width", 1, kMaxWidth, kDefaultWidth);
    c.key = flag(o, path, "key");
    c.follow = query(o, path, "follow", false);
    if (o.contains(QLatin1String("follow")) && c.follow.empty())
        refuse(join(path, QStringLiteral("follow")), QStringLiteral("empty"));
    return c;
}

Next next(const QJsonValue& v) {
    const QString path = QStringLiteral("next");
    Next n;
    if (v.isUndefined())
        return n;
    if (!v.isObject())
        refuse(path, QStringLiteral("must be an object, not %1").arg(QLatin1String(typeName(v))));
    const QJsonObject o = v.toObject();
    int kinds = 0;
    for (const char* k : {"link", "url", "click", "scroll"})
        kinds += o.contains(QLatin1String(k)) ? 1 : 0;
    if (kinds != 1)
        refuse(path,
               QStringLiteral("needs exactly one of \"link\", \"url\", \"click\", \"scroll\""));
    if (o.contains(QLatin1String("link"))) {
        onlyKeys(o, path, {"link"});
        n.kind = NextKind::Link;
        n.selector = query(o, path, "link", true);
    } else if (o.contains(QLatin1String("url"))) {
        onlyKeys(o, path, {"url", "last"});
        n.kind = NextKind::Url;
        n.url = text(o, path, "url", true).trimmed();
        if (!n.url.contains(QLatin1String("{page}")))
            refuse(join(path, QStringLiteral("url")), QStringLiteral("no {page}"));
        n.last = whole(o, path, "last", 1, kMaxPages, 0);
    } else if (o.contains(QLatin1String("click"))) {
        onlyKeys(o, path, {"click", "max"});
        n.kind = NextKind::Click;
        n.selector = query(o, path, "click", true);
        n.max = whole(o, path, "max", 1, kMaxPages, kDefaultMax);
    } else {
        onlyKeys(o, path, {"scroll", "max"});
        n.kind = NextKind::Scroll;
        if (o.value(QLatin1String("scroll")) != QJsonValue(true))
            refuse(join(path, QStringLiteral("scroll")), QStringLiteral("must be true"));
        n.max = whole(o, path, "max", 1, kMaxPages, kDefaultMax);
    }
    return n;
}

Description description(const QJsonObject& o) {
    onlyKeys(
        o, {},
        {"trawlex", "name", "author", "version", "home", "region", "records", "columns", "next"});
    const QJsonValue format = o.value(QLatin1String("trawlex"));
    if (format.isUndefined())
        refuse(QStringLiteral("trawlex"), QStringLiteral("missing (the format version, 1)"));
    if (format != QJsonValue(1))
        refuse(QStringLiteral("trawlex"),
               QStringLiteral("format version %1 is not known; this program reads version 1")
                   .arg(format.isDouble() ? QString::number(format.toDouble())
                                          : QLatin1String(typeName(format))));
    Description d;
    d.name = text(o, {}, "name", true).trimmed();
    d.author = text(o, {}, "author", false);
    d.version = text(o, {}, "version", false);
    d.home = text(o, {}, "home", false).trimmed();
    d.region = text(o, {}, "region", false).trimmed();
    if (!d.region.isEmpty()) {
        const bool twoLetters = d.region.size() == 2 && d.region[0].isLetter() &&
                                d.region[1].isLetter() && d.region[0].unicode() < 128 &&
                                d.region[1].unicode() < 128;
        if (!twoLetters)
            refuse(
                QStringLiteral("region"),
                QStringLiteral("'%1' is no two-letter country code such as \"US\"").arg(d.region));
        d.region = d.region.toUpper();
    }
    d.records = query(o, {}, "records", true);
    const QJsonValue columns = o.value(QLatin1String("columns"));
    if (columns.isUndefined())
        refuse(QStringLiteral("columns"), QStringLiteral("missing"));
    if (!columns.isArray())
        refuse(QStringLiteral("columns"),
               QStringLiteral("must be an array, not %1").arg(QLatin1String(typeName(columns))));
    const QJsonArray list = columns.toArray();
    if (list.isEmpty())
        refuse(QStringLiteral("columns"), QStringLiteral("empty"));
    if (list.size() > kMaxColumns)
        refuse(QStringLiteral("columns"),
               QStringLiteral("%1 columns, at most %2").arg(list.size()).arg(kMaxColumns));
    for (qsizetype i = 0; i < list.size(); ++i)
        d.columns.push_back(column(list.at(i), QStringLiteral("columns[%1]").arg(i)));
    d.next = next(o.value(QLatin1String("next")));
    return d;
}

// The first byte that is not part of well-formed UTF-8, or -1.
qsizetype invalidUtf8At(const QByteArray& b) {
    qsizetype i = 0;
    const qsizetype n = b.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c < 0x80) {
            if (c == 0)
                return i;
            ++i;
            continue;
        }
        const int len = c >= 0xC2 && c <= 0xDF   ? 2
                        : c >= 0xE0 && c <= 0xEF ? 3
                        : c >= 0xF0 && c <= 0xF4 ? 4
                                                 : 0;
        if (len == 0 || i + len > n)
            return i;
        char32_t cp = c & (0xFF >> (len + 1));
        for (int k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(b[i + k]);
            if ((cc & 0xC0) != 0x80)
                return i;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return i;
        i += len;
    }
    return -1;
}

bool utf16or32(const QByteArray& b) {
    if (b.startsWith("\xFF\xFE") || b.startsWith("\xFE\xFF"))
        return true;
    // Without a byte order mark: "{" or a blank next to NUL bytes.
    return b.size() >= 2 && ((b[0] == 0 && b[1] != 0) || (b[0] != 0 && b[1] == 0)) &&
           (b[0] == '{' || b[1] == '{' || b[0] == ' ' || b[1] == ' ' || b[0] == '\n' ||
            b[1] == '\n');
}

// Line and column (both from 1, the column in characters) of a byte offset.
QString position(const QByteArray& b, qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, b.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i)
        if (b[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    const qsizetype column =
        QString::fromUtf8(b.constData() + lineStart, offset - lineStart).size() + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

} // namespace

bool LooksLikeJson(const QByteArray& head) {
    if (utf16or32(head) || head.startsWith(QByteArray("\0\0\xFE\xFF", 4)) ||
        head.startsWith("\xEF\xBB\xBF"))
        return true;
    for (char c : head) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c == '{' || c == '[' || c == '"';
    }
    return false;
}

ParseResult ParseTemplate(const QByteArray& input) {
    ParseResult r;
    if (input.size() > kMaxFileBytes) {
        r.error = QStringLiteral("the file is %1 bytes long; a template holds at most %2")
                      .arg(input.size())
                      .arg(kMaxFileBytes);
        return r;
    }
    if (utf16or32(input)) {
        r.error = QStringLiteral("the file is UTF-16 or UTF-32 text; save it as UTF-8");
        return r;
    }
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (const qsizetype bad = invalidUtf8At(bytes); bad >= 0) {
        r.error = QStringLiteral("%1: not UTF-8 text (byte 0x%2); a template is a UTF-8 JSON file")
                      .arg(position(bytes, bad))
                      .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QLatin1Char('0'));
        return r;
    }
    if (bytes.trimmed().isEmpty()) {
        r.error = QStringLiteral("the file is empty");
        return r;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        r.error = QStringLiteral("%1: %2").arg(position(bytes, error.offset), error.errorString());
        return r;
    }
    if (!doc.isObject()) {
        r.error = QStringLiteral("the file holds a JSON %1, not an object")
                      .arg(doc.isArray() ? QStringLiteral("array") : QStringLiteral("value"));
        return r;
    }
    try {
        r.description = description(doc.object());
    } catch (const Refusal& refusal) {
        r.error = refusal.message;
    }
    return r;
}

} // namespace declarative
