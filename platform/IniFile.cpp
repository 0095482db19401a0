#include "platform/IniFile.h"

#include "platform/Utf16.h"

#include <QFile>
#include <QStringDecoder>

namespace platform {

namespace {

// Larger files are not configuration; reading them whole would only waste memory.
constexpr qint64 kMaxIniBytes = 4 * 1024 * 1024;

QString stripQuotes(const QString& v) {
    if (v.size() >= 2) {
        const QChar first = v.front();
        if ((first == u'"' || first == u'\'') && v.back() == first)
            return v.mid(1, v.size() - 2);
    }
    return v;
}

} // namespace

QString IniFile::decode(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringDecoder::Utf16LE);
        return PairedSurrogates(dec(bytes.mid(2)));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder dec(QStringDecoder::Utf16BE);
        return PairedSurrogates(dec(bytes.mid(2)));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: the file was written in the ANSI page.
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid())
        return ansi(bytes);
    return QString::fromLatin1(bytes);
}

IniFile::IniFile(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    parse(decode(f.read(kMaxIniBytes)));
}

IniFile IniFile::fromBytes(const QByteArray& bytes) {
    IniFile ini;
    ini.parse(decode(bytes));
    return ini;
}

void IniFile::parse(const QString& text) {
    QHash<QString, QString>* current = nullptr;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QString line = text.mid(pos, end - pos).trimmed();
        pos = end + 1;
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toLower();
            current = &m_sections[name]; // a repeated section adds to the first
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        if (key.isEmpty() || current->contains(key))
            continue;
        current->insert(key, stripQuotes(line.mid(eq + 1).trimmed()));
    }
}

bool IniFile::contains(const QString& section, const QString& key) const {
    auto s = m_sections.constFind(section.toLower());
    return s != m_sections.cend() && s->contains(key.toLower());
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
    auto s = m_sections.constFind(section.toLower());
    if (s == m_sections.cend())
        return fallback;
    auto v = s->constFind(key.toLower());
    return v == s->cend() ? fallback : *v;
}

QString IniFile::read(const QString& fileName, const QString& section, const QString& key,
                      const QString& fallback) {
    return IniFile(fileName).value(section, key, fallback);
}

} // namespace platform
