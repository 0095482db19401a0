// The initialization-file reader on any bytes: "index.ini" and language files come from
// the user's disk and from downloads.
#include "FuzzSupport.h"

#include "platform/IniFile.h"

#include <QStringList>

namespace {

// ASCII letters in the other case; other characters as they are.
QString flipAsciiCase(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(u - 32);
        else if (u >= u'A' && u <= u'Z')
            c = QChar(u + 32);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const platform::IniFile ini = platform::IniFile::fromBytes(bytes);
    const QString text = platform::IniFile::decode(bytes);

    // Text without a byte-order mark that is valid UTF-8 is read as UTF-8.
    if (!bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE") &&
        !bytes.startsWith("\xFE\xFF") && QString::fromUtf8(bytes).toUtf8() == bytes)
        FUZZ_CHECK(text == QString::fromUtf8(bytes));

    // Every "name = value" line below a section header is found, whatever the letter case
    // of the question, and its answer does not depend on the fallback.
    QString section;
    bool inSection = false;
    const QStringList lines = QString(text).replace(u'\r', u'\n').split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            section = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = true;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty())
            continue;
        FUZZ_CHECK(ini.contains(section, key));
        FUZZ_CHECK(ini.contains(flipAsciiCase(section), flipAsciiCase(key)));
        const QString a = ini.value(section, key, QStringLiteral("fallback-a"));
        FUZZ_CHECK(a == ini.value(flipAsciiCase(section), flipAsciiCase(key)));
    }

    // Names the file never mentions give the fallback.
    const QString absent = QStringLiteral("\x01no such name\x02");
    if (text.contains(absent, Qt::CaseInsensitive))
        return 0;
    FUZZ_CHECK(!ini.contains(absent, absent));
    FUZZ_CHECK(ini.value(absent, absent, QStringLiteral("fb")) == QStringLiteral("fb"));
    if (inSection)
        FUZZ_CHECK(ini.value(section, absent, QStringLiteral("fb")) == QStringLiteral("fb"));
    return 0;
}
