// Declarative templates as the program sees them: the IPlugin answers, the record text,
// page turns, followed pages through the service browser, loading from a file, and the
// demo site giving the same rows as the compiled demo template.
#include "DeclarativeTemplate.h"
#include "IPlugins.h"
#include "PrintQt.h"

#include "browser/HtmlDocument.h"
#include "orvo/IHTMLDocument2.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <map>

using namespace declarative;
using browser::OrvoRef;

namespace {

const QString kPageUrl = QStringLiteral("https://dir.example/list/page1.html");

QString q(const char* s) {
    return QString::fromUtf8(s);
}

IHTMLDocument2* parse(const QString& html, const QString& url) {
    HtmlSource source;
    source.html = html;
    source.url = url;
    return browser::CreateHtmlDocument(source);
}

// The template of json, owned by the caller (one reference).
DeclarativeTemplate* create(const QByteArray& json, const QString& file = q("/srv/t/x.orp.json")) {
    ParseResult r = ParseTemplate(json);
    EXPECT_TRUE(r.description) << r.error.toStdString();
    if (!r.description)
        return nullptr;
    return new DeclarativeTemplate(std::move(*r.description), file);
}

struct Owned {
    explicit Owned(DeclarativeTemplate* t) : p(t) {}
    ~Owned() {
        if (p)
            p->Release();
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    DeclarativeTemplate* operator->() const { return p; }
    DeclarativeTemplate* p;
};

QByteArray oneColumn(const QByteArray& column, const QByteArray& extra = {}) {
    return "{\"trawlex\": 1, \"name\": \"T\", \"records\": \"div.card\"" + extra +
           ", \"columns\": [" + column + "]}";
}

QStringList lines(const char16_t* data) {
    const QString text = FromTemplateText(data);
    return text.isEmpty() ? QStringList() : text.split(QStringLiteral("\r\n"));
}

constexpr char kCards[] = R"(<html><body>
<div class="card" id="c1">
  <h2 class="title"><a href="/firm/1">  Acme
     Plumbing </a></h2>
  <span itemprop="telephone">(319) 555-0192</span>
  <address><span class="street">1 Main St</span></address>
  <a class="site" href="https://acme.example/">web</a>
  <img src="../img/1.png">
  <p class="mail">info [at] acme [dot] example</p>
  <p class="cf"><a href="/cdn-cgi/l/email-protection" data-cfemail="422302206c212d">[email&#160;protected]</a></p>
  <p class="note">Line one<br>line two &#164; x</p>
  <p class="nbsp">A&nbsp;B</p>
</div>
<div class="card" id="c2"><h2 class="title">Bravo</h2></div>
</body></html>)";

struct FieldCase {
    const char* what;
    const char* column;
    const char* region; // the template's "region" or empty
    const char* first;  // the first record's field
    const char* second; // the second record's field
};
void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << c.what;
}

class Fields : public ::testing::TestWithParam<FieldCase> {};
TEST_P(Fields, GiveTheValueTheColumnDescribes) {
    const FieldCase& c = GetParam();
    const QByteArray region = *c.region ? ", \"region\": \"" + QByteArray(c.region) + "\"" : "";
    Owned t(create(oneColumn(c.column, region)));
    ASSERT_TRUE(t.p);
    OrvoRef<IHTMLDocument2> doc(parse(q(kCards), kPageUrl));
    const QStringList rows = lines(t->GetData(doc.get()));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], q(c.first));
    EXPECT_EQ(rows[1], q(c.second));
}

