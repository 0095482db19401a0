// The detector on pages built here element by element, boxes included: which blocks are
// the records, what the columns are called and hold, the next control of every kind, and
// pages that try to break it.
#include "detect/Detect.h"

#include "plugins/DeclarativeFormat.h"
#include "tests/unit/plugins/PrintQt.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// Time budgets hold for the optimised build; unoptimised and sanitizer builds (the
// sanitizer run of the pure units) are many times slower by nature.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr qint64 kSlowBuild = 20;
#else
constexpr qint64 kSlowBuild = 1;
#endif

using detect::Box;
using detect::Element;
using detect::Page;

// Builds a page in document order: every add() appends below a parent already added.
struct PageBuilder {
    Page page;

    explicit PageBuilder(const QString& url = QStringLiteral("https://list.example/search")) {
        page.url = url;
        add(-1, QStringLiteral("html"), {}, {}, {0, 0, 1200, 3000});
        add(0, QStringLiteral("body"), {}, {}, {0, 0, 1200, 3000});
    }
    static constexpr int kBody = 1;

    int add(int parent, const QString& tag, const QString& classes = {}, const QString& text = {},
            Box box = {0, 0, 300, 20}, const QString& href = {}) {
        Element e;
        e.parent = parent;
        e.tag = tag;
        e.classes = classes.split(u' ', Qt::SkipEmptyParts);
        e.text = text;
        e.box = box;
        e.href = href;
        page.elements.push_back(e);
        return static_cast<int>(page.elements.size()) - 1;
    }
    Element& at(int i) { return page.elements[static_cast<std::size_t>(i)]; }

    // A menu of short links, the kind every page repeats in its header and footer.
    void menu(const QString& container, int count) {
        const int nav = add(kBody, container, QStringLiteral("site"), {}, {0, 0, 1200, 40});
        const int ul = add(nav, QStringLiteral("ul"), {}, {}, {0, 0, 1200, 40});
        for (int i = 0; i < count; ++i) {
            const int li = add(ul, QStringLiteral("li"), {}, {}, {i * 100.0, 0, 90, 40});
            add(li, QStringLiteral("a"), {}, QStringLiteral("Section %1").arg(i),
                {i * 100.0, 0, 90, 40}, QStringLiteral("https://list.example/s%1").arg(i));
        }
    }

    // A card: name link, phone (unless skipped), street, e-mail link and web site.
    int card(int parent, int i, const QString& classes = QStringLiteral("card"),
             bool phone = true) {
        const double y = 100 + i * 120.0;
        const int c = add(parent, QStringLiteral("div"), classes, {}, {200, y, 600, 110});
        const int h = add(c, QStringLiteral("h2"), QStringLiteral("name"), {}, {200, y, 600, 30});
        add(h, QStringLiteral("a"), {}, QStringLiteral("Business %1").arg(i), {200, y, 300, 30},
            QStringLiteral("https://list.example/biz/%1").arg(i));
        if (phone)
            add(c, QStringLiteral("span"), QStringLiteral("phone"),
                QStringLiteral("(319) 555-%1").arg(1000 + i), {200, y + 30, 200, 20});
        add(c, QStringLiteral("span"), QStringLiteral("street"),
            QStringLiteral("%1 Main St").arg(100 + i), {200, y + 50, 200, 20});
        add(c, QStringLiteral("a"), QStringLiteral("mail"), QStringLiteral("E-mail"),
            {200, y + 70, 100, 20}, QStringLiteral("mailto:b%1@biz.example").arg(i));
        add(c, QStringLiteral("a"), QStringLiteral("site"), QStringLiteral("Website"),
            {300, y + 70, 100, 20}, QStringLiteral("https://biz%1.example/").arg(i));
        return c;
    }
};

std::vector<int> recordsOf(const detect::Detection& d) {
    std::vector<int> r = d.records;
    std::sort(r.begin(), r.end());
    return r;
}

