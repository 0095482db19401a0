#include "browser/BrowserEvents.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

using namespace browser;

namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

struct LinkCase {
    const char* url;
    bool templateLink;
    const char* path; // what template loading receives
};

class TemplateLinks : public ::testing::TestWithParam<LinkCase> {};

TEST_P(TemplateLinks, AreRecognisedAndTurnedIntoPaths) {
    const auto& c = GetParam();
    EXPECT_EQ(IsTemplateLink(q(c.url)), c.templateLink) << c.url;
    if (c.templateLink) {
        EXPECT_EQ(TemplateLinkPath(q(c.url)), q(c.path)) << c.url;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, TemplateLinks,
    ::testing::Values(
        LinkCase{"/opt/trawlex/us_demo_directory.orp", true, "/opt/trawlex/us_demo_directory.orp"},
        LinkCase{"file:///opt/trawlex/us_demo_directory.orp", true,
                 "/opt/trawlex/us_demo_directory.orp"},
        LinkCase{"file:///tmp/my%20templates/au_yp.orp", true, "/tmp/my templates/au_yp.orp"},
        LinkCase{"file:///tmp/my templates/au_yp.orp", true, "/tmp/my templates/au_yp.orp"},
        LinkCase{"file://localhost/opt/x.orp", true, "/opt/x.orp"},
        LinkCase{"FILE:///opt/x.orp", true, "/opt/x.orp"},
        // Any ".o" counts, not only the template extension.
        LinkCase{"file:///opt/t/site.op", true, "/opt/t/site.op"},
        LinkCase{"relative.orp", true, "relative.orp"},
        LinkCase{"http://example.com/page.orp", false, ""},
        LinkCase{"https://www.example.org/", false, ""},
        LinkCase{"HTTP://EXAMPLE.org/x.html", true, "HTTP://EXAMPLE.org/x.html"},
        LinkCase{"file:///tmp/index.html", false, ""}, LinkCase{"about:blank", false, ""},
        LinkCase{"", false, ""}));

struct OutsideCase {
    const char* url;
    bool outside;
};

class OutsidePages : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(OutsidePages, NeedHttpAndNotTheProductWord) {
    EXPECT_EQ(IsOutsidePage(q(GetParam().url)), GetParam().outside) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(Urls, OutsidePages,
                         ::testing::Values(OutsideCase{"http://127.0.0.1:8080/list", true},
                                           OutsideCase{"https://www.example.org/a.orp", true},
                                           OutsideCase{"http://www.trawlex.com/update", false},
                                           OutsideCase{"http://www.Trawlex.com/update", true},
                                           OutsideCase{"http://WWW.TRAWLEX.COM/", true},
                                           OutsideCase{"HTTP://example.org/", false},
                                           OutsideCase{"about:blank", false},
                                           OutsideCase{"file:///tmp/index.html", false}));

TEST(LoadingTitle, JoinsPrefixTextAndAddressAsTheyAre) {
    EXPECT_EQ(LoadingPageTitle(q("Trawlex - "), q("http://h/x")),
              q("Trawlex -  loading page http://h/x"));
}

TEST(TitleTrail, CountsToElevenThenStartsAgainDuringACaptureRun) {
    const QString prefix = q("Trawlex - ");
    const QString reset = prefix + q("Extraction process started... Please wait! ");
    const QString sep = q(" \u00A4 ");
    struct Step {
        std::int32_t countAfter;
        QString title;
    };
    std::vector<Step> expected;
    expected.push_back({1, reset});
    QString trail = reset;
    for (int n = 1; n <= 11; ++n) {
        trail += sep + QString::number(n);
        expected.push_back({n + 1, trail});
    }
    expected.push_back({0, reset});                // 13th: 12 wraps to -1, title reset
    expected.push_back({1, reset});                // 14th: 0, reset again
    expected.push_back({2, reset + sep + q("1")}); // 15th: appends 1 again

    QString title = q("Trawlex - Capture");
    std::int32_t count = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(static_cast<int>(i + 1));
        const auto next = AdvanceExtraNavigation(title, prefix, count, true);
        EXPECT_EQ(next.extraNavCount, expected[i].countAfter);
        EXPECT_EQ(next.title, expected[i].title);
        title = next.title;
        count = next.extraNavCount;
    }
}

TEST(TitleTrail, WithoutACaptureRunOnlyTheResetsHappen) {
    const QString prefix = q("P: ");
    const QString reset = prefix + q("Extraction process started... Please wait! ");
    QString title = q("P: something else");
    std::int32_t count = -1; // as a capture run leaves it
    std::vector<QString> titles;
    for (int i = 0; i < 5; ++i) {
        const auto next = AdvanceExtraNavigation(title, prefix, count, false);
        titles.push_back(next.title);
        title = next.title;
        count = next.extraNavCount;
    }
    EXPECT_EQ(count, 4);
    for (const auto& t : titles)
        EXPECT_EQ(t, reset);
    // A title changed by someone else in between stays when the counter is past 0.
    EXPECT_EQ(AdvanceExtraNavigation(q("changed"), prefix, 3, false).title, q("changed"));
}

TEST(IndicatorMessages, SkipTheEmptyPageAndTheProductSite) {
    EXPECT_EQ(GettingExtraDataMessage(q("http://h/a")), q("Getting extra data from: http://h/a"));
    EXPECT_FALSE(GettingExtraDataMessage(q("about:blank")));
    EXPECT_EQ(DoneCollectingMessage(q("http://h/a")), q("Done collecting data from: http://h/a"));
    EXPECT_FALSE(DoneCollectingMessage(q("about:blank")));
    EXPECT_FALSE(DoneCollectingMessage(q("http://www.trawlex.com/")));
    // The completion test looks at the lower-cased address.
    EXPECT_FALSE(DoneCollectingMessage(q("http://www.TRAWLEX.com/")));
    // Only the word followed by a full stop is the product site.
    EXPECT_TRUE(DoneCollectingMessage(q("http://trawlex-mirror/x")));
}

TEST(AssistSlice, TakesCodeUnits780To1803) {
    auto text = [](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'a' + i % 26);
        return s;
    };
    EXPECT_EQ(AssistTextSlice(text(779)), QString());
    EXPECT_EQ(AssistTextSlice(text(780)), text(780).right(1));
    EXPECT_EQ(AssistTextSlice(text(1803)), text(1803).mid(779));
    EXPECT_EQ(AssistTextSlice(text(1803)).size(), 1024);
    EXPECT_EQ(AssistTextSlice(text(5000)), text(5000).mid(779, 1024));
    EXPECT_EQ(AssistTextSlice(QString()), QString());

    // Code units, not characters: a pair split at the edge stays split.
    QString pairs = text(778) + QString::fromUtf8("\U0001F600");
    EXPECT_EQ(AssistTextSlice(pairs).size(), 1);
    EXPECT_TRUE(AssistTextSlice(pairs).at(0).isLowSurrogate());
}

} // namespace
