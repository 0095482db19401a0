#include "DeclarativeTemplate.h"

#include "DeclarativeFields.h"
#include "IPlugins.h"

#include "orvo/IHTMLDocument2.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <vector>

namespace declarative {

namespace {

using orvo::Ref;

std::u16string u16(const QString& s) {
    return s.toStdU16String();
}

QString read(const char16_t* text) {
    return FromTemplateText(text);
}

std::vector<Ref<IHTMLElement>> items(IHTMLElementCollection* owned) {
    auto list = Ref<IHTMLElementCollection>::adopt(owned);
    std::vector<Ref<IHTMLElement>> out;
    const std::int32_t n = list ? list->GetLength() : 0;
    out.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (std::int32_t i = 0; i < n; ++i)
        if (auto e = Ref<IHTMLElement>::adopt(list->Item(i)))
            out.push_back(std::move(e));
    return out;
}

std::vector<Ref<IHTMLElement>> allIn(IHTMLDocument2* doc, const Query& q) {
    const std::u16string text = u16(q.text);
    return items(q.xpath ? doc->SelectNodes(text.c_str()) : doc->QuerySelectorAll(text.c_str()));
}

// The first match below scope; the scope itself for an empty query.
Ref<IHTMLElement> firstIn(IHTMLElement* scope, const Query& q) {
    if (q.empty())
        return Ref<IHTMLElement>::share(scope);
    const std::u16string text = u16(q.text);
    return Ref<IHTMLElement>::adopt(q.xpath ? scope->SelectSingleNode(text.c_str())
                                            : scope->QuerySelector(text.c_str()));
}

// The first match in the page; the root element for an empty query.
Ref<IHTMLElement> firstIn(IHTMLDocument2* doc, const Query& q) {
    if (q.empty())
        return Ref<IHTMLElement>::adopt(doc->GetDocumentElement());
    const std::u16string text = u16(q.text);
    return Ref<IHTMLElement>::adopt(q.xpath ? doc->SelectSingleNode(text.c_str())
                                            : doc->QuerySelector(text.c_str()));
}

QString attribute(IHTMLElement* e, const char16_t* name) {
    return read(e->GetAttribute(name));
}

// An address behind the CDN's e-mail protection, on the element or below it.
QString protectedEmail(IHTMLElement* e) {
    if (QString a = DecodeCfEmail(attribute(e, u"data-cfemail")); !a.isEmpty())
        return a;
    if (QString a = CleanEmail(attribute(e, u"href")); !a.isEmpty())
        return a;
    if (auto inner = Ref<IHTMLElement>::adopt(e->QuerySelector(u"[data-cfemail]")))
        if (QString a = DecodeCfEmail(attribute(inner.get(), u"data-cfemail")); !a.isEmpty())
            return a;
    if (auto link =
            Ref<IHTMLElement>::adopt(e->QuerySelector(u"a[href*='/cdn-cgi/l/email-protection#']")))
        return CleanEmail(attribute(link.get(), u"href"));
    return {};
}

// The patterns' give-ups on one page. Each give-up costs the matcher's whole step limit;
// once a page has had kMaxGiveUps of them, the patterns that gave up there are not run
// again on it (their fields stay empty), so a pathological pattern costs a page a bounded
// time whatever its number of records and columns.
class PatternBudget {
public:
    static constexpr int kMaxGiveUps = 20;
    explicit PatternBudget(std::size_t columns) : m_gaveUp(columns, false) {}
    bool exhausted(std::size_t column) const { return m_total >= kMaxGiveUps && m_gaveUp[column]; }
    void gaveUp(std::size_t column) {
        m_gaveUp[column] = true;
        ++m_total;
    }

private:
    std::vector<bool> m_gaveUp;
    int m_total = 0;
};

// The field's value from element e (null: nothing matched), before RecordField.
QString fieldValue(IHTMLElement* e, const Column& c, std::size_t column, PatternBudget& budget,
                   const QString& pageUrl, const QString& region) {
    if (e == nullptr)
        return {};
    QString value;
    if (c.attribute.isEmpty()) {
        value = CollapseBlanks(read(e->GetInnerText()));
    } else {
        value = attribute(e, u16(c.attribute).c_str());
        if (c.attribute == QLatin1String("href") || c.attribute == QLatin1String("src"))
            value = ResolveAddress(pageUrl, value);
    }
    if (c.pattern) {
        if (budget.exhausted(column)) {
            value.clear();
        } else {
            const Regex::Result r = c.pattern->Match(value);
            if (r.outcome == Regex::Outcome::GaveUp)
                budget.gaveUp(column);
            value = r.outcome == Regex::Outcome::Match ? r.value : QString();
        }
    }
    switch (c.clean) {
    case Clean::Text:
        return CollapseBlanks(value);
    case Clean::Phone:
        return CleanPhone(value, region);
    case Clean::Email:
        if (QString address = CleanEmail(value); !address.isEmpty())
            return address;
        return protectedEmail(e);
    }
    return {};
}

QString homeAddress(const QString& home, const QString& templateFile) {
    if (home.isEmpty())
        return QStringLiteral("about:blank");
    const qsizetype colon = home.indexOf(u':');
    // A scheme of two letters or more: an address ("C:" is no concern on this system).
    if (colon > 1 && !home.left(colon).contains(u'/'))
        return home;
    const QString dir = QFileInfo(templateFile).absolutePath();
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(dir).absoluteFilePath(home)))
        .toString(QUrl::FullyEncoded);
}

} // namespace