const declarative::Column* column(const declarative::Description& d, const QString& name) {
    for (const auto& c : d.columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

TEST(DetectRecords, CardsAmongMenusAndFooterWithNamedColumns) {
    PageBuilder b;
    b.menu(QStringLiteral("nav"), 8);
    const int list = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("results"));
    std::vector<int> cards;
    for (int i = 0; i < 10; ++i)
        cards.push_back(b.card(list, i));
    b.menu(QStringLiteral("footer"), 12);

    const detect::Detection d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal) << d.message.toStdString();
    EXPECT_EQ(recordsOf(d), cards);
    const declarative::Description& p = *d.proposal;
    EXPECT_EQ(p.records.text, QStringLiteral("div.card"));

    const auto* phone = column(p, QStringLiteral("Phone"));
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->select.text, QStringLiteral("span.phone"));
    EXPECT_EQ(phone->clean, declarative::Clean::Phone);
    // Written without a country code, the numbers are North American ones.
    EXPECT_EQ(p.region, QStringLiteral("US"));
    const auto* mail = column(p, QStringLiteral("E-mail"));
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->attribute, QStringLiteral("href"));
    EXPECT_EQ(mail->clean, declarative::Clean::Email);
    const auto* street = column(p, QStringLiteral("Address"));
    ASSERT_NE(street, nullptr);
    EXPECT_EQ(street->select.text, QStringLiteral("span.street"));
    const auto* web = column(p, QStringLiteral("Web"));
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->attribute, QStringLiteral("href"));
    EXPECT_EQ(web->select.text, QStringLiteral("a.site"));
    // The name comes first, as the page shows it, and is a key.
    EXPECT_EQ(p.columns.front().name, QStringLiteral("Text 1"));
    EXPECT_TRUE(p.columns.front().key);
    EXPECT_EQ(p.columns.front().select.text, QStringLiteral("a"));
    // Link words that every record repeats ("Website", "E-mail") are labels, no columns.
    QStringList names;
    for (const auto& c : p.columns)
        names.append(c.name);
    EXPECT_EQ(names.join(u','), QStringLiteral("Text 1,Link,Phone,Address,E-mail,Web"));
    EXPECT_EQ(d.message, QString());
}

TEST(DetectRecords, OptionalFieldMissingKeepsColumnsAligned) {
    PageBuilder b;
    const int list = b.add(PageBuilder::kBody, QStringLiteral("section"));
    std::vector<int> cards;
    for (int i = 0; i < 8; ++i)
        cards.push_back(b.card(list, i, QStringLiteral("card"), i % 3 != 0));
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(recordsOf(d), cards);
    const auto* phone = column(*d.proposal, QStringLiteral("Phone"));
    ASSERT_NE(phone, nullptr);
    // By class, not by place: where the phone is missing the street must not slip in, nor
    // the street split in two columns.
    EXPECT_EQ(phone->select.text, QStringLiteral("span.phone"));
    EXPECT_EQ(column(*d.proposal, QStringLiteral("Address 2")), nullptr);
    const auto* street = column(*d.proposal, QStringLiteral("Address"));
    ASSERT_NE(street, nullptr);
    EXPECT_EQ(street->select.text, QStringLiteral("span.street"));
}

TEST(DetectRecords, AdvertisingBlocksBetweenRecordsAreLeftOut) {
    PageBuilder b;
    const int list = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("results"));
    std::vector<int> cards;
    for (int i = 0; i < 9; ++i) {
        cards.push_back(b.card(list, i, QStringLiteral("card")));
        if (i % 4 == 1)
            b.card(list, 100 + i, QStringLiteral("card sponsored"));
    }
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(recordsOf(d), cards);
    EXPECT_EQ(d.proposal->records.text, QStringLiteral("div.card:not(.sponsored)"));
}

