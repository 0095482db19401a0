// The declarative template format: what a file may say, and the message for each way a
// file can be wrong.
#include "DeclarativeFormat.h"
#include "PrintQt.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

using namespace declarative;

namespace {

QByteArray b(const char* s) {
    return QByteArray(s);
}

// A valid file whose parts the cases below replace.
QByteArray withColumns(const QByteArray& columns, const QByteArray& rest = {}) {
    return "{\"trawlex\": 1, \"name\": \"T\", \"records\": \"li\", \"columns\": [" + columns + "]" +
           rest + "}";
}

TEST(Format, ReadsEveryKey) {
    const ParseResult r = ParseTemplate(b(R"json({
      "trawlex": 1, "name": " US-CARDS ", "author": "A. Author", "version": "1.0",
      "home": "https://directory.example/search?q=plumbers", "region": "us",
      "records": "div.card",
      "columns": [
        {"name": "Name", "select": "h2.title", "width": 220},
        {"name": "Phone", "select": "[itemprop=telephone]", "key": true, "clean": "phone"},
        {"name": "Street", "select": "xpath: .//address/span[1]"},
        {"name": "Web", "select": "a.site", "attribute": "HREF"},
        {"name": "E-mail", "follow": "h2.title a", "select": "a[href^='mailto:']",
         "attribute": "href", "pattern": "^mailto:([^?]+)", "key": true, "clean": "email"},
        {"name": "Whole"}
      ],
      "next": {"url": "https://x.example/list?page={page}", "last": 40}
    })json"));
    ASSERT_TRUE(r.description) << r.error.toStdString();
    const Description& d = *r.description;
    EXPECT_EQ(d.name, QStringLiteral("US-CARDS"));
    EXPECT_EQ(d.author, QStringLiteral("A. Author"));
    EXPECT_EQ(d.version, QStringLiteral("1.0"));
    EXPECT_EQ(d.home, QStringLiteral("https://directory.example/search?q=plumbers"));
    EXPECT_EQ(d.region, QStringLiteral("US"));
    EXPECT_EQ(d.records.text, QStringLiteral("div.card"));
    EXPECT_FALSE(d.records.xpath);
    ASSERT_EQ(d.columns.size(), 6u);
    EXPECT_EQ(d.columns[0].width, 220);
    EXPECT_EQ(d.columns[1].width, kDefaultWidth);
    EXPECT_TRUE(d.columns[1].key);
    EXPECT_FALSE(d.columns[0].key);
    EXPECT_EQ(d.columns[1].clean, Clean::Phone);
    EXPECT_TRUE(d.columns[2].select.xpath);
    EXPECT_EQ(d.columns[2].select.text, QStringLiteral(".//address/span[1]"));
    EXPECT_EQ(d.columns[3].attribute, QStringLiteral("href"));
    EXPECT_EQ(d.columns[4].follow.text, QStringLiteral("h2.title a"));
    EXPECT_TRUE(d.columns[4].pattern);
    EXPECT_EQ(d.columns[4].clean, Clean::Email);
    EXPECT_TRUE(d.columns[5].select.empty());
    EXPECT_EQ(d.next.kind, NextKind::Url);
    EXPECT_EQ(d.next.url, QStringLiteral("https://x.example/list?page={page}"));
    EXPECT_EQ(d.next.last, 40);
}

struct NextCase {
    const char* next;
    NextKind kind;
    int max;
};
class NextKinds : public ::testing::TestWithParam<NextCase> {};
TEST_P(NextKinds, AreRead) {
    const ParseResult r =
        ParseTemplate(withColumns(b("{\"name\": \"A\"}"), b(", \"next\": ") + GetParam().next));
    ASSERT_TRUE(r.description) << r.error.toStdString();
    EXPECT_EQ(r.description->next.kind, GetParam().kind);
    EXPECT_EQ(r.description->next.max, GetParam().max);
}
INSTANTIATE_TEST_SUITE_P(
    Format, NextKinds,
    ::testing::Values(NextCase{"{\"link\": \"a[rel=next], a.pager-next\"}", NextKind::Link, 50},
                      NextCase{"{\"url\": \"/p/{page}\"}", NextKind::Url, 50},
                      NextCase{"{\"click\": \"button.more\", \"max\": 7}", NextKind::Click, 7},
                      NextCase{"{\"scroll\": true}", NextKind::Scroll, 50}));

TEST(Format, AByteOrderMarkAndNoNextAreFine) {
    const ParseResult r = ParseTemplate("\xEF\xBB\xBF" + withColumns(b("{\"name\": \"A\"}")));
    ASSERT_TRUE(r.description) << r.error.toStdString();
    EXPECT_EQ(r.description->next.kind, NextKind::None);
}

struct BadFile {
    const char* what;
    QByteArray bytes;
    const char* error;
};
void PrintTo(const BadFile& c, std::ostream* os) {
    *os << c.what;
}

class BadFiles : public ::testing::TestWithParam<BadFile> {};
TEST_P(BadFiles, AreRefusedSayingWhereAndWhy) {
    const ParseResult r = ParseTemplate(GetParam().bytes);
    EXPECT_FALSE(r.description);
    EXPECT_EQ(r.error, QString::fromUtf8(GetParam().error));
}

const QByteArray kCol = b("{\"name\": \"A\"}");

INSTANTIATE_TEST_SUITE_P(
    Json, BadFiles,
    ::testing::Values(
        BadFile{"empty", b("  \n"), "the file is empty"},
        BadFile{"not json", b("{\n  \"trawlex\": 1,\n  \"name\": oops\n}"),
                "line 3, column 11: illegal number"},
        BadFile{"unterminated", b("{\"name\": \"\xc3\xa9t\xc3\xa9"),
                "line 1, column 14: unterminated string"},
        BadFile{"array", b("[1, 2]"), "the file holds a JSON array, not an object"},
        BadFile{"utf-16 with mark", QByteArray("\xFF\xFE{\0}\0", 6),
                "the file is UTF-16 or UTF-32 text; save it as UTF-8"},
        BadFile{"utf-16 without mark", QByteArray("{\0\"\0", 4),
                "the file is UTF-16 or UTF-32 text; save it as UTF-8"},
        BadFile{"binary",
                QByteArray("\x7f"
                           "ELF\x02\x01\x01\0\0\0",
                           10),
                "line 1, column 8: not UTF-8 text (byte 0x00); a template is a UTF-8 JSON file"},
        BadFile{"latin-1", b("{\"name\": \"caf\xe9\"}"),
                "line 1, column 14: not UTF-8 text (byte 0xe9); a template is a UTF-8 JSON file"},
        BadFile{"deep", QByteArray(5000, '['), "line 1, column 1026: too deeply nested document"},
        BadFile{"huge", QByteArray(10 * 1024 * 1024, ' '),
                "the file is 10485760 bytes long; a template holds at most 1048576"}));

INSTANTIATE_TEST_SUITE_P(
    Keys, BadFiles,
    ::testing::Values(
        BadFile{"no version", b("{\"name\": \"T\"}"), "trawlex: missing (the format version, 1)"},
        BadFile{"version 2", b("{\"trawlex\": 2}"),
                "trawlex: format version 2 is not known; this program reads version 1"},
        BadFile{"version text", b("{\"trawlex\": \"1\"}"),
                "trawlex: format version a string is not known; this program reads version 1"},
        BadFile{"unknown top key", b("{\"trawlex\": 1, \"naem\": \"T\"}"), "naem: unknown key"},
        BadFile{"no name", b("{\"trawlex\": 1, \"records\": \"li\"}"), "name: missing"},
        BadFile{"blank name", b("{\"trawlex\": 1, \"name\": \"  \"}"), "name: empty"},
        BadFile{"name not text", b("{\"trawlex\": 1, \"name\": 5}"),
                "name: must be a string, not a number"},
        BadFile{"name with a line break", b("{\"trawlex\": 1, \"name\": \"a\\nb\"}"),
                "name: line breaks, NUL and \xc2\xa4 are not allowed"},
        BadFile{"region", b("{\"trawlex\": 1, \"name\": \"T\", \"region\": \"USA\"}"),
                "region: 'USA' is no two-letter country code such as \"US\""},
        BadFile{"no records", b("{\"trawlex\": 1, \"name\": \"T\"}"), "records: missing"},
        BadFile{"no columns", b("{\"trawlex\": 1, \"name\": \"T\", \"records\": \"li\"}"),
                "columns: missing"},
        BadFile{"columns not a list",
                b("{\"trawlex\": 1, \"name\": \"T\", \"records\": \"li\", \"columns\": {}}"),
                "columns: must be an array, not an object"},
        BadFile{"no column", withColumns({}), "columns: empty"},
        BadFile{"column not an object", withColumns(b("\"Name\"")),
                "columns[0]: must be an object, not a string"},
        BadFile{"column without name", withColumns(kCol + ", {\"select\": \"b\"}"),
                "columns[1].name: missing"},
        BadFile{"unknown column key", withColumns(kCol + ", {\"name\": \"B\", \"widht\": 3}"),
                "columns[1].widht: unknown key"},
        BadFile{"pipe in a caption", withColumns(b("{\"name\": \"A|B\"}")),
                "columns[0].name: '|' is not allowed"},
        BadFile{"width zero", withColumns(b("{\"name\": \"A\", \"width\": 0}")),
                "columns[0].width: must be a whole number from 1 to 10000"},
        BadFile{"width fraction", withColumns(b("{\"name\": \"A\", \"width\": 1.5}")),
                "columns[0].width: must be a whole number from 1 to 10000"},
        BadFile{"width text", withColumns(b("{\"name\": \"A\", \"width\": \"9\"}")),
                "columns[0].width: must be a whole number from 1 to 10000"},
        BadFile{"width huge", withColumns(b("{\"name\": \"A\", \"width\": 1e300}")),
                "columns[0].width: must be a whole number from 1 to 10000"},
        BadFile{"key not boolean", withColumns(b("{\"name\": \"A\", \"key\": 1}")),
                "columns[0].key: must be true or false"},
        BadFile{"clean", withColumns(b("{\"name\": \"A\", \"clean\": \"fax\"}")),
                "columns[0].clean: 'fax' is none of \"text\", \"phone\", \"email\""},
        BadFile{"empty attribute", withColumns(b("{\"name\": \"A\", \"attribute\": \" \"}")),
                "columns[0].attribute: empty"},
        BadFile{"empty follow", withColumns(b("{\"name\": \"A\", \"follow\": \"\"}")),
                "columns[0].follow: empty"}));

INSTANTIATE_TEST_SUITE_P(
    Selectors, BadFiles,
    ::testing::Values(
        BadFile{"pseudo-class",
                withColumns(kCol + "," + kCol + ", {\"name\": \"C\", \"select\": \"a:foo\"}"),
                "columns[2].select: unknown pseudo-class ':foo'"},
        BadFile{"records", b("{\"trawlex\": 1, \"name\": \"T\", \"records\": \"li[\"}"),
                "records: attribute name expected after '[' at position 4"},
        BadFile{"blank records", b("{\"trawlex\": 1, \"name\": \"T\", \"records\": \" \"}"),
                "records: empty"},
        BadFile{"follow", withColumns(b("{\"name\": \"A\", \"follow\": \"a >\"}")),
                "columns[0].follow: unexpected end of selector"},
        BadFile{"xpath", withColumns(b("{\"name\": \"A\", \"select\": \"xpath: //a[\"}")),
                "columns[0].select: XPath: invalid expression at offset 4"},
        BadFile{"xpath string",
                withColumns(b("{\"name\": \"A\", \"select\": \"xpath://a[@x='1]\"}")),
                "columns[0].select: XPath: unfinished string at offset 10"},
        BadFile{"empty xpath", withColumns(b("{\"name\": \"A\", \"select\": \"xpath:\"}")),
                "columns[0].select: XPath: empty expression"},
        BadFile{"long selector",
                withColumns("{\"name\": \"A\", \"select\": \"" + QByteArray(100000, 'a') + "\"}"),
                "columns[0].select: 100000 characters long, at most 10000"},
        BadFile{"pattern", withColumns(b("{\"name\": \"A\", \"pattern\": \"(ab\"}")),
                "columns[0].pattern: missing closing parenthesis at offset 3"}));

INSTANTIATE_TEST_SUITE_P(
    Next, BadFiles,
    ::testing::Values(
        BadFile{"no page",
                withColumns(kCol, b(", \"next\": {\"url\": \"https://x.example/?p=2\"}")),
                "next.url: no {page}"},
        BadFile{"two kinds",
                withColumns(kCol, b(", \"next\": {\"link\": \"a\", \"scroll\": true}")),
                "next: needs exactly one of \"link\", \"url\", \"click\", \"scroll\""},
        BadFile{"no kind", withColumns(kCol, b(", \"next\": {}")),
                "next: needs exactly one of \"link\", \"url\", \"click\", \"scroll\""},
        BadFile{"not object", withColumns(kCol, b(", \"next\": \"a.next\"")),
                "next: must be an object, not a string"},
        BadFile{"last with link",
                withColumns(kCol, b(", \"next\": {\"link\": \"a\", \"last\": 3}")),
                "next.last: unknown key"},
        BadFile{"last zero",
                withColumns(kCol, b(", \"next\": {\"url\": \"/{page}\", \"last\": 0}")),
                "next.last: must be a whole number from 1 to 1000000"},
        BadFile{"scroll false", withColumns(kCol, b(", \"next\": {\"scroll\": false}")),
                "next.scroll: must be true"},
        BadFile{"max", withColumns(kCol, b(", \"next\": {\"click\": \"b\", \"max\": -1}")),
                "next.max: must be a whole number from 1 to 1000000"},
        BadFile{"bad click", withColumns(kCol, b(", \"next\": {\"click\": \"button:hover\"}")),
                "next.click: unknown pseudo-class ':hover'"}));

TEST(Format, TenThousandColumnsAreRefusedQuickly) {
    QByteArray columns;
    for (int i = 0; i < 10000; ++i)
        columns += (i ? "," : "") + kCol;
    QElapsedTimer timer;
    timer.start();
    const ParseResult r = ParseTemplate(withColumns(columns));
    EXPECT_EQ(r.error, QStringLiteral("columns: 10000 columns, at most 254"));
    EXPECT_LT(timer.elapsed(), 2000);
}

struct Sniff {
    QByteArray head;
    bool json;
};
class Sniffing : public ::testing::TestWithParam<Sniff> {};
TEST_P(Sniffing, TellsJsonFromALibrary) {
    EXPECT_EQ(LooksLikeJson(GetParam().head), GetParam().json)
        << GetParam().head.toHex().constData();
}
INSTANTIATE_TEST_SUITE_P(
    Format, Sniffing,
    ::testing::Values(Sniff{b("{\"trawlex\": 1}"), true}, Sniff{b("\n\t [1]"), true},
                      Sniff{b("\xEF\xBB\xBF{"), true}, Sniff{QByteArray("\xFF\xFE{\0", 4), true},
                      Sniff{QByteArray("\x7f"
                                       "ELF\x02\x01",
                                       6),
                            false},
                      Sniff{b("MZ\x90"), false}, Sniff{b("plain text"), false}, Sniff{{}, false}));

} // namespace