DeclarativeTemplate::DeclarativeTemplate(Description description, const QString& templateFile)
    : m_d(std::move(description)), m_home(homeAddress(m_d.home, templateFile)) {
    for (const Column& c : m_d.columns)
        m_follows = m_follows || !c.follow.empty();
}

const char16_t* DeclarativeTemplate::keepText(const QString& text, int slot) {
    return keep(u16(text), slot);
}

const char16_t* DeclarativeTemplate::GetName() {
    return keepText(m_d.name, 0);
}
const char16_t* DeclarativeTemplate::GetHomeURL() {
    return keepText(m_home, 2);
}
const char16_t* DeclarativeTemplate::GetAuthor() {
    return keepText(m_d.author, 0);
}
const char16_t* DeclarativeTemplate::GetVersion() {
    return keepText(m_d.version, 0);
}

const char16_t* DeclarativeTemplate::GetColumnNames() {
    QStringList names;
    for (const Column& c : m_d.columns)
        names << c.name;
    return keepText(names.join(u'|'), 0);
}

const char16_t* DeclarativeTemplate::GetColumnWidths() {
    QString widths;
    for (const Column& c : m_d.columns)
        widths += QString::number(c.width) + u'|';
    return keepText(widths, 0);
}

std::int32_t DeclarativeTemplate::GetColumnCount() {
    return static_cast<std::int32_t>(m_d.columns.size());
}

const char16_t* DeclarativeTemplate::GetDupeColumns() {
    QStringList keys;
    for (std::size_t i = 1; i < m_d.columns.size(); ++i)
        keys << (m_d.columns[i].key ? QStringLiteral("1") : QStringLiteral("0"));
    return keepText(keys.join(u'|'), 0);
}

OrvoBool DeclarativeTemplate::GetUsesBrowser() {
    return m_follows ? 1 : 0;
}

OrvoBool DeclarativeTemplate::GetIsSlow() {
    return m_follows && wantsEmail() ? 1 : 0;
}

void DeclarativeTemplate::SetStop(OrvoBool stop) {
    PluginBase::SetStop(stop);
    if (!stop) {
        // A new run: pages are counted from the one on show, followed pages fetched anew.
        m_page = 1;
        m_followed.clear();
        m_browserGone = false;
    }
}

int DeclarativeTemplate::RecordCount(IHTMLDocument2* document) const {
    if (!document)
        return 0;
    const std::u16string text = u16(m_d.records.text);
    auto list = Ref<IHTMLElementCollection>::adopt(m_d.records.xpath
                                                       ? document->SelectNodes(text.c_str())
                                                       : document->QuerySelectorAll(text.c_str()));
    return list ? list->GetLength() : 0;
}

bool DeclarativeTemplate::waitForPage(IWebBrowser2* browser) {
    // Time counted in the slices handed to the program, as the kit's own wait does.
    constexpr std::int32_t slice = 10;
    for (std::int32_t waited = 0;; waited += slice) {
        if (browser->GetReadyState() == READYSTATE_COMPLETE)
            return true;
        if (waited >= kFollowTimeoutMs || stopRequested())
            return false;
        if (!browser->ProcessMessages(slice)) {
            m_browserGone = true; // shutting down, or the browser is gone
            return false;
        }
    }
}

const DeclarativeTemplate::FollowedPage& DeclarativeTemplate::follow(const QString& address) {
    if (auto known = m_followed.find(address); known != m_followed.end())
        return known->second;
    static const FollowedPage nothing;
    IWebBrowser2* browser = serviceBrowser();
    if (!browser || m_browserGone || stopRequested())
        return nothing;
    if (m_followed.size() >= kMaxRememberedPages)
        m_followed.erase(m_followed.begin());
    FollowedPage page;
    const std::u16string target = u16(address);
    browser->Navigate(target.c_str());
    ++m_fetched;
    if (!waitForPage(browser)) {
        if (!m_browserGone)
            browser->Stop();
    } else if (!stopRequested()) {
        if (auto doc = Ref<IHTMLDocument2>::adopt(browser->GetDocument())) {
            page.loaded = true;
            const QString pageUrl = read(doc->GetURL());
            PatternBudget budget(m_d.columns.size());
            for (std::size_t i = 0; i < m_d.columns.size(); ++i) {
                const Column& c = m_d.columns[i];
                if (c.follow.empty())
                    continue;
                const auto e = firstIn(doc.get(), c.select);
                page.values[i] = fieldValue(e.get(), c, i, budget, pageUrl, m_d.region);
            }
        }
    }
    if (stopRequested() || m_browserGone)
        return nothing; // not remembered: a later run may get the page
    return m_followed.emplace(address, std::move(page)).first->second;
}

