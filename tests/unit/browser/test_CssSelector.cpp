// Selectors Level 3 over a small page: what each form matches, and why a text that is no
// selector is refused.
#include "browser/CssSelector.h"
#include "browser/HtmlDocument.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <string>

using namespace browser;

namespace {

// Every element carries an id so that a match list reads as ids in document order.
constexpr char kPage[] = R"(<html id=h><body id=b>
<ul id=list>
  <li id=l1 class="item first" lang="en-US" data-x="alpha beta">one</li>
  <li id=l2 class="item" lang="en" data-x="alphabet"><a id=a2 href="/p/2" rel="next">two</a></li>
  <li id=l3 class="item sold" lang="fr" data-x="beta"><span id=s3></span></li>
  <li id=l4 class="item" data-x="ALPHA"><a id=a4 href="https://x.example/4.pdf">four</a></li>
  <li id=l5 class="item last"><p id=p5><a id=a5 href="mailto:z@x.example">mail</a></p></li>
</ul>
<p id=after>tail</p><div id=d1><p id=p6>x</p><em id=e6>y</em></div>
</body></html>)";

class Page : public ::testing::Test {
protected:
    void SetUp() override {
        HtmlSource source;
        source.html = QString::fromUtf8(kPage);
        source.url = QStringLiteral("http://127.0.0.1/list");
        doc = OrvoRef<IHTMLDocument2>(CreateHtmlDocument(source));
        ASSERT_TRUE(doc);
    }
    QString ids(const char* selector) {
        const std::u16string sel = QString::fromUtf8(selector).toStdU16String();
        OrvoRef<IHTMLElementCollection> all(doc->QuerySelectorAll(sel.c_str()));
        if (!all)
            return QStringLiteral("<null>");
        QStringList out;
        for (int i = 0; i < all->GetLength(); ++i) {
            OrvoRef<IHTMLElement> e(all->Item(i));
            out << FromOrvoText(e->GetId());
        }
        return out.join(u' ');
    }
    OrvoRef<IHTMLDocument2> doc;
};

struct MatchCase {
    const char* selector;
    const char* expected;
};

class Matching : public Page, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(Matching, FindsTheRightElementsInDocumentOrder) {
    EXPECT_EQ(ids(GetParam().selector), QString::fromUtf8(GetParam().expected))
        << GetParam().selector;
}

INSTANTIATE_TEST_SUITE_P(
    Level3, Matching,
    ::testing::Values(
        // combinators
        MatchCase{"ul li a", "a2 a4 a5"}, MatchCase{"ul > li > a", "a2 a4"},
        MatchCase{"#l1 + li", "l2"}, MatchCase{"#l3 ~ li", "l4 l5"},
        MatchCase{"#list ~ p", "after"}, MatchCase{"#list + div", ""},
        MatchCase{"li + li + li + li + li", "l5"}, MatchCase{"body > ul li > p a", "a5"},
        MatchCase{"ul>li>a", "a2 a4"},
        // attribute operators
        MatchCase{"[rel]", "a2"}, MatchCase{"[data-x=beta]", "l3"},
        MatchCase{"[data-x~=beta]", "l1 l3"}, MatchCase{"[data-x~=alph]", ""},
        MatchCase{"[lang|=en]", "l1 l2"}, MatchCase{"[lang|=e]", ""},
        MatchCase{"a[href^='mailto:']", "a5"}, MatchCase{"a[href^=\"/\"]", "a2"},
        MatchCase{"[href$='.pdf']", "a4"}, MatchCase{"[data-x*=pha]", "l1 l2"},
        MatchCase{"[data-x=alpha i]", "l4"}, MatchCase{"[data-x^='']", ""},
        MatchCase{"[DATA-X=beta]", "l3"},
        // structural pseudo-classes
        MatchCase{"li:first-child", "l1"}, MatchCase{"li:last-child", "l5"},
        MatchCase{"li:nth-child(2)", "l2"}, MatchCase{"li:nth-child(odd)", "l1 l3 l5"},
        MatchCase{"li:nth-child(even)", "l2 l4"}, MatchCase{"li:nth-child(2n+1)", "l1 l3 l5"},
        MatchCase{"li:nth-child(3n)", "l3"}, MatchCase{"li:nth-child(-n+2)", "l1 l2"},
        MatchCase{"li:nth-child( n + 4 )", "l4 l5"}, MatchCase{"li:nth-child(0)", ""},
        MatchCase{"li:nth-last-child(1)", "l5"}, MatchCase{"#d1 > :nth-of-type(1)", "p6 e6"},
        MatchCase{"#d1 > :nth-last-of-type(1)", "p6 e6"}, MatchCase{"span:empty", "s3"},
        MatchCase{"#p5 > a:only-child", "a5"}, MatchCase{"#d1 :first-of-type", "p6 e6"},
        // negation and lists
        MatchCase{"li:not(.sold)", "l1 l2 l4 l5"},
        MatchCase{"li:not(.sold):not(.first)", "l2 l4 l5"}, MatchCase{"li:not([lang])", "l4 l5"},
        MatchCase{"a:not([href^=http], [rel])", "a5"}, MatchCase{"#after, #l2, #l1", "l1 l2 after"},
        MatchCase{"em, p", "p5 after p6 e6"}, MatchCase{"li.item.last", "l5"},
        MatchCase{"*|*", "<null>"}));

