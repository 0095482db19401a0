// Field values of declarative templates: blanks, separators, addresses, telephone
// numbers, e-mail disguises, and patterns whose work is bounded.
#include "DeclarativeFields.h"
#include "PrintQt.h"
#include "RegexLimit.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

using namespace declarative;

namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

struct TextCase {
    const char* in;
    const char* out;
};

class Blanks : public ::testing::TestWithParam<TextCase> {};
TEST_P(Blanks, CollapseAsThePageShowsText) {
    EXPECT_EQ(CollapseBlanks(q(GetParam().in)), q(GetParam().out)) << GetParam().in;
}
INSTANTIATE_TEST_SUITE_P(Fields, Blanks,
                         ::testing::Values(TextCase{"  a \t\n b  ", "a b"}, TextCase{"", ""},
                                           TextCase{" \r\n\f ", ""},
                                           // a no-break space is shown, so it stays
                                           TextCase{"a\xc2\xa0\xc2\xa0 b", "a\xc2\xa0\xc2\xa0 b"},
                                           TextCase{"x\r\ny", "x y"}));

TEST(RecordFieldTest, NeverCarriesTheSeparatorsAndMarksEmptyFields) {
    EXPECT_EQ(RecordField(q("a\rb\nc\xc2\xa4"
                            "d")),
              q("a b c d"));
    EXPECT_EQ(RecordField(QString()), QString::fromUtf16(kNoValue));
    EXPECT_EQ(RecordField(q(" ")), q(" "));
}

struct AddressCase {
    const char* base;
    const char* href;
    const char* out;
};
class Addresses : public ::testing::TestWithParam<AddressCase> {};
TEST_P(Addresses, ResolveAgainstThePage) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(ResolveAddress(q(c.base), q(c.href)), q(c.out)) << c.href;
}
INSTANTIATE_TEST_SUITE_P(
    Fields, Addresses,
    ::testing::Values(
        AddressCase{"https://x.example/a/b.html?q=1", "c.html", "https://x.example/a/c.html"},
        AddressCase{"https://x.example/a/b.html", "/root", "https://x.example/root"},
        AddressCase{"https://x.example/a/b.html", "../up", "https://x.example/up"},
        AddressCase{"https://x.example/a/b.html", "//cdn.example/i.png",
                    "https://cdn.example/i.png"},
        AddressCase{"https://x.example/a/", "?page=2", "https://x.example/a/?page=2"},
        AddressCase{"https://x.example/a/", " mailto:Z@x.example ", "mailto:Z@x.example"},
        AddressCase{"https://x.example/a/", "HTTP://Other.example/%7e", "HTTP://Other.example/%7e"},
        AddressCase{"file:///srv/demo/results-1.html", "listing-001.html",
                    "file:///srv/demo/listing-001.html"},
        AddressCase{"https://x.example/", "", ""}, AddressCase{"", "rel.html", "rel.html"}));

struct PhoneCase {
    const char* in;
    const char* region;
    const char* out;
};
class Phones : public ::testing::TestWithParam<PhoneCase> {};
TEST_P(Phones, NormaliseWithTheRegion) {
    const PhoneCase& c = GetParam();
    EXPECT_EQ(CleanPhone(q(c.in), q(c.region)), q(c.out)) << c.in;
}
INSTANTIATE_TEST_SUITE_P(
    Fields, Phones,
    ::testing::Values(PhoneCase{"(319) 555-0192", "US", "+1 319-555-0192"},
                      PhoneCase{" 319.555.0192 ", "US", "+1 319-555-0192"},
                      PhoneCase{"+44 20 7946 0958", "US", "+44 20 7946 0958"},
                      PhoneCase{"020 7946 0958", "GB", "+44 20 7946 0958"},
                      // no region and no country code: nothing to go by, kept as written
                      PhoneCase{"(319)  555-0192", "", "(319) 555-0192"},
                      PhoneCase{"call us", "US", "call us"}, PhoneCase{"", "US", ""}));

struct EmailCase {
    const char* in;
    const char* out;
};
class Emails : public ::testing::TestWithParam<EmailCase> {};
TEST_P(Emails, UndoTheUsualDisguises) {
    const QString out = CleanEmail(q(GetParam().in));
    EXPECT_EQ(out, q(GetParam().out)) << GetParam().in;
    EXPECT_EQ(CleanEmail(out), out) << "cleaning a clean address changes it";
}
INSTANTIATE_TEST_SUITE_P(
    Fields, Emails,
    ::testing::Values(EmailCase{"name@example.com", "name@example.com"},
                      EmailCase{"mailto:name@example.com?subject=Hi", "name@example.com"},
                      EmailCase{"name [at] example [dot] com", "name@example.com"},
                      EmailCase{"name(at)example.com", "name@example.com"},
                      EmailCase{"name (AT) example (DOT) co (dot) uk", "name@example.co.uk"},
                      EmailCase{"name{at}example{dot}org", "name@example.org"},
                      EmailCase{"name at example dot com", "name@example.com"},
                      EmailCase{"Write to: first.last%40example.com today",
                                "first.last@example.com"},
                      // encoded twice over by the site; a "%" that escapes nothing stays
                      EmailCase{"mailto:info%2540example.com", "info@example.com"},
                      EmailCase{"sales%team@example.com", "sales%team@example.com"},
                      // still encoded after every round: no guess
                      EmailCase{"a%25252525252541b@example.com", ""},
                      // the CDN's protected link: key 0x42, then "a@b.co" XORed with it
                      EmailCase{"/cdn-cgi/l/email-protection#422302206c212d", "a@b.co"},
                      EmailCase{"meet us at the harbour", ""}, EmailCase{"no address", ""},
                      EmailCase{"", ""}));