INSTANTIATE_TEST_SUITE_P(
    Template, Fields,
    ::testing::Values(
        FieldCase{"text collapsed", R"({"name": "N", "select": "h2.title"})", "", "Acme Plumbing",
                  "Bravo"},
        FieldCase{"no match is the marker", R"({"name": "N", "select": ".street"})", "",
                  "1 Main St", "\xc2\xa0"},
        FieldCase{"the record itself",
                  R"({"name": "N", "select": "", "pattern": "^\\S+(?: \\S+)?"})", "",
                  "Acme Plumbing", "Bravo"},
        FieldCase{"xpath", R"({"name": "N", "select": "xpath:.//address/span"})", "", "1 Main St",
                  "\xc2\xa0"},
        FieldCase{"href resolved", R"({"name": "N", "select": "h2 a", "attribute": "href"})", "",
                  "https://dir.example/firm/1", "\xc2\xa0"},
        FieldCase{"src resolved", R"({"name": "N", "select": "img", "attribute": "src"})", "",
                  "https://dir.example/img/1.png", "\xc2\xa0"},
        FieldCase{"other attributes as written",
                  R"({"name": "N", "select": "span[itemprop]", "attribute": "itemprop"})", "",
                  "telephone", "\xc2\xa0"},
        FieldCase{
            "pattern group",
            R"({"name": "N", "select": "a.site", "attribute": "href", "pattern": "//([^/]+)/"})",
            "", "acme.example", "\xc2\xa0"},
        FieldCase{"pattern without match", R"({"name": "N", "select": "h2", "pattern": "\\d{5}"})",
                  "", "\xc2\xa0", "\xc2\xa0"},
        FieldCase{"phone with region",
                  R"({"name": "N", "select": "[itemprop=telephone]", "clean": "phone"})", "US",
                  "+1 319-555-0192", "\xc2\xa0"},
        FieldCase{"phone without region",
                  R"({"name": "N", "select": "[itemprop=telephone]", "clean": "phone"})", "",
                  "(319) 555-0192", "\xc2\xa0"},
        FieldCase{"disguised e-mail", R"({"name": "N", "select": ".mail", "clean": "email"})", "",
                  "info@acme.example", "\xc2\xa0"},
        FieldCase{"protected e-mail", R"({"name": "N", "select": ".cf", "clean": "email"})", "",
                  "a@b.co", "\xc2\xa0"},
        FieldCase{"protected link's href",
                  R"({"name": "N", "select": ".cf a", "attribute": "href", "clean": "email"})", "",
                  "a@b.co", "\xc2\xa0"},
        FieldCase{"no separators in a field", R"({"name": "N", "select": ".note"})", "",
                  "Line one line two   x", "\xc2\xa0"},
        FieldCase{"no-break space kept", R"({"name": "N", "select": ".nbsp"})", "",
                  "A\xc2\xa0"
                  "B",
                  "\xc2\xa0"}));

TEST(Template, AnswersItsDescriptionLikeACompiledTemplate) {
    Owned t(create(R"({"trawlex": 1, "name": "US-CARDS", "author": "A. Author", "version": "2.1",
        "home": "pages/start.html", "records": "li",
        "columns": [{"name": "Name", "width": 220}, {"name": "Phone", "key": true},
                    {"name": "Street"}, {"name": "E-mail", "key": true, "follow": "a"}]})",
                   q("/srv/templates/us_cards.orp.json")));
    ASSERT_TRUE(t.p);
    EXPECT_EQ(FromTemplateText(t->GetName()), q("US-CARDS"));
    EXPECT_EQ(FromTemplateText(t->GetAuthor()), q("A. Author"));
    EXPECT_EQ(FromTemplateText(t->GetVersion()), q("2.1"));
    EXPECT_EQ(FromTemplateText(t->GetHomeURL()), q("file:///srv/templates/pages/start.html"));
    EXPECT_EQ(t->GetColumnCount(), 4);
    EXPECT_EQ(FromTemplateText(t->GetColumnNames()), q("Name|Phone|Street|E-mail"));
    EXPECT_EQ(FromTemplateText(t->GetColumnWidths()), q("220|100|100|100|"));
    EXPECT_EQ(FromTemplateText(t->GetDupeColumns()), q("1|0|1"));
    EXPECT_TRUE(t->GetUsesBrowser());
    EXPECT_FALSE(t->GetIsSlow());
    t->SetWantsEmail(1);
    EXPECT_TRUE(t->GetIsSlow());
}