TEST(DetectRecords, TableRowsWithoutTheHeaderRow) {
    PageBuilder b;
    const int table =
        b.add(PageBuilder::kBody, QStringLiteral("table"), {}, {}, {0, 100, 900, 500});
    const int body = b.add(table, QStringLiteral("tbody"), {}, {}, {0, 100, 900, 500});
    const int head = b.add(body, QStringLiteral("tr"), {}, {}, {0, 100, 900, 20});
    for (const char* h : {"Name", "Phone", "City"})
        b.add(head, QStringLiteral("th"), {}, QString::fromUtf8(h));
    std::vector<int> rows;
    for (int i = 0; i < 6; ++i) {
        const int tr = b.add(body, QStringLiteral("tr"), {}, {}, {0, 120 + i * 20.0, 900, 20});
        rows.push_back(tr);
        b.add(tr, QStringLiteral("td"), {}, QStringLiteral("Firm %1").arg(i));
        b.add(tr, QStringLiteral("td"), {}, QStringLiteral("+1 319 555 01%1").arg(10 + i));
        b.add(tr, QStringLiteral("td"), {}, QStringLiteral("Springfield"));
    }
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(recordsOf(d), rows);
    EXPECT_EQ(d.proposal->records.text, QStringLiteral("tr:not(:first-child)"));
    const auto* phone = column(*d.proposal, QStringLiteral("Phone"));
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->select.text, QStringLiteral("td:nth-of-type(2)"));
    ASSERT_EQ(d.proposal->columns.size(), 3u);
}

TEST(DetectRecords, GridRowsGiveWayToTheCardsInThem) {
    PageBuilder b;
    const int grid = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("grid"));
    std::vector<int> cards;
    for (int row = 0; row < 4; ++row) {
        const int r = b.add(grid, QStringLiteral("div"), QStringLiteral("row"), {},
                            {0, row * 200.0, 1200, 200});
        for (int k = 0; k < 3; ++k) {
            const int c = b.card(r, row * 3 + k, QStringLiteral("col"));
            b.at(c).box = {k * 400.0, row * 200.0, 380, 190};
            cards.push_back(c);
        }
    }
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(recordsOf(d), cards);
}

TEST(DetectRecords, ClasslessListOfEntries) {
    PageBuilder b;
    b.menu(QStringLiteral("header"), 5);
    const int ul = b.add(PageBuilder::kBody, QStringLiteral("ul"));
    std::vector<int> items;
    for (int i = 0; i < 5; ++i) {
        const int li = b.add(ul, QStringLiteral("li"), {}, {}, {0, 100 + 50.0 * i, 800, 45});
        items.push_back(li);
        b.add(li, QStringLiteral("b"), {}, QStringLiteral("Shop %1").arg(i));
        b.add(li, QStringLiteral("i"), {}, QStringLiteral("info%1@shop.example").arg(i));
    }
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(recordsOf(d), items);
    EXPECT_EQ(d.proposal->records.text, QStringLiteral("body > ul > li"));
    const auto* mail = column(*d.proposal, QStringLiteral("E-mail"));
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->select.text, QStringLiteral("i"));
    EXPECT_EQ(mail->clean, declarative::Clean::Email);
}

TEST(DetectRecords, ASingleRecordInAResultList) {
    PageBuilder b;
    b.menu(QStringLiteral("nav"), 6);
    const int ul = b.add(PageBuilder::kBody, QStringLiteral("ul"), QStringLiteral("results"));
    const int li = b.add(ul, QStringLiteral("li"), {}, {}, {0, 100, 800, 80});
    b.add(li, QStringLiteral("h3"), {}, QStringLiteral("The only firm"));
    b.add(li, QStringLiteral("span"), {}, QStringLiteral("(319) 555-0100"));
    b.add(li, QStringLiteral("span"), {}, QStringLiteral("12 Elm Street"));
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal) << d.message.toStdString();
    EXPECT_EQ(recordsOf(d), std::vector<int>{li});
}

