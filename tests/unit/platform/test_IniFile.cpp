#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using platform::IniFile;

namespace {

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: the fallback
};

QByteArray utf16le(const QString& s) {
    QByteArray b("\xFF\xFE", 2);
    b.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
    return b;
}

QByteArray utf16be(const QString& s) {
    QByteArray b("\xFE\xFF", 2);
    for (QChar c : s) {
        b.append(char(c.unicode() >> 8));
        b.append(char(c.unicode() & 0xFF));
    }
    return b;
}

const QString kUnicodeIni = QStringLiteral("[Application]\r\nAppName=Trawlex \u00e9\u4e2d - \r\n");

class IniRead : public testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, GivesTheProfileApiAnswer) {
    const ReadCase& c = GetParam();
    const IniFile ini = IniFile::fromBytes(c.file);
    const QString fallback = QStringLiteral("<default>");
    const QString got =
        ini.value(QString::fromLatin1(c.section), QString::fromLatin1(c.key), fallback);
    EXPECT_EQ(got, c.expected ? QString::fromUtf8(c.expected) : fallback) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    testing::Values(
        ReadCase{"plain", "[Application]\nAppName=Orvo - \n", "Application", "AppName", "Orvo -"},
        ReadCase{"names ignore case", "[APPLICATION]\nappname=x\n", "Application", "AppName", "x"},
        ReadCase{"blanks around names and value", "  [ Application ]  \n  AppName  =   a b  \n",
                 "Application", "AppName", "a b"},
        ReadCase{"one pair of double quotes", "[A]\nk=\"  padded  \"\n", "A", "k", "  padded  "},
        ReadCase{"one pair of single quotes", "[A]\nk='x'\n", "A", "k", "x"},
        ReadCase{"only one pair removed", "[A]\nk=\"\"x\"\"\n", "A", "k", "\"x\""},
        ReadCase{"unmatched quote kept", "[A]\nk=\"x\n", "A", "k", "\"x"},
        ReadCase{"empty value is not missing", "[A]\nk=\n", "A", "k", ""},
        ReadCase{"missing key", "[A]\nother=1\n", "A", "k", nullptr},
        ReadCase{"missing section", "[B]\nk=1\n", "A", "k", nullptr},
        ReadCase{"key in another section", "[B]\nk=1\n[A]\n", "A", "k", nullptr},
        ReadCase{"first occurrence wins", "[A]\nk=1\nk=2\n[A]\nk=3\n", "A", "k", "1"},
        ReadCase{"repeated section adds keys", "[A]\nx=1\n[B]\n[A]\nk=2\n", "A", "k", "2"},
        ReadCase{"comment line", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
        ReadCase{"line without equals skipped", "[A]\nnonsense\nk=2\n", "A", "k", "2"},
        ReadCase{"value keeps later equals", "[A]\nk=a=b\n", "A", "k", "a=b"},
        ReadCase{"CR LF and CR lines", "[A]\r\nj=0\rk=2\r\n", "A", "k", "2"},
        ReadCase{"UTF-8 byte-order mark", "\xEF\xBB\xBF[A]\nk=caf\xC3\xA9\n", "A", "k",
                 "caf\xC3\xA9"},
        ReadCase{"ANSI text", "[A]\nk=caf\xE9\n", "A", "k", "caf\xC3\xA9"},
        ReadCase{"UTF-16 LE", utf16le(kUnicodeIni), "Application", "AppName",
                 "Trawlex \xC3\xA9\xE4\xB8\xAD -"},
        ReadCase{"UTF-16 BE", utf16be(kUnicodeIni), "Application", "AppName",
                 "Trawlex \xC3\xA9\xE4\xB8\xAD -"},
        ReadCase{"empty file", "", "A", "k", nullptr},
        ReadCase{"binary garbage", QByteArray("\x00\x01[A\x00]\xff\xfe\x00k=1", 12), "A", "k",
                 nullptr},
        ReadCase{"entries before any section", "k=1\n[A]\n", "A", "k", nullptr}),
    [](const testing::TestParamInfo<ReadCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(IniFile, EachReadOpensTheFileAfresh) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("index.ini"));
    EXPECT_EQ(IniFile::read(path, QStringLiteral("Application"), QStringLiteral("Lingo"),
                            QStringLiteral("INTL")),
              QStringLiteral("INTL"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Application]\nLingo=FR\n");
    f.close();
    EXPECT_EQ(IniFile::read(path, QStringLiteral("application"), QStringLiteral("LINGO")),
              QStringLiteral("FR"));
}

TEST(IniFile, AFolderInPlaceOfTheFileReadsAsMissing) {
    QTemporaryDir dir;
    EXPECT_EQ(
        IniFile::read(dir.path(), QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("d")),
        QStringLiteral("d"));
}

// Found by fuzzing: a UTF-16 file whose key held an unpaired surrogate before its first
// capital letter matched the key only in the letter case the file used.
TEST(IniFile, UnpairedSurrogatesInUtf16BecomeReplacementCharacters) {
    for (const bool bigEndian : {false, true}) {
        const QString text = QStringLiteral("[LeftBar]\nk") + QChar(0xDE1D) +
                             QStringLiteral("Capture.Caption=v") + QChar(0xD800) +
                             QStringLiteral("\n");
        QByteArray bytes(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
        for (const QChar c : text) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            bytes.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
        }
        const IniFile ini = IniFile::fromBytes(bytes);
        const QString key = QStringLiteral("k\uFFFDCapture.Caption");
        EXPECT_TRUE(ini.contains(QStringLiteral("leftbar"), key)) << bigEndian;
        EXPECT_TRUE(ini.contains(QStringLiteral("LEFTBAR"), key.toUpper())) << bigEndian;
        EXPECT_EQ(ini.value(QStringLiteral("LeftBar"), QStringLiteral("K\uFFFDcapture.caption")),
                  QStringLiteral("v\uFFFD"))
            << bigEndian;
    }
}

} // namespace