struct HomeCase {
    const char* home;
    const char* url;
};
class Homes : public ::testing::TestWithParam<HomeCase> {};
TEST_P(Homes, AreAddressesOrPathsBesideTheFile) {
    Owned t(create(R"({"trawlex": 1, "name": "T", "records": "li", "columns": [{"name": "A"}],
                       "home": ")" +
                       QByteArray(GetParam().home) + "\"}",
                   q("/srv/tpl/t.orp.json")));
    ASSERT_TRUE(t.p);
    EXPECT_EQ(FromTemplateText(t->GetHomeURL()), q(GetParam().url));
    EXPECT_FALSE(t->GetUsesBrowser());
}
INSTANTIATE_TEST_SUITE_P(
    Template, Homes,
    ::testing::Values(HomeCase{"https://x.example/s?q=a b", "https://x.example/s?q=a b"},
                      HomeCase{"demo/index.html", "file:///srv/tpl/demo/index.html"},
                      HomeCase{"../site/a b.html", "file:///srv/site/a%20b.html"},
                      HomeCase{"/abs/p.html", "file:///abs/p.html"},
                      HomeCase{"file:///x/y.html", "file:///x/y.html"},
                      HomeCase{"", "about:blank"}));

TEST(Template, RecordsAreLinesOfFieldsInColumnOrder) {
    Owned t(create(R"({"trawlex": 1, "name": "T", "records": "xpath://div[@class='card']",
        "columns": [{"name": "A", "select": "h2"}, {"name": "B", "select": ".street"},
                    {"name": "C", "select": "a.site", "attribute": "href"}]})"));
    ASSERT_TRUE(t.p);
    OrvoRef<IHTMLDocument2> doc(parse(q(kCards), kPageUrl));
    EXPECT_EQ(FromTemplateText(t->GetData(doc.get())),
              q("Acme Plumbing\xc2\xa4"
                "1 Main St\xc2\xa4https://acme.example/\r\n"
                "Bravo\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
    OrvoRef<IHTMLDocument2> empty(parse(q("<p>none</p>"), kPageUrl));
    EXPECT_EQ(FromTemplateText(t->GetData(empty.get())), QString());
    EXPECT_EQ(FromTemplateText(t->GetData(nullptr)), QString());
}

TEST(Template, ACatastrophicPatternCostsABoundedTimeOverAWholePage) {
    // Two columns give up on every record; a sane pattern beside them keeps working.
    Owned t(create(R"json({"trawlex": 1, "name": "T", "records": "div.card",
        "columns": [{"name": "A", "select": "p", "pattern": "^(a+)+$"},
                    {"name": "B", "select": "p", "pattern": "^(a|aa)+$"},
                    {"name": "C", "select": "b", "pattern": "\\d+"}]})json"));
    ASSERT_TRUE(t.p);
    QString html;
    for (int i = 0; i < 2000; ++i)
        html += q("<div class=card><p>") + QString(30, u'a') + q("!</p><b>n%1</b></div>").arg(i);
    OrvoRef<IHTMLDocument2> doc(parse(html, kPageUrl));
    QElapsedTimer timer;
    timer.start();
    const QStringList rows = lines(t->GetData(doc.get()));
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_EQ(rows.size(), 2000); // every record still comes
    EXPECT_EQ(rows.value(0), q("\xc2\xa0\xc2\xa4\xc2\xa0\xc2\xa4"
                               "0"));
    EXPECT_EQ(rows.value(1999), q("\xc2\xa0\xc2\xa4\xc2\xa0\xc2\xa4"
                                  "1999"));
}

// --- page turns ---

OrvoBool next(DeclarativeTemplate* t, const QString& html, const QString& url, QString& to) {
    OrvoRef<IHTMLDocument2> doc(parse(html, url));
    const char16_t* out = nullptr;
    const OrvoBool more = t->GetNextPage(doc.get(), &out);
    to = FromTemplateText(out);
    return more;
}

TEST(PageTurns, LinkIsTheFirstMatchResolved) {
    Owned t(create(
        oneColumn(R"({"name": "A"})", R"(, "next": {"link": "a[rel=next], a.pager-next"})")));
    ASSERT_TRUE(t.p);
    QString to;
    EXPECT_TRUE(next(t.p,
                     q("<a class=pager-next href='p3.html'>3</a><a rel=next href='?p=2'>2</a>"),
                     kPageUrl, to));
    EXPECT_EQ(to, q("https://dir.example/list/p3.html"));
    EXPECT_FALSE(next(t.p, q("<a href='p3.html'>3</a>"), kPageUrl, to)); // the last page
    EXPECT_FALSE(next(t.p, q("<a rel=next>no address</a>"), kPageUrl, to));
}

TEST(PageTurns, UrlCountsPagesFromTheRunsStartUntilLast) {
    Owned t(create(oneColumn(
        R"({"name": "A"})",
        R"(, "next": {"url": "https://x.example/list?page={page}&n={page}", "last": 3})")));
    ASSERT_TRUE(t.p);
    const QString records = q("<div class=card>r</div>");
    QString to;
    t->SetStop(0);
    EXPECT_TRUE(next(t.p, records, q("https://x.example/start"), to));
    EXPECT_EQ(to, q("https://x.example/list?page=2&n=2"));
    EXPECT_TRUE(next(t.p, records, to, to));
    EXPECT_EQ(to, q("https://x.example/list?page=3&n=3"));
    EXPECT_FALSE(next(t.p, records, to, to)); // past "last"
    t->SetStop(0);                            // a new run starts counting again
    EXPECT_TRUE(next(t.p, records, q("https://x.example/list?page=3"), to));
    EXPECT_EQ(to, q("https://x.example/list?page=2&n=2"));
}

TEST(PageTurns, UrlEndsAtAPageWithoutRecords) {
    Owned t(create(oneColumn(R"({"name": "A"})", R"(, "next": {"url": "/list/{page}"})")));
    ASSERT_TRUE(t.p);
    QString to;
    t->SetStop(0);
    EXPECT_TRUE(next(t.p, q("<div class=card>r</div>"), kPageUrl, to));
    EXPECT_EQ(to, q("/list/2"));
    EXPECT_FALSE(next(t.p, q("<p>No more results</p>"), kPageUrl, to));
}

struct StayCase {
    const char* next;
    NextKind action;
};
class InPageKinds : public ::testing::TestWithParam<StayCase> {};
TEST_P(InPageKinds, TurnNoPageButDescribeTheirActionForTheHost) {
    Owned t(create(oneColumn(R"({"name": "A"})", QByteArray(", \"next\": ") + GetParam().next)));
    ASSERT_TRUE(t.p);
    QString to;
    EXPECT_FALSE(next(t.p, q("<div class=card>r</div><a rel=next href=x>n</a>"), kPageUrl, to));
    const NextAction a = t->nextAction();
    EXPECT_EQ(a.kind, GetParam().action);
    OrvoRef<IHTMLDocument2> doc(
        parse(q("<div class=card>1</div><div class=card>2</div>"), kPageUrl));
    EXPECT_EQ(t->RecordCount(doc.get()), 2);
}
INSTANTIATE_TEST_SUITE_P(PageTurns, InPageKinds,
                         ::testing::Values(StayCase{"{\"click\": \"button.more\", \"max\": 3}",
                                                    NextKind::Click},
                                           StayCase{"{\"scroll\": true}", NextKind::Scroll},
                                           StayCase{"{\"link\": \"a.none\"}", NextKind::None}));

// --- followed pages ---

// A service browser over pages held in memory; an address in `hanging` never completes.
// It lives on the test's stack; Release only counts.
class MemoryBrowser final : public IWebBrowser2 {
public:
    std::int32_t QueryInterface(const OrvoGuid&, void** object) override {
        *object = nullptr;
        return ORVO_E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    void Navigate(const char16_t* url) override {
        location = FromTemplateText(url);
        navigations.append(location);
        state = READYSTATE_LOADING;
    }
    std::int32_t GetReadyState() override { return state; }
    IHTMLDocument2* GetDocument() override {
        const auto page = pages.find(location);
        return page == pages.end() ? nullptr : parse(page->second, location);
    }
    const char16_t* GetLocationURL() override { return ToTemplateText(location); }
    void Stop() override { ++stops; }
    OrvoBool ProcessMessages(std::int32_t) override {
        ++slices;
        if (shuttingDown)
            return 0;
        if (whileWaiting)
            whileWaiting();
        if (!hanging.contains(location))
            state = READYSTATE_COMPLETE;
        return 1;
    }

    std::function<void()> whileWaiting; // the user's commands during a wait
    int slices = 0;
    std::uint32_t refs = 1;
    std::int32_t state = READYSTATE_COMPLETE;
    bool shuttingDown = false;
    int stops = 0;
    QString location;
    QStringList navigations;
    QSet<QString> hanging;
    std::map<QString, QString> pages;
};

constexpr char kFollowTemplate[] = R"json({"trawlex": 1, "name": "T", "records": "li",
    "columns": [{"name": "Name", "select": "a"},
                {"name": "E-mail", "follow": "a", "select": "a[href^='mailto:']",
                 "attribute": "href", "pattern": "^mailto:(.*)"},
                {"name": "Hours", "follow": "a", "select": ".hours"}]})json";

constexpr char kFollowList[] = R"(<ul><li><a href="d/1">One</a></li><li><a href="d/2">Two</a></li>
    <li><a href="d/1">One again</a></li><li>No link</li><li><a href="d/3">Slow</a></li></ul>)";

class Follow : public ::testing::Test {
protected:
    void SetUp() override {
        service.pages[q("https://dir.example/list/d/1")] =
            q("<a href='mailto:one@x.example'>m</a><p class=hours>9-5</p>");
        service.pages[q("https://dir.example/list/d/2")] = q("<p class=hours>never</p>");
        service.hanging.insert(q("https://dir.example/list/d/3"));
        t = create(kFollowTemplate);
        ASSERT_TRUE(t);
        t->SetServiceBrowser(&service);
    }
    void TearDown() override {
        if (t)
            t->Release();
        EXPECT_EQ(service.refs, 1u); // released with the template
    }
    QStringList capture() {
        OrvoRef<IHTMLDocument2> doc(parse(q(kFollowList), kPageUrl));
        return lines(t->GetData(doc.get()));
    }
    MemoryBrowser service;
    DeclarativeTemplate* t = nullptr;
};

TEST_F(Follow, ReadsFieldsOnTheLinkedPagesEachFetchedOncePerRun) {
    t->SetWantsEmail(1);
    t->SetStop(0);
    const QStringList rows = capture();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], q("One\xc2\xa4one@x.example\xc2\xa4"
                         "9-5"));
    EXPECT_EQ(rows[1], q("Two\xc2\xa4\xc2\xa0\xc2\xa4never"));
    EXPECT_EQ(rows[2], q("One again\xc2\xa4one@x.example\xc2\xa4"
                         "9-5"));
    EXPECT_EQ(rows[3], q("\xc2\xa0\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
    // A page that does not come in time gives empty fields, and the run goes on.
    EXPECT_EQ(rows[4], q("Slow\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
    EXPECT_EQ(service.stops, 1);
    EXPECT_EQ(service.navigations,
              QStringList({q("https://dir.example/list/d/1"), q("https://dir.example/list/d/2"),
                           q("https://dir.example/list/d/3")}));
    EXPECT_EQ(capture(), rows); // the same run: nothing fetched again
    EXPECT_EQ(service.navigations.size(), 3);
    t->SetStop(0); // the next run fetches afresh
    EXPECT_EQ(capture(), rows);
    EXPECT_EQ(service.navigations.size(), 6);
}

TEST_F(Follow, NothingIsFetchedWithoutTheExtrasSwitch) {
    t->SetStop(0);
    const QStringList rows = capture();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], q("One\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
    EXPECT_TRUE(service.navigations.isEmpty());
}

TEST_F(Follow, StopAndShutdownEndTheFetchingButKeepTheRecords) {
    t->SetWantsEmail(1);
    t->SetStop(1);
    EXPECT_EQ(capture().size(), 5);
    EXPECT_TRUE(service.navigations.isEmpty());

    t->SetStop(0);
    service.shuttingDown = true;
    const QStringList rows = capture();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], q("One\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
    EXPECT_EQ(service.navigations.size(), 1); // the browser is not asked again
}

TEST_F(Follow, APageThatNeverComesIsGivenUpAfterTwentySeconds) {
    t->SetWantsEmail(1);
    t->SetStop(0);
    service.pages.clear();
    service.hanging.insert(q("https://dir.example/list/d/1"));
    OrvoRef<IHTMLDocument2> doc(parse(q("<ul><li><a href='d/1'>One</a></li></ul>"), kPageUrl));
    EXPECT_EQ(lines(t->GetData(doc.get())), QStringList{q("One\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0")});
    EXPECT_EQ(service.slices, kFollowTimeoutMs / 10);
    EXPECT_EQ(service.stops, 1);
}

TEST_F(Follow, StoppingDuringAWaitEndsItAtOnce) {
    t->SetWantsEmail(1);
    t->SetStop(0);
    service.hanging.insert(q("https://dir.example/list/d/1"));
    service.whileWaiting = [this] {
        if (service.slices == 3)
            t->SetStop(1); // the user presses Capture again
    };
    const QStringList rows = capture();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(service.slices, 3);
    EXPECT_EQ(service.navigations.size(), 1);
}

TEST(FollowWithoutBrowser, GivesEmptyFields) {
    Owned t(create(kFollowTemplate));
    ASSERT_TRUE(t.p);
    t->SetWantsEmail(1);
    OrvoRef<IHTMLDocument2> doc(parse(q(kFollowList), kPageUrl));
    EXPECT_EQ(lines(t->GetData(doc.get())).value(0), q("One\xc2\xa4\xc2\xa0\xc2\xa4\xc2\xa0"));
}

// --- loading from a file ---

class Loading : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(Loading, AJsonFileBecomesADeclarativeTemplate) {
    const QString path = write(q("us_cards.orp.json"), oneColumn(R"({"name": "A"})"));
    PluginLoad load = TPlugin::Create(path);
    ASSERT_TRUE(load) << load.error.message.toStdString();
    ASSERT_NE(load.plugin->Declarative(), nullptr);
    EXPECT_EQ(FromTemplateText(load.plugin->Instance()->GetName()), q("T"));
    EXPECT_EQ(load.plugin->Instance()->GetColumnCount(), 1);
    // Told by content, not by name: JSON under a library's name loads as well.
    PluginLoad renamed = TPlugin::Create(write(q("us_cards.orp"), oneColumn(R"({"name": "A"})")));
    ASSERT_TRUE(renamed);
    EXPECT_NE(renamed.plugin->Declarative(), nullptr);
    // A bare name is found in the program folder.
    PluginLoad bare = TPlugin::Create(q("us_cards.orp.json"), dir.path());
    EXPECT_TRUE(bare);
}

struct RefusedFile {
    const char* name;
    QByteArray bytes;
    PluginErrorCode code;
    const char* message;
};
void PrintTo(const RefusedFile& c, std::ostream* os) {
    *os << c.name;
}
class RefusedFiles : public Loading, public ::testing::WithParamInterface<RefusedFile> {};
TEST_P(RefusedFiles, NameTheFileAndTheProblem) {
    const RefusedFile& c = GetParam();
    PluginLoad load = TPlugin::Create(write(q(c.name), c.bytes));
    EXPECT_FALSE(load);
    EXPECT_EQ(load.error.code, c.code);
    EXPECT_EQ(load.error.message, q(c.message));
}
INSTANTIATE_TEST_SUITE_P(
    Loading, RefusedFiles,
    ::testing::Values(
        RefusedFile{"us_a.orp.json", oneColumn(R"({"name": "A", "select": "a:foo"})"),
                    PluginErrorCode::InvalidTemplate,
                    "us_a.orp.json: columns[0].select: unknown pseudo-class ':foo'"},
        RefusedFile{"us_b.orp.json", QByteArray("{\"trawlex\": 1,\n \"name\": }"),
                    PluginErrorCode::InvalidTemplate,
                    "us_b.orp.json: line 2, column 11: object is missing after a comma"},
        RefusedFile{"us_c.orp.json", QByteArray("plain words"), PluginErrorCode::InvalidTemplate,
                    "us_c.orp.json: line 1, column 2: illegal value"},
        RefusedFile{"us_d.orp", QByteArray("\xFF\xFE{\0}\0", 6), PluginErrorCode::InvalidTemplate,
                    "us_d.orp: the file is UTF-16 or UTF-32 text; save it as UTF-8"},
        RefusedFile{"us_e.orp.json", QByteArray(2 * 1024 * 1024, ' ').prepend('{'),
                    PluginErrorCode::InvalidTemplate,
                    "us_e.orp.json: the file is over 1048576 bytes long"},
        // Neither JSON nor a library: the system loader's refusal, as before.
        RefusedFile{"us_f.orp", QByteArray("plain words"), PluginErrorCode::LoadFailed,
                    "Impossible to load DLL"}));

// --- the demo site, compiled and declarative ---

const QString kProgramDir = QStringLiteral(TRAWLEX_PROGRAM_DIR);

IHTMLDocument2* snapshot(const QString& url) {
    QFile f(QUrl(url).toLocalFile());
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    return parse(QString::fromUtf8(f.readAll()), url);
}

// Serves the demo site's files; every page comes at once.
class SiteBrowser final : public IWebBrowser2 {
public:
    std::int32_t QueryInterface(const OrvoGuid&, void** object) override {
        *object = nullptr;
        return ORVO_E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    void Navigate(const char16_t* url) override {
        location = FromTemplateText(url);
        ++navigations;
        state = READYSTATE_LOADING;
    }
    std::int32_t GetReadyState() override { return state; }
    IHTMLDocument2* GetDocument() override { return snapshot(location); }
    const char16_t* GetLocationURL() override { return ToTemplateText(location); }
    void Stop() override {}
    OrvoBool ProcessMessages(std::int32_t) override {
        state = READYSTATE_COMPLETE;
        return 1;
    }
    std::uint32_t refs = 1;
    std::int32_t state = READYSTATE_COMPLETE;
    QString location;
    int navigations = 0;
};

// A whole run as the program does it: from the template's home page, page after page
// until GetNextPage answers 0; the grid keeps a line once.
struct SiteRun {
    QStringList rows;
    int pages = 0;
};
SiteRun captureSite(IPlugin* plugin, bool extras) {
    SiteRun run;
    SiteBrowser service;
    plugin->SetServiceBrowser(&service);
    plugin->SetWantsEmail(extras ? 1 : 0);
    plugin->SetStop(0);
    QString url = FromTemplateText(plugin->GetHomeURL());
    QSet<QString> seen;
    while (run.pages < 20) {
        OrvoRef<IHTMLDocument2> doc(snapshot(url));
        if (!doc)
            break;
        ++run.pages;
        for (const QString& line : lines(plugin->GetData(doc.get())))
            if (!seen.contains(line)) {
                seen.insert(line);
                run.rows << line;
            }
        const char16_t* next = nullptr;
        if (!plugin->GetNextPage(doc.get(), &next))
            break;
        url = FromTemplateText(next);
    }
    plugin->SetServiceBrowser(nullptr);
    return run;
}

TEST(DemoSite, BothTemplatesGiveTheSameRows) {
    PluginLoad compiled = TPlugin::Create(kProgramDir + q("/us_demo_directory.orp"));
    PluginLoad json = TPlugin::Create(kProgramDir + q("/us_demo_directory.orp.json"));
    ASSERT_TRUE(compiled) << compiled.error.detail.toStdString();
    ASSERT_TRUE(json) << json.error.message.toStdString();
    ASSERT_EQ(compiled.plugin->Declarative(), nullptr);
    ASSERT_NE(json.plugin->Declarative(), nullptr);
    IPlugin* a = compiled.plugin->Instance();
    IPlugin* b = json.plugin->Instance();

    for (auto get : {&IPlugin::GetName, &IPlugin::GetColumnNames, &IPlugin::GetColumnWidths,
                     &IPlugin::GetDupeColumns, &IPlugin::GetHomeURL})
        EXPECT_EQ(QUrl(FromTemplateText((b->*get)())), QUrl(FromTemplateText((a->*get)())));
    EXPECT_EQ(b->GetColumnCount(), a->GetColumnCount());
    EXPECT_EQ(b->GetUsesBrowser(), a->GetUsesBrowser());

    for (bool extras : {true, false}) {
        const SiteRun one = captureSite(a, extras);
        const SiteRun two = captureSite(b, extras);
        EXPECT_EQ(two.pages, one.pages);
        EXPECT_EQ(two.rows, one.rows);
        EXPECT_EQ(two.rows.size(), 112);
        int withEmail = 0;
        for (const QString& row : two.rows)
            withEmail += row.section(u'\u00A4', 4).contains(u'@') ? 1 : 0;
        if (extras)
            EXPECT_GT(withEmail, 90);
        else
            EXPECT_EQ(withEmail, 0);
    }
}

} // namespace
