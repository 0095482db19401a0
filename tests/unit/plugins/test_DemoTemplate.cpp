// The bundled demo template against the bundled demo site, loaded through the program's
// loader and fed the program's document snapshots.
#include "IPlugins.h"
#include "PrintQt.h"

#include "browser/HtmlDocument.h"
#include "orvo/IWebBrowser2.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

using browser::OrvoRef;

const QString kProgramDir = QStringLiteral(TRAWLEX_PROGRAM_DIR);

QString siteFile(const QString& name) {
    return kProgramDir + QStringLiteral("/demo/") + name;
}

IHTMLDocument2* document(const QString& html, const QString& url) {
    HtmlSource source;
    source.html = html;
    source.url = url;
    return browser::CreateHtmlDocument(source);
}

IHTMLDocument2* snapshot(const QString& url) {
    QFile f(QUrl(url).toLocalFile());
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    return document(QString::fromUtf8(f.readAll()), url);
}

QString fileUrl(const QString& name) {
    return QUrl::fromLocalFile(siteFile(name)).toString();
}

// A service browser that "loads" a page of the demo site while the template lets the
// program handle its messages. It lives on the test's stack; Release only counts.
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
        navigations.append(location);
        state = READYSTATE_LOADING;
    }
    std::int32_t GetReadyState() override { return state; }
    IHTMLDocument2* GetDocument() override {
        return state == READYSTATE_COMPLETE ? snapshot(location) : nullptr;
    }
    const char16_t* GetLocationURL() override { return ToTemplateText(location); }
    void Stop() override {}
    OrvoBool ProcessMessages(std::int32_t) override {
        if (shuttingDown)
            return 0;
        state = READYSTATE_COMPLETE;
        return 1;
    }

    std::uint32_t refs = 1;
    std::int32_t state = READYSTATE_COMPLETE;
    bool shuttingDown = false;
    QString location;
    QStringList navigations;
};

class DemoTemplate : public ::testing::Test {
protected:
    void SetUp() override {
        load = TPlugin::Create(kProgramDir + QStringLiteral("/us_demo_directory.orp"));
        ASSERT_TRUE(load) << load.error.detail.toStdString();
        plugin = load.plugin->Instance();
    }
    QStringList records(const QString& page) {
        OrvoRef<IHTMLDocument2> doc(snapshot(fileUrl(page)));
        EXPECT_TRUE(doc);
        const QString text = FromTemplateText(plugin->GetData(doc.get()));
        return text.isEmpty() ? QStringList() : text.split(QStringLiteral("\r\n"));
    }
    PluginLoad load;
    IPlugin* plugin = nullptr;
};

TEST_F(DemoTemplate, DescribesItsColumnsAndPointsAtTheSiteBesideIt) {
    EXPECT_EQ(FromTemplateText(plugin->GetName()), QStringLiteral("US-DEMO"));
    EXPECT_EQ(plugin->GetColumnCount(), 5);
    EXPECT_EQ(FromTemplateText(plugin->GetColumnNames()).split(u'|').size(), 5);
    EXPECT_EQ(FromTemplateText(plugin->GetColumnWidths()).count(u'|'), 5);
    EXPECT_TRUE(plugin->GetUsesBrowser());
    const QUrl home(FromTemplateText(plugin->GetHomeURL()));
    EXPECT_TRUE(home.isLocalFile());
    EXPECT_EQ(QFileInfo(home.toLocalFile()).canonicalFilePath(),
              QFileInfo(siteFile(QStringLiteral("index.html"))).canonicalFilePath());
}

