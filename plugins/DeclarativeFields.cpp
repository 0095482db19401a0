#include "DeclarativeFields.h"

#include <QRegularExpression>
#include <QUrl>

#include <phonenumbers/phonenumberutil.h>

#include <string>

namespace declarative {

QString CollapseBlanks(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f') {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += u' ';
        blank = false;
        out += c;
    }
    return out;
}

QString RecordField(const QString& value) {
    if (value.isEmpty())
        return QString::fromUtf16(kNoValue);
    QString out = value;
    for (QChar& c : out)
        if (c == u'\r' || c == u'\n' || c == u'\u00A4')
            c = u' ';
    return out;
}

namespace {

bool hasScheme(const QString& s) {
    const qsizetype colon = s.indexOf(u':');
    if (colon <= 0)
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = s[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!(letter || (i > 0 && other)))
            return false;
    }
    return true;
}

} // namespace

QString ResolveAddress(const QString& base, const QString& href) {
    const QString h = href.trimmed();
    if (h.isEmpty() || hasScheme(h))
        return h;
    const QUrl b(base);
    if (!b.isValid() || b.isRelative())
        return h;
    return b.resolved(QUrl(h)).toString(QUrl::FullyEncoded);
}

QString CleanPhone(const QString& text, const QString& region) {
    using i18n::phonenumbers::PhoneNumber;
    using i18n::phonenumbers::PhoneNumberUtil;
    const QString collapsed = CollapseBlanks(text);
    if (collapsed.isEmpty() || collapsed.size() > 100)
        return collapsed;
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    const std::string regionCode = region.isEmpty() ? std::string("ZZ") : region.toStdString();
    if (util->Parse(collapsed.toStdString(), regionCode, &number) !=
        PhoneNumberUtil::NO_PARSING_ERROR)
        return collapsed;
    std::string formatted;
    util->Format(number, PhoneNumberUtil::INTERNATIONAL, &formatted);
    return QString::fromStdString(formatted);
}

QString DecodeCfEmail(const QString& hex) {
    const QString h = hex.trimmed();
    if (h.size() < 4 || h.size() % 2 != 0 || h.size() > 1024)
        return {};
    QByteArray bytes;
    for (qsizetype i = 0; i < h.size(); i += 2) {
        bool ok = false;
        const int v = h.mid(i, 2).toInt(&ok, 16);
        if (!ok)
            return {};
        bytes.append(static_cast<char>(v));
    }
    const char key = bytes[0];
    QByteArray plain;
    for (qsizetype i = 1; i < bytes.size(); ++i)
        plain.append(static_cast<char>(bytes[i] ^ key));
    const QString address = QString::fromUtf8(plain);
    return address.contains(u'@') ? address : QString();
}

namespace {

constexpr int kPercentRounds = 4;

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%HH" as the byte HH; a "%" not followed by two hex digits stays as written. (QUrl's
// decoding makes a byte of any two characters: "sales%team" came out as "salesNam".)
QString percentDecoded(const QString& text) {
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const int high = in[i] == '%' && i + 2 < in.size() ? hexDigit(in[i + 1]) : -1;
        const int low = high >= 0 ? hexDigit(in[i + 2]) : -1;
        if (low >= 0) {
            out += char(high * 16 + low);
            i += 2;
        } else {
            out += in[i];
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

QString CleanEmail(const QString& text) {
    static const QRegularExpression protectedLink(
        QStringLiteral("/cdn-cgi/l/email-protection#([0-9A-Fa-f]+)"));
    if (const auto m = protectedLink.match(text); m.hasMatch())
        if (QString decoded = DecodeCfEmail(m.captured(1)); !decoded.isEmpty())
            return decoded;

    // Addresses in links are percent-encoded, by some sites twice over. Decoding until
    // nothing changes makes a cleaned address clean: cleaning it again keeps it.
    QString s = text;
    for (int round = 0; round < kPercentRounds && s.contains(u'%'); ++round) {
        QString decoded = percentDecoded(s);
        if (decoded == s)
            break;
        s = std::move(decoded);
    }
    // "[at]", "(at)", "{at}", "<at>" and the same with "dot", blanks around them allowed;
    // also " at " and " dot " between words when the text has no "@" of its own.
    static const QRegularExpression at(
        QStringLiteral("\\s*[\\[\\(\\{<]\\s*(?:at|@)\\s*[\\]\\)\\}>]\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dot(
        QStringLiteral("\\s*[\\[\\(\\{<]\\s*(?:dot|\\.)\\s*[\\]\\)\\}>]\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    s.replace(at, QStringLiteral("@"));
    s.replace(dot, QStringLiteral("."));
    if (!s.contains(u'@')) {
        static const QRegularExpression wordAt(QStringLiteral("\\s+at\\s+"),
                                               QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression wordDot(QStringLiteral("\\s+dot\\s+"),
                                                QRegularExpression::CaseInsensitiveOption);
        s.replace(wordAt, QStringLiteral("@"));
        s.replace(wordDot, QStringLiteral("."));
    }
    static const QRegularExpression address(
        QStringLiteral("[A-Za-z0-9!#$%&'*+/=?^_`{|}~.-]+@[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*\\.[A-Za-z]{2,}"));
    const auto m = address.match(s);
    if (!m.hasMatch())
        return {};
    // Still encoded after every round: no address anyone wrote, and no guess at one.
    static const QRegularExpression escape(QStringLiteral("%[0-9A-Fa-f]{2}"));
    if (m.captured(0).contains(escape))
        return {};
    return m.captured(0);
}

} // namespace declarative