TEST(DetectRecords, NoListingsOnAnArticleOrAnEmptyPage) {
    PageBuilder b;
    b.menu(QStringLiteral("nav"), 6);
    const int article = b.add(PageBuilder::kBody, QStringLiteral("article"));
    b.add(article, QStringLiteral("h1"), {}, QStringLiteral("About us"));
    for (int i = 0; i < 6; ++i)
        b.add(article, QStringLiteral("p"), {},
              QStringLiteral("We have been in business since 19%1 and serve the whole county "
                             "with care.")
                  .arg(50 + i));
    const auto d = detect::detectListings(b.page);
    EXPECT_FALSE(d.proposal);
    EXPECT_EQ(d.message, QStringLiteral("no listings found"));

    // Blocks of one kind nested in one another, deeper than any page.
    PageBuilder nested;
    int parent = PageBuilder::kBody;
    for (int i = 0; i < 3000; ++i)
        parent = nested.add(parent, QStringLiteral("div"), {}, QStringLiteral("x"));
    const auto deep = detect::detectListings(nested.page);
    EXPECT_FALSE(deep.proposal);
    EXPECT_EQ(deep.message, QStringLiteral("no listings found"));

    const auto empty = detect::detectListings(Page{});
    EXPECT_FALSE(empty.proposal);
    EXPECT_TRUE(empty.message.startsWith(QStringLiteral("no listings found")));
}

// ---------------------------------------------------------------------------------------

struct NextCase {
    const char* what;
    std::function<void(PageBuilder&, int list)> build;
    declarative::NextKind kind;
    QString selector;
    bool xpath = false;
};

TEST(DetectNext, EveryKindOfNextControl) {
    const QString page2 = QStringLiteral("https://list.example/search?p=2");
    const std::vector<NextCase> cases = {
        {"rel=next link",
         [&](PageBuilder& b, int) {
             const int pager = b.add(PageBuilder::kBody, QStringLiteral("div"));
             const int a = b.add(pager, QStringLiteral("a"), {}, QStringLiteral("2"), {}, page2);
             b.at(a).rel = QStringLiteral("next");
         },
         declarative::NextKind::Link, QStringLiteral("a[rel~=next]")},
        {"link element in the head",
         [&](PageBuilder& b, int) {
             const int l = b.add(0, QStringLiteral("link"), {}, {}, {0, 0, 0, 0}, page2);
             b.at(l).rel = QStringLiteral("prefetch next");
             b.at(l).visible = false;
         },
         declarative::NextKind::Link, QStringLiteral("link[rel~=next]")},
        {"a link saying Next with a class",
         [&](PageBuilder& b, int) {
             const int pager = b.add(PageBuilder::kBody, QStringLiteral("div"));
             b.add(pager, QStringLiteral("a"), QStringLiteral("prev"), QStringLiteral("Previous"),
                   {}, page2);
             b.add(pager, QStringLiteral("a"), QStringLiteral("next-link"),
                   QStringLiteral("Next page"), {}, page2);
         },
         declarative::NextKind::Link, QStringLiteral("a.next-link")},
        {"an arrow with a label and nothing else",
         [&](PageBuilder& b, int) {
             const int pager = b.add(PageBuilder::kBody, QStringLiteral("div"));
             const int a = b.add(pager, QStringLiteral("a"), {}, QStringLiteral("›"), {}, page2);
             b.at(a).ariaLabel = QStringLiteral("Weiter");
         },
         declarative::NextKind::Link, QStringLiteral("a[aria-label=\"Weiter\"]")},
        {"a plain arrow link",
         [&](PageBuilder& b, int) {
             const int pager = b.add(PageBuilder::kBody, QStringLiteral("div"));
             b.add(pager, QStringLiteral("a"), {}, QStringLiteral("»"), {}, page2);
         },
         declarative::NextKind::Link, QStringLiteral("//a[normalize-space(.)='»']"), true},
        {"numbered pages, the current one marked on its list item",
         [&](PageBuilder& b, int) {
             const int ul =
                 b.add(PageBuilder::kBody, QStringLiteral("ul"), QStringLiteral("pages"));
             for (int n = 1; n <= 5; ++n) {
                 const int li =
                     b.add(ul, QStringLiteral("li"), n == 2 ? QStringLiteral("active") : QString());
                 b.add(li, QStringLiteral("a"), {}, QString::number(n), {},
                       QStringLiteral("https://list.example/search?p=%1").arg(n));
             }
         },
         declarative::NextKind::Link, QStringLiteral("li.active + li a")},
        {"numbered pages, the current one a bare number",
         [&](PageBuilder& b, int) {
             const int div =
                 b.add(PageBuilder::kBody, QStringLiteral("div"), {}, {}, {0, 0, 300, 20});
             b.at(div).id = QStringLiteral("paging");
             b.add(div, QStringLiteral("a"), {}, QStringLiteral("1"), {}, page2);
             b.add(div, QStringLiteral("strong"), {}, QStringLiteral("2"));
             b.add(div, QStringLiteral("a"), {}, QStringLiteral("3"), {}, page2);
         },
         declarative::NextKind::Link, QStringLiteral("div#paging > strong + a")},
        {"a load-more button",
         [&](PageBuilder& b, int) {
             const int btn = b.add(PageBuilder::kBody, QStringLiteral("button"), {},
                                   QStringLiteral("Load more"));
             b.at(btn).id = QStringLiteral("more");
         },
         declarative::NextKind::Click, QStringLiteral("button#more")},
        {"an endless page's trigger",
         [&](PageBuilder& b, int) {
             b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("infinite-loader"), {},
                   {0, 2000, 10, 10});
         },
         declarative::NextKind::Scroll, QString()},
        {"nothing: the last numbered page",
         [&](PageBuilder& b, int) {
             const int ul = b.add(PageBuilder::kBody, QStringLiteral("ul"));
             for (int n = 1; n <= 3; ++n) {
                 const int li = b.add(ul, QStringLiteral("li"));
                 const int a = b.add(li, QStringLiteral("a"), {}, QString::number(n), {}, page2);
                 if (n == 3)
                     b.at(a).ariaCurrent = QStringLiteral("page");
             }
         },
         declarative::NextKind::None, QString()},
        {"nothing but a More link inside each record", [&](PageBuilder&, int) {},
         declarative::NextKind::None, QString()},
    };
    for (const NextCase& c : cases) {
        PageBuilder b;
        const int list = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("list"));
        for (int i = 0; i < 5; ++i) {
            const int card = b.card(list, i);
            // A link in every record that reads like a page control must not be taken.
            b.add(card, QStringLiteral("a"), QStringLiteral("more"), QStringLiteral("Show more"),
                  {}, QStringLiteral("https://list.example/biz/%1#more").arg(i));
        }
        c.build(b, list);
        const auto d = detect::detectListings(b.page);
        ASSERT_TRUE(d.proposal) << c.what;
        EXPECT_EQ(d.proposal->next.kind, c.kind) << c.what;
        EXPECT_EQ(d.proposal->next.selector.text, c.selector) << c.what;
        EXPECT_EQ(d.proposal->next.selector.xpath, c.xpath) << c.what;
    }
}