TEST_F(DemoTemplate, ReadsEveryListingOfAResultsPage) {
    const QStringList lines = records(QStringLiteral("results-1.html"));
    ASSERT_EQ(lines.size(), 20);
    for (const QString& line : lines) {
        const QStringList fields = line.split(u'\u00A4');
        ASSERT_EQ(fields.size(), 5) << line.toStdString();
        for (int i = 0; i < 4; ++i)
            EXPECT_FALSE(fields[i].trimmed().isEmpty()) << line.toStdString();
        EXPECT_TRUE(fields[3].contains(QStringLiteral("555-01"))) << line.toStdString();
        // Extras off: no e-mail, only the no-value marker.
        EXPECT_EQ(fields[4], QStringLiteral("\u00A0"));
    }
    // Text with letters beyond ASCII arrives intact (the site has several such names).
    bool nonAscii = false;
    for (int p = 1; p <= 6; ++p)
        for (const QString& line : records(QStringLiteral("results-%1.html").arg(p)))
            for (QChar c : line)
                nonAscii = nonAscii || (c.unicode() > 0x7F && c != u'\u00A4' && c != u'\u00A0');
    EXPECT_TRUE(nonAscii);
}

TEST_F(DemoTemplate, ReportsTheNextPageUntilTheLast) {
    int pages = 1;
    QString url = fileUrl(QStringLiteral("results-1.html"));
    for (;;) {
        OrvoRef<IHTMLDocument2> doc(snapshot(url));
        ASSERT_TRUE(doc) << url.toStdString();
        const char16_t* next = nullptr;
        if (!plugin->GetNextPage(doc.get(), &next))
            break;
        url = FromTemplateText(next);
        ++pages;
        ASSERT_LT(pages, 10);
    }
    EXPECT_EQ(pages, 6);
    EXPECT_EQ(url, fileUrl(QStringLiteral("results-6.html")));
}

TEST_F(DemoTemplate, WithExtrasFetchesEachDetailPageOnceForItsEmail) {
    SiteBrowser service;
    plugin->SetServiceBrowser(&service);
    EXPECT_EQ(service.refs, 2u); // the template keeps the browser it was handed
    plugin->SetWantsEmail(1);
    plugin->SetStop(0);

    const QStringList lines = records(QStringLiteral("results-2.html"));
    ASSERT_EQ(lines.size(), 20);
    EXPECT_EQ(service.navigations.size(), 20);
    int withEmail = 0;
    for (const QString& line : lines) {
        const QString email = line.split(u'\u00A4').value(4);
        if (email != QStringLiteral("\u00A0")) {
            EXPECT_TRUE(email.contains(u'@')) << line.toStdString();
            ++withEmail;
        }
    }
    EXPECT_GT(withEmail, 10);
    EXPECT_LT(withEmail, 20); // some listings show no address

    // The same page again: every detail page is already known.
    EXPECT_EQ(records(QStringLiteral("results-2.html")), lines);
    EXPECT_EQ(service.navigations.size(), 20);

    load.plugin.reset();
    EXPECT_EQ(service.refs, 1u); // released with the template
}

TEST_F(DemoTemplate, StopsFetchingWhenStoppedOrShuttingDown) {
    SiteBrowser service;
    plugin->SetServiceBrowser(&service);
    plugin->SetWantsEmail(1);

    plugin->SetStop(1);
    for (const QString& line : records(QStringLiteral("results-3.html")))
        EXPECT_EQ(line.split(u'\u00A4').value(4), QStringLiteral("\u00A0"));
    EXPECT_TRUE(service.navigations.isEmpty());

    plugin->SetStop(0);
    service.shuttingDown = true;
    const QStringList lines = records(QStringLiteral("results-4.html"));
    EXPECT_EQ(lines.size(), 20); // the records still come, without addresses
    for (const QString& line : lines)
        EXPECT_EQ(line.split(u'\u00A4').value(4), QStringLiteral("\u00A0"));
    load.plugin.reset();
}

TEST_F(DemoTemplate, AnswersNothingForAPageThatIsNotItsSite) {
    EXPECT_TRUE(FromTemplateText(plugin->GetData(nullptr)).isEmpty());
    OrvoRef<IHTMLDocument2> doc(document(QStringLiteral("<html><body><p>Nothing</p></body></html>"),
                                         QStringLiteral("http://127.0.0.1/")));
    ASSERT_TRUE(doc);
    EXPECT_TRUE(FromTemplateText(plugin->GetData(doc.get())).isEmpty());
    const char16_t* next = nullptr;
    EXPECT_FALSE(plugin->GetNextPage(doc.get(), &next));
    EXPECT_EQ(next, nullptr);
}

} // namespace