const char16_t* DeclarativeTemplate::GetData(IHTMLDocument2* document) {
    if (!document)
        return keepText({}, 1);
    const QString pageUrl = read(document->GetURL());
    PatternBudget budget(m_d.columns.size());
    QString out;
    for (const auto& record : allIn(document, m_d.records)) {
        if (!out.isEmpty())
            out += QStringLiteral("\r\n");
        for (std::size_t i = 0; i < m_d.columns.size(); ++i) {
            const Column& c = m_d.columns[i];
            QString value;
            if (c.follow.empty()) {
                const auto e = firstIn(record.get(), c.select);
                value = fieldValue(e.get(), c, i, budget, pageUrl, m_d.region);
            } else if (wantsEmail()) {
                const auto link = firstIn(record.get(), c.follow);
                const QString address =
                    link ? ResolveAddress(pageUrl, read(link->GetAttribute(u"href"))) : QString();
                if (!address.isEmpty()) {
                    const FollowedPage& page = follow(address);
                    if (auto v = page.values.find(i); v != page.values.end())
                        value = v->second;
                }
            }
            if (i > 0)
                out += u'\u00A4';
            out += RecordField(value);
        }
    }
    return keepText(out, 1);
}

OrvoBool DeclarativeTemplate::GetNextPage(IHTMLDocument2* document, const char16_t** url) {
    if (!document || !url)
        return 0;
    switch (m_d.next.kind) {
    case NextKind::Link: {
        const auto link = firstIn(document, m_d.next.selector);
        if (!link)
            return 0;
        const QString address =
            ResolveAddress(read(document->GetURL()), read(link->GetAttribute(u"href")));
        if (address.isEmpty())
            return 0;
        *url = keepText(address, 3);
        return 1;
    }
    case NextKind::Url: {
        if (RecordCount(document) == 0)
            return 0;
        if (m_d.next.last > 0 && m_page >= m_d.next.last)
            return 0;
        ++m_page;
        QString address = m_d.next.url;
        address.replace(QLatin1String("{page}"), QString::number(m_page));
        *url = keepText(address, 3);
        return 1;
    }
    case NextKind::None:
    case NextKind::Click:
    case NextKind::Scroll:
        return 0;
    }
    return 0;
}

NextAction DeclarativeTemplate::nextAction() const {
    NextAction a;
    if (m_d.next.kind == NextKind::Click || m_d.next.kind == NextKind::Scroll) {
        a.kind = m_d.next.kind;
        a.selector = m_d.next.selector;
        a.max = m_d.next.max;
    }
    return a;
}

namespace {

// A JavaScript string literal of text: JSON's string syntax is a subset of it.
QString scriptString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString queryArguments(const Query& q) {
    return scriptString(q.text) + (q.xpath ? QStringLiteral(", true") : QStringLiteral(", false"));
}

} // namespace

QString RecordCountScript(const Query& records) {
    return QStringLiteral(R"((function (q, x) {
    try {
        if (x)
            return document.evaluate(q, document, null,
                XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null).snapshotLength;
        return document.querySelectorAll(q).length;
    } catch (e) {
        return -1;
    }
})()") + queryArguments(records) +
           u')';
}

QString InPageActionScript(NextKind kind, const Query& button) {
    if (kind == NextKind::Scroll)
        return QStringLiteral(R"((function () {
    var s = document.scrollingElement || document.documentElement;
    if (!s)
        return false;
    window.scrollTo(0, s.scrollHeight);
    // A page without a view (the batch program's) has no viewport and is sent no scroll
    // events: the page is told as a browser on screen would tell it.
    if (window.innerHeight === 0)
        window.dispatchEvent(new Event('scroll'));
    return true;
})())");
    if (kind != NextKind::Click)
        return QStringLiteral("false");
    return QStringLiteral(R"((function (q, x) {
    try {
        var e = x ? document.evaluate(q, document, null,
                        XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue
                  : document.querySelector(q);
        if (!e || !(e instanceof Element) || e.disabled || e.getClientRects().length === 0)
            return false;
        e.scrollIntoView({block: 'center'});
        e.click();
        return true;
    } catch (err) {
        return false;
    }
})()") + queryArguments(button) +
           u')';
}

} // namespace declarative