// ---------------------------------------------------------------------------------------

TEST(DetectBounds, HostilePagesEndQuickly) {
    // Parents that point forward or nowhere, a chain far deeper than any page, and a
    // flat page at the element bound: an answer, quickly, each time.
    Page loops;
    for (int i = 0; i < 1000; ++i) {
        Element e;
        e.tag = QStringLiteral("div");
        e.parent = i % 3 == 0 ? i + 5 : (i % 3 == 1 ? -7 : i - 1);
        e.text = QStringLiteral("x");
        loops.elements.push_back(e);
    }
    Page deep;
    for (int i = 0; i < 20000; ++i) {
        Element e;
        e.tag = i % 2 ? QStringLiteral("div") : QStringLiteral("span");
        e.parent = i - 1;
        e.text = QStringLiteral("level");
        e.box = {0, 0, 100, 10};
        deep.elements.push_back(e);
    }
    Page flat;
    Element body;
    body.tag = QStringLiteral("body");
    flat.elements.push_back(body);
    for (int i = 0; i < detect::kMaxElements + 5000; ++i) {
        Element e;
        e.tag = QStringLiteral("p");
        e.parent = 0;
        e.text = QStringLiteral("same");
        flat.elements.push_back(e);
    }
    for (const Page* p : {&loops, &deep, &flat}) {
        QElapsedTimer clock;
        clock.start();
        const auto d = detect::detectListings(*p);
        EXPECT_LT(clock.elapsed(), 2000 * kSlowBuild) << p->elements.size();
        EXPECT_TRUE(d.proposal || !d.message.isEmpty());
    }
}