struct ErrorCase {
    const char* selector;
    const char* message;
};

class Refusing : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Refusing, SaysWhyTheTextIsNoSelector) {
    const SelectorCompile c = CompileSelectors(QString::fromUtf8(GetParam().selector));
    EXPECT_FALSE(c.selectors) << GetParam().selector;
    EXPECT_EQ(c.error, QString::fromUtf8(GetParam().message)) << GetParam().selector;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Refusing,
    ::testing::Values(
        ErrorCase{"a:foo", "unknown pseudo-class ':foo'"},
        ErrorCase{"li:hover", "unknown pseudo-class ':hover'"},
        ErrorCase{"p::before", "pseudo-element '::before' selects no element"},
        ErrorCase{"", "empty selector"}, ErrorCase{"   ", "empty selector"},
        ErrorCase{"a,,b", "unexpected ',' at position 3"},
        ErrorCase{"a >", "unexpected end of selector"},
        ErrorCase{"div[", "attribute name expected after '[' at position 5"},
        ErrorCase{"[a='x", "unclosed string in attribute selector"},
        ErrorCase{"[a=x", "unclosed attribute selector, ']' missing"},
        ErrorCase{"[a==x]", "attribute value expected at position 4"},
        ErrorCase{"#", "'#' without an id at position 1"},
        ErrorCase{
            "li:nth-child(2x)",
            "invalid argument of ':nth-child()': '2x' (expected an+b, odd, even or a number)"},
        ErrorCase{"li:nth-child(2", "invalid argument of ':nth-child()': '2' (expected an+b, odd, "
                                    "even or a number)"},
        ErrorCase{"li:not(:not(.a))", "':not()' cannot be nested"},
        ErrorCase{"li:not", "':not()' needs an argument in parentheses"},
        ErrorCase{"li:first-child(1)", "':first-child' takes no argument"},
        ErrorCase{"a ! b", "unexpected '!' at position 3"},
        ErrorCase{"a\xc3\xa9=", "unexpected '=' at position 4"}));

TEST(Selectors, ASelectorOfTooManyStepsIsRefused) {
    QString sixtyFour, sixtyFive;
    for (int i = 0; i < 64; ++i)
        sixtyFour += QString::fromLatin1(i ? " a" : "a");
    sixtyFive = sixtyFour + QStringLiteral(" > a");
    EXPECT_TRUE(CompileSelectors(sixtyFour).selectors);
    EXPECT_EQ(CompileSelectors(sixtyFive).error,
              QStringLiteral("more than 64 steps in one selector"));
}

TEST(Selectors, TheOldEntryPointStillAnswersNullForErrors) {
    EXPECT_FALSE(ParseSelectors(QStringLiteral("a:foo")));
    EXPECT_TRUE(ParseSelectors(QStringLiteral("a:first-child")));
}

// Many descendant steps over a deep page: each (step, element) pair is tried once, so the
// answer comes at once instead of after an exponential search.
TEST(Selectors, ManyDescendantStepsOverADeepPageStayFast) {
    QString html;
    for (int i = 0; i < 200; ++i)
        html += QStringLiteral("<div>");
    html += QStringLiteral("<b id=deep>x</b>");
    HtmlSource source;
    source.html = html;
    source.url = QStringLiteral("http://127.0.0.1/");
    OrvoRef<IHTMLDocument2> doc(CreateHtmlDocument(source));
    ASSERT_TRUE(doc);
    QString selector;
    for (int i = 0; i < 30; ++i)
        selector += QStringLiteral("div ");
    const std::u16string hit = (selector + QStringLiteral("b")).toStdU16String();
    const std::u16string miss =
        (QStringLiteral("p ") + selector + QStringLiteral("b")).toStdU16String();
    QElapsedTimer timer;
    timer.start();
    OrvoRef<IHTMLElement> found(doc->QuerySelector(hit.c_str()));
    OrvoRef<IHTMLElement> none(doc->QuerySelector(miss.c_str()));
    EXPECT_TRUE(found);
    EXPECT_FALSE(none);
    EXPECT_LT(timer.elapsed(), 2000);
}

} // namespace
