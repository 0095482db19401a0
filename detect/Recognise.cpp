#include "detect/Detect.h"

#include <phonenumbers/phonenumberutil.h>

#include <QRegularExpression>

namespace detect {

namespace {

bool isPhone(const QString& text) {
    using i18n::phonenumbers::PhoneNumber;
    using i18n::phonenumbers::PhoneNumberUtil;
    // A label before the number is common ("Tel: ...", "Phone ..."); the rest must be
    // nothing but the characters numbers are written with.
    static const QRegularExpression label(
        QStringLiteral("^(tel(ephone)?|phone|ph|fon|t)\\.?\\s*:?\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression shape(QStringLiteral("^\\+?[0-9()\\s./-]{6,24}$"));
    QString t = text.trimmed();
    if (t.size() > 40)
        return false;
    t.remove(label);
    if (!shape.match(t).hasMatch())
        return false;
    int digits = 0;
    for (const QChar c : t)
        digits += c.isDigit() ? 1 : 0;
    if (digits < 7 || digits > 15)
        return false;
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber number;
    // Without a country code the number is tried as a North American one, then as one
    // of the larger European plans; a possible number in any of them counts.
    for (const char* region : {"US", "GB", "DE", "FR"}) {
        if (util->Parse(t.toStdString(), region, &number) == PhoneNumberUtil::NO_PARSING_ERROR &&
            util->IsPossibleNumber(number))
            return true;
        if (t.startsWith(u'+'))
            break;
    }
    return false;
}

} // namespace

QString phoneRegion(const std::vector<QString>& numbers) {
    using i18n::phonenumbers::PhoneNumber;
    using i18n::phonenumbers::PhoneNumberUtil;
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    const char* regions[] = {"US", "GB", "DE", "FR"};
    int valid[4] = {0, 0, 0, 0};
    int national = 0;
    for (const QString& n : numbers) {
        const QString t = n.trimmed();
        if (t.isEmpty() || t.startsWith(u'+') || t.startsWith(QStringLiteral("00")) ||
            t.size() > 40)
            continue;
        ++national;
        for (int r = 0; r < 4; ++r) {
            PhoneNumber number;
            if (util->Parse(t.toStdString(), regions[r], &number) ==
                    PhoneNumberUtil::NO_PARSING_ERROR &&
                util->IsValidNumber(number))
                ++valid[r];
        }
    }
    // One country for most numbers, and no other as likely: a guess either way is worse
    // than numbers left as written.
    int best = 0;
    for (int r = 1; r < 4; ++r)
        if (valid[r] > valid[best])
            best = r;
    int tied = 0;
    for (int r = 0; r < 4; ++r)
        tied += valid[r] == valid[best] ? 1 : 0;
    if (national == 0 || tied > 1 || valid[best] * 10 < national * 6)
        return {};
    return QString::fromLatin1(regions[best]);
}

Kind recognise(const QString& value) {
    const QString t = value.trimmed();
    if (t.isEmpty() || t.size() > 300)
        return Kind::Text;
    static const QRegularExpression email(
        QStringLiteral("^(mailto:)?[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}$"));
    static const QRegularExpression web(
        QStringLiteral("^(https?://|www\\.)[^\\s]+$|^[a-z0-9-]+(\\.[a-z0-9-]+)*\\.(com|net|org|"
                       "io|de|co\\.uk|fr|es|it|nl|info|biz)(/[^\\s]*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    // A currency sign or code beside an amount, either way round.
    static const QRegularExpression price(
        QStringLiteral("^(from\\s+|ab\\s+)?([$€£¥]|usd|eur|gbp|chf)\\s?[0-9][0-9.,' ]*(\\s?[-–]"
                       "\\s?[$€£¥]?\\s?[0-9][0-9.,' ]*)?$|^[0-9][0-9.,' ]*\\s?([$€£¥]|usd|eur|gbp|"
                       "chf|kr)$"),
        QRegularExpression::CaseInsensitiveOption);
    // US ZIP (+4), UK postcode, five-digit European codes on their own (four digits alone
    // are more often a year).
    static const QRegularExpression postal(
        QStringLiteral("^([0-9]{5}(-[0-9]{4})?|[A-Z]{1,2}[0-9][0-9A-Z]?\\s?[0-9][A-Z]{2})$"),
        QRegularExpression::CaseInsensitiveOption);
    // A house number and a street word, in English, German, French or Spanish order.
    static const QRegularExpression street(
        QStringLiteral("(^|\\s)[0-9]+[a-z]?\\s+([\\w.'-]+\\s+){0,4}(st|street|ave|avenue|rd|road|"
                       "blvd|boulevard|ln|lane|dr|drive|way|ct|court|pl|place|sq|square|hwy|"
                       "pkwy|ter|terrace)\\.?(\\s|,|$)|\\w+(straße|strasse|str\\.|weg|gasse|"
                       "platz|allee)\\s+[0-9]+|^[0-9]+,?\\s+(rue|avenue|boulevard|chemin|"
                       "place|calle)\\s|^(calle|avenida|via|piazza)\\s+\\w+.*[0-9]"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    if (email.match(t).hasMatch())
        return Kind::Email;
    if (price.match(t).hasMatch())
        return Kind::Price;
    if (postal.match(t).hasMatch())
        return Kind::PostalCode;
    if (isPhone(t))
        return Kind::Phone;
    if (web.match(t).hasMatch())
        return Kind::Web;
    if (street.match(t).hasMatch())
        return Kind::Address;
    return Kind::Text;
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::Phone:
        return QStringLiteral("Phone");
    case Kind::Email:
        return QStringLiteral("E-mail");
    case Kind::Web:
        return QStringLiteral("Web");
    case Kind::Address:
        return QStringLiteral("Address");
    case Kind::PostalCode:
        return QStringLiteral("Postal Code");
    case Kind::Price:
        return QStringLiteral("Price");
    case Kind::Text:
        break;
    }
    return QStringLiteral("Text");
}

} // namespace detect