struct CfCase {
    const char* hex;
    const char* out;
};
class CfEmail : public ::testing::TestWithParam<CfCase> {};
TEST_P(CfEmail, DecodesOnlyWellFormedEncodings) {
    EXPECT_EQ(DecodeCfEmail(q(GetParam().hex)), q(GetParam().out)) << GetParam().hex;
}
INSTANTIATE_TEST_SUITE_P(Fields, CfEmail,
                         ::testing::Values(CfCase{"422302206c212d", "a@b.co"},
                                           CfCase{"00616e6e40782e6578616d706c65", "ann@x.example"},
                                           CfCase{"4223022", ""},      // odd length
                                           CfCase{"42zz0220632d", ""}, // not hex
                                           CfCase{"4223", ""},         // no "@" in it
                                           CfCase{"", ""}));

struct PatternCase {
    const char* pattern;
    const char* subject;
    Regex::Outcome outcome;
    const char* value;
};
class Patterns : public ::testing::TestWithParam<PatternCase> {};
TEST_P(Patterns, GiveTheFirstGroupOrTheWholeMatch) {
    const PatternCase& c = GetParam();
    QString error;
    const auto re = Regex::Compile(q(c.pattern), &error);
    ASSERT_TRUE(re) << error.toStdString();
    const Regex::Result r = re->Match(q(c.subject));
    EXPECT_EQ(r.outcome, c.outcome) << c.pattern;
    EXPECT_EQ(r.value, q(c.value)) << c.pattern;
}
INSTANTIATE_TEST_SUITE_P(
    Fields, Patterns,
    ::testing::Values(PatternCase{"^mailto:([^?]+)", "mailto:a@b.example?s=1",
                                  Regex::Outcome::Match, "a@b.example"},
                      PatternCase{"\\d+", "Page 12 of 40", Regex::Outcome::Match, "12"},
                      PatternCase{"(\\d+) of (\\d+)", "Page 12 of 40", Regex::Outcome::Match, "12"},
                      PatternCase{"(?:x)?(\\d+)", "ab 7", Regex::Outcome::Match, "7"},
                      // the group exists but takes no part in the match
                      PatternCase{"a|(b)", "a", Regex::Outcome::Match, ""},
                      PatternCase{"zzz", "abc", Regex::Outcome::NoMatch, ""},
                      PatternCase{"\\w+", "Sørensen", Regex::Outcome::Match, "Sørensen"}));

TEST(PatternLimits, CatastrophicBacktrackingGivesUpQuickly) {
    QString error;
    const auto re = Regex::Compile(q("^(a+)+$"), &error);
    ASSERT_TRUE(re);
    const QString subject = QString(40, u'a') + u'!';
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(re->Match(subject).outcome, Regex::Outcome::GaveUp);
    EXPECT_LT(timer.elapsed(), 3000);
    // The same pattern still answers where it does not backtrack.
    EXPECT_EQ(re->Match(QString(40, u'a')).outcome, Regex::Outcome::Match);
}

TEST(PatternLimits, BrokenTextIsMatchedNotRefused) {
    const auto re = Regex::Compile(q("b(.)"), nullptr);
    ASSERT_TRUE(re);
    QString subject = q("ab");
    subject += QChar(0xD800); // a lone surrogate from a page
    EXPECT_EQ(re->Match(subject).value, QString(QChar::ReplacementCharacter));
}

struct BadPattern {
    const char* pattern;
    const char* start; // how the compiler's message starts
};
class BadPatterns : public ::testing::TestWithParam<BadPattern> {};
TEST_P(BadPatterns, AreRefusedWithTheCompilersReason) {
    QString error;
    EXPECT_FALSE(Regex::Compile(q(GetParam().pattern), &error));
    EXPECT_TRUE(error.startsWith(q(GetParam().start))) << error.toStdString();
}
INSTANTIATE_TEST_SUITE_P(Fields, BadPatterns,
                         ::testing::Values(BadPattern{"(ab",
                                                      "missing closing parenthesis at offset 3"},
                                           BadPattern{"a{2,1}", "numbers out of order"},
                                           BadPattern{"[z-a]", "range out of order"},
                                           BadPattern{"\\", "\\ at end of pattern"}));

} // namespace