TEST(DetectBounds, ARecordCutShortAtTheElementBoundKeepsTheRest) {
    // The engine stops collecting at its bound, possibly inside a record: the records
    // before it are still found.
    PageBuilder b;
    std::vector<int> items;
    for (int i = 0; i < 50; ++i) {
        const int c = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("card"));
        items.push_back(c);
        b.add(c, QStringLiteral("b"), {}, QStringLiteral("Firm %1").arg(i));
        if (i < 49)
            b.add(c, QStringLiteral("i"), {}, QStringLiteral("%1 Main St").arg(100 + i));
    }
    b.page.truncated = true;
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal) << d.message.toStdString();
    EXPECT_EQ(recordsOf(d), items);
}

TEST(DetectBounds, AThousandListingsInWellUnderTheBudget) {
    PageBuilder b;
    b.menu(QStringLiteral("nav"), 10);
    const int list = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("results"));
    for (int i = 0; i < 1000; ++i)
        b.card(list, i);
    QElapsedTimer clock;
    clock.start();
    const auto d = detect::detectListings(b.page);
    const qint64 ms = clock.elapsed();
    ASSERT_TRUE(d.proposal);
    EXPECT_EQ(d.records.size(), 1000u);
    EXPECT_LT(ms, 300 * kSlowBuild);
}

// ---------------------------------------------------------------------------------------

TEST(DetectTemplate, ProposalReadsBackAsATemplate) {
    PageBuilder b;
    const int list = b.add(PageBuilder::kBody, QStringLiteral("div"), QStringLiteral("results"));
    for (int i = 0; i < 4; ++i)
        b.card(list, i);
    const int more =
        b.add(PageBuilder::kBody, QStringLiteral("a"), {}, QStringLiteral("Next \"it's\""), {},
              QStringLiteral("https://list.example/?p=2"));
    Q_UNUSED(more)
    const auto d = detect::detectListings(b.page);
    ASSERT_TRUE(d.proposal);
    for (auto kind : {declarative::NextKind::None, declarative::NextKind::Link,
                      declarative::NextKind::Click, declarative::NextKind::Scroll}) {
        declarative::Description p = *d.proposal;
        p.next.kind = kind;
        // Quotes of both kinds survive the writing.
        const bool xpath = kind == declarative::NextKind::Click;
        p.next.selector = {xpath ? QStringLiteral("//button[@title='say \"more\"']")
                                 : QStringLiteral("a[title=\"x\\\"y\"]"),
                           xpath};
        p.next.max = 7;
        const auto parsed = declarative::ParseTemplate(detect::templateJson(p));
        ASSERT_TRUE(parsed.description) << parsed.error.toStdString();
        const declarative::Description& r = *parsed.description;
        EXPECT_EQ(r.name, p.name);
        EXPECT_EQ(r.home, QStringLiteral("https://list.example/search"));
        EXPECT_EQ(r.records.text, p.records.text);
        ASSERT_EQ(r.columns.size(), p.columns.size());
        for (std::size_t i = 0; i < r.columns.size(); ++i) {
            EXPECT_EQ(r.columns[i].name, p.columns[i].name);
            EXPECT_EQ(r.columns[i].select.text, p.columns[i].select.text);
            EXPECT_EQ(r.columns[i].attribute, p.columns[i].attribute);
            EXPECT_EQ(r.columns[i].clean, p.columns[i].clean);
            EXPECT_EQ(r.columns[i].key, p.columns[i].key);
            EXPECT_EQ(r.columns[i].width, p.columns[i].width);
        }
        EXPECT_EQ(r.next.kind, kind);
        if (kind == declarative::NextKind::Link || kind == declarative::NextKind::Click) {
            EXPECT_EQ(r.next.selector.text, p.next.selector.text);
            EXPECT_EQ(r.next.selector.xpath, p.next.selector.xpath);
        }
        if (kind == declarative::NextKind::Click || kind == declarative::NextKind::Scroll) {
            EXPECT_EQ(r.next.max, 7);
        }
    }
}

