// robots.txt: which group applies, which rule wins, wildcards, anchors, escapes, the
// delay, the HTTP status, and files that are not robots.txt at all.
#include "batch/Robots.h"

#include <gtest/gtest.h>

namespace {

using batch::RobotsRules;

const QByteArray kSite = R"(# a shop
User-agent: *
Disallow: /private
Allow: /private/open
Disallow: /*.pdf$
Disallow: /search?
Crawl-delay: 2.5

User-agent: OtherBot
Disallow: /

User-agent: Trawlex
User-agent: somebot
Disallow: /members
Allow: /members/list*
Disallow: /%7euser/
Crawl-delay: 7
)";

TEST(Robots, RulesOfTheGroupThatApplies) {
    const RobotsRules star = RobotsRules::parse(kSite, QStringLiteral("anybody"));
    const RobotsRules ours = RobotsRules::parse(kSite, QStringLiteral("trawlex"));
    const struct {
        const char* path;
        bool star;
        bool ours;
    } cases[] = {
        {"/", true, true},
        {"", true, true},
        {"/index.html", true, true},
        {"/private", false, true}, // our group replaces "*" entirely
        {"/private/x", false, true},
        {"/privateer", false, true},     // a rule is a prefix, not a folder
        {"/private/open/a", true, true}, // the longer Allow wins
        {"/doc.pdf", false, true},
        {"/doc.pdf?x=1", true, true}, // "$" anchors at the end
        {"/a/b/c.pdf", false, true},  // "*" spans folders
        {"/search", true, true},
        {"/search?q=1", false, true},
        {"/members", true, false},
        {"/members/list", true, true}, // longer Allow
        {"/members/list/2", true, true},
        {"/members/other", true, false},
        {"/~user/page", true, false}, // "%7e" is "~"
        {"/%7Euser/page", true, false},
        {"/robots.txt", true, true}, // always readable
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(star.allowed(path), c.star) << c.path << " for *";
        EXPECT_EQ(ours.allowed(path), c.ours) << c.path << " for trawlex";
    }
    EXPECT_EQ(star.crawlDelay(), 2.5);
    EXPECT_EQ(ours.crawlDelay(), 7.0);
    // The agent is matched without regard to letter case; a group for another agent
    // that contains our name is not ours.
    EXPECT_FALSE(
        RobotsRules::parse(kSite, QStringLiteral("TRAWLEX")).allowed(QStringLiteral("/members")));
    EXPECT_TRUE(
        RobotsRules::parse("User-agent: trawlexbot\nDisallow: /\n", QStringLiteral("trawlex"))
            .allowed(QStringLiteral("/x")));
}

TEST(Robots, TieBetweenAllowAndDisallowAllows) {
    const RobotsRules r =
        RobotsRules::parse("User-agent: *\nDisallow: /page\nAllow: /page\n", QStringLiteral("x"));
    EXPECT_TRUE(r.allowed(QStringLiteral("/page")));
    const RobotsRules reversed =
        RobotsRules::parse("User-agent: *\nAllow: /page\nDisallow: /page\n", QStringLiteral("x"));
    EXPECT_TRUE(reversed.allowed(QStringLiteral("/page")));
}

TEST(Robots, OddAndHostileFiles) {
    const struct {
        QByteArray text;
        const char* path;
        bool allowed;
    } cases[] = {
        {"", "/x", true},
        {"garbage without colons\n\n", "/x", true},
        {"Disallow: /\n", "/x", true},              // no group: the rule applies to nobody
        {"User-agent: *\nDisallow:\n", "/x", true}, // empty Disallow allows all
        {"User-agent: *\r\nDisallow: /x\r\n", "/x/y", false}, // CR LF lines
        {"USER-AGENT: *\nDISALLOW: /x # comment\n", "/x", false},
        {"user-agent:*\ndisallow:/x\n", "/x", false},
        {"User-agent: *\nDisallow: /*\n", "/", false},
        {"User-agent: *\nDisallow: /$\n", "/", false},
        {"User-agent: *\nDisallow: /$\n", "/a", true},
        {"User-agent: *\nDisallow: /a%\n", "/a%", false}, // a broken escape stays as it is
    };
    for (const auto& c : cases) {
        const RobotsRules r = RobotsRules::parse(c.text, QStringLiteral("trawlex"));
        EXPECT_EQ(r.allowed(QString::fromUtf8(c.path)), c.allowed) << c.text.left(60).toStdString();
    }
}

TEST(Robots, ManyWildcardsOnALongPathStayQuick) {
    const RobotsRules r = RobotsRules::parse(
        "User-agent: *\nDisallow: /" + QByteArray(5000, '*') + "a*z\n", QStringLiteral("t"));
    const QString path = u'/' + QString(20000, u'a');
    EXPECT_TRUE(r.allowed(path));
    EXPECT_FALSE(r.allowed(path + u'z'));
}

TEST(Robots, CrawlDelayOnlyWhenValid) {
    const struct {
        const char* text;
        std::optional<double> delay;
    } cases[] = {
        {"User-agent: *\nCrawl-delay: 3\n", 3.0},
        {"User-agent: *\nCrawl-delay: 0.5\n", 0.5},
        {"User-agent: *\nCrawl-delay: soon\n", std::nullopt},
        {"User-agent: *\nCrawl-delay: -4\n", std::nullopt},
        {"User-agent: *\nCrawl-delay: 1e12\n", std::nullopt},
        {"User-agent: other\nCrawl-delay: 9\n", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RobotsRules::parse(c.text, QStringLiteral("trawlex")).crawlDelay(), c.delay)
            << c.text;
}

TEST(Robots, StatusDecidesWhenThereIsNoFile) {
    const QByteArray body = "User-agent: *\nDisallow: /x\n";
    const struct {
        int status;
        bool x;
        bool y;
    } cases[] = {
        {200, false, true},  {404, true, true},   {403, true, true},
        {500, false, false}, {503, false, false}, {301, false, false},
    };
    for (const auto& c : cases) {
        const RobotsRules r = batch::rulesForStatus(c.status, body, QStringLiteral("trawlex"));
        EXPECT_EQ(r.allowed(QStringLiteral("/x")), c.x) << c.status;
        EXPECT_EQ(r.allowed(QStringLiteral("/y")), c.y) << c.status;
    }
}

TEST(Robots, WhereTheFileIsRead) {
    EXPECT_EQ(batch::robotsUrlOf(QUrl(QStringLiteral("http://Example.com:8080/a/b?c"))),
              QUrl(QStringLiteral("http://example.com:8080/robots.txt")));
    EXPECT_EQ(batch::robotsUrlOf(QUrl(QStringLiteral("https://example.com/"))),
              QUrl(QStringLiteral("https://example.com/robots.txt")));
    EXPECT_TRUE(batch::robotsUrlOf(QUrl(QStringLiteral("file:///tmp/a.html"))).isEmpty());
    EXPECT_TRUE(batch::robotsUrlOf(QUrl(QStringLiteral("about:blank"))).isEmpty());
}

TEST(Robots, UrlsAreCheckedWithTheirQuery) {
    const RobotsRules r =
        RobotsRules::parse("User-agent: *\nDisallow: /list?page=3\n", QStringLiteral("t"));
    EXPECT_TRUE(r.allowed(QUrl(QStringLiteral("http://h/list?page=2"))));
    EXPECT_FALSE(r.allowed(QUrl(QStringLiteral("http://h/list?page=3"))));
    EXPECT_FALSE(r.allowed(QUrl(QStringLiteral("http://h/list?page=30"))));
}

} // namespace
