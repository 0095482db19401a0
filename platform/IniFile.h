#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace platform {

// Reads Windows initialization files the way the profile API does: section and key
// names match without regard to case, blanks around names and values are dropped,
// one pair of enclosing quotes is removed, the first occurrence of a section or key
// wins, and lines without "=" are skipped. UTF-8 and UTF-16 byte-order marks are
// honoured; text that is not valid UTF-8 is read as Windows-1252, the usual ANSI page.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(const QString& fileName);

    // Parses text already in memory (the decoding rules above apply to `bytes`).
    static IniFile fromBytes(const QByteArray& bytes);

    bool contains(const QString& section, const QString& key) const;
    // The stored text when the key is present, even when it is empty; `fallback` otherwise.
    QString value(const QString& section, const QString& key, const QString& fallback = {}) const;

    // One read that opens the file afresh, so an edit takes effect at the next read.
    static QString read(const QString& fileName, const QString& section, const QString& key,
                        const QString& fallback = {});

    static QString decode(const QByteArray& bytes);

private:
    void parse(const QString& text);
    QHash<QString, QHash<QString, QString>> m_sections; // lower-case names
};

} // namespace platform