TEST(DetectCollected, AnswersOfThePageScript) {
    const auto ok = detect::parseCollected(
        R"({"url":"https://x.example/","truncated":true,"e":[
            [-1,"HTML","","","","","","","",0,0,800,600,1],
            [0,"a","top","btn  next ","Next","https://x.example/2","next","Go on","",10,20,30,40,1],
            [9,"p","","","  hidden ","","","","",0,0,0,0,0]]})");
    ASSERT_TRUE(ok.page) << ok.error.toStdString();
    const Page& p = *ok.page;
    EXPECT_TRUE(p.truncated);
    ASSERT_EQ(p.elements.size(), 3u);
    EXPECT_EQ(p.elements[0].tag, QStringLiteral("html"));
    EXPECT_EQ(p.elements[1].classes, (QStringList{QStringLiteral("btn"), QStringLiteral("next")}));
    EXPECT_EQ(p.elements[1].rel, QStringLiteral("next"));
    EXPECT_EQ(p.elements[1].ariaLabel, QStringLiteral("Go on"));
    EXPECT_EQ(p.elements[1].box.h, 40);
    EXPECT_EQ(p.elements[2].parent, -1); // a parent after the element is none
    EXPECT_FALSE(p.elements[2].visible);

    for (const char* bad :
         {"", "not json", "[1,2]", "{\"e\":5}", "{\"e\":[[0,\"a\"]]}", "{\"e\":[\"text\"]}"}) {
        const auto r = detect::parseCollected(QByteArray(bad));
        EXPECT_FALSE(r.page) << bad;
        EXPECT_FALSE(r.error.isEmpty()) << bad;
    }
}

} // namespace

namespace {

TEST(DetectInPage, ThroughAScriptRunner) {
    // A page whose engine answers the collecting script with a small list.
    QByteArray elements = R"([-1,"html","","","","","","","",0,0,1000,900,1],)"
                          R"([0,"body","","","","","","","",0,0,1000,900,1],)"
                          R"([1,"ul","","results","","","","","",0,0,800,600,1])";
    for (int i = 0; i < 4; ++i) {
        const int li = 3 + i * 3;
        elements +=
            QStringLiteral(R"(,[2,"li","","","","","","","",0,%1,800,50,1])"
                           R"(,[%2,"b","","","Firm %3","","","","",0,%1,200,20,1])"
                           R"(,[%2,"span","","","(319) 555-01%3%3","","","","",0,%1,200,20,1])")
                .arg(i * 60)
                .arg(li)
                .arg(i)
                .toUtf8();
    }
    const QString answer = QString::fromUtf8(
        R"({"url":"https://x.example/","truncated":false,"e":[)" + elements + "]}");
    QString asked;
    const auto found = detect::detectInPage([&](const QString& script) {
        asked = script;
        return std::optional<QVariant>(answer);
    });
    EXPECT_EQ(asked, detect::collectScript());
    ASSERT_TRUE(found.detection.proposal) << found.detection.message.toStdString();
    EXPECT_EQ(found.detection.records.size(), 4u);
    EXPECT_EQ(found.detection.proposal->records.text, QStringLiteral("li"));
    EXPECT_FALSE(found.truncated);

    // No answer in time, an answer of the wrong type, a wrong text: a message, no proposal.
    const std::vector<std::optional<QVariant>> failures = {std::nullopt, QVariant(42),
                                                           QVariant(QStringLiteral("{\"e\": 1}"))};
    for (const auto& f : failures) {
        const auto r = detect::detectInPage([&](const QString&) { return f; });
        EXPECT_FALSE(r.detection.proposal);
        EXPECT_FALSE(r.detection.message.isEmpty());
    }
}

} // namespace
