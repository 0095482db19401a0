// A web page turned into a document snapshot, then asked what templates ask: CSS and
// XPath queries, the text and markup of what they find, lookups by id, name and class.
// Input: query lines, a NUL byte, then the page's markup.
#include "FuzzSupport.h"

#include "browser/HtmlDocument.h"

#include <QStringList>

#include <algorithm>

using browser::FromOrvoText;
using browser::OrvoRef;

namespace {

constexpr int kMaxQueries = 4;
constexpr std::int32_t kMaxVisited = 4;

std::u16string u16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

QString outer(IHTMLElement* e) {
    return e ? FromOrvoText(e->GetOuterHTML()) : QString();
}

// Reads everything an element offers, as a template would, and checks what must agree.
void visit(IHTMLDocument2& doc, IHTMLElement& e, const std::u16string& query) {
    const QString tag = FromOrvoText(e.GetTagName());
    FUZZ_CHECK(tag == tag.toUpper());
    const QString id = FromOrvoText(e.GetId());
    (void)e.GetClassName();
    (void)e.GetAttribute(u"href");
    (void)e.GetAttribute(u"");
    (void)e.GetInnerText();
    (void)e.GetTextContent();
    const QString inner = FromOrvoText(e.GetInnerHTML());
    const QString whole = FromOrvoText(e.GetOuterHTML());
    FUZZ_CHECK(whole.size() >= inner.size());
    if (!id.isEmpty()) {
        OrvoRef<IHTMLElement> byId(doc.GetElementById(u16(id).c_str()));
        FUZZ_CHECK(byId && FromOrvoText(byId->GetId()) == id);
    }
    if (OrvoRef<IHTMLElement> parent(e.GetParentElement()); parent) {
        OrvoRef<IHTMLElementCollection> siblings(parent->GetChildren());
        FUZZ_CHECK(siblings && siblings->GetLength() >= 1);
    }
    OrvoRef<IHTMLElementCollection> kids(e.GetChildren());
    OrvoRef<IHTMLElementCollection> all(e.GetElementsByTagName(u"*"));
    FUZZ_CHECK(kids && all && all->GetLength() >= kids->GetLength());
    // Queries relative to the element find nothing the whole document would not.
    OrvoRef<IHTMLElementCollection> below(e.QuerySelectorAll(query.c_str()));
    OrvoRef<IHTMLElementCollection> nodes(e.SelectNodes(query.c_str()));
    (void)e.EvaluateXPath(query.c_str());
    OrvoRef<IHTMLElement> first(e.SelectSingleNode(query.c_str()));
    FUZZ_CHECK(bool(first) == (nodes && nodes->GetLength() > 0));
}

void ask(IHTMLDocument2& doc, const QString& queryText) {
    const std::u16string query = u16(queryText);
    OrvoRef<IHTMLElementCollection> css(doc.QuerySelectorAll(query.c_str()));
    OrvoRef<IHTMLElement> cssFirst(doc.QuerySelector(query.c_str()));
    if (!css) {
        FUZZ_CHECK(!cssFirst);
    } else {
        FUZZ_CHECK(bool(cssFirst) == (css->GetLength() > 0));
        if (cssFirst) {
            OrvoRef<IHTMLElement> item(css->Item(0));
            FUZZ_CHECK(outer(item.get()) == outer(cssFirst.get()));
        }
        FUZZ_CHECK(!OrvoRef<IHTMLElement>(css->Item(css->GetLength())));
        FUZZ_CHECK(!OrvoRef<IHTMLElement>(css->Item(-1)));
        OrvoRef<IHTMLElementCollection> everything(doc.GetElementsByTagName(u"*"));
        FUZZ_CHECK(everything && everything->GetLength() >= css->GetLength());
        for (std::int32_t i = 0; i < std::min(css->GetLength(), kMaxVisited); ++i)
            if (OrvoRef<IHTMLElement> e(css->Item(i)); e)
                visit(doc, *e, query);
    }

    OrvoRef<IHTMLElementCollection> xpath(doc.SelectNodes(query.c_str()));
    OrvoRef<IHTMLElement> xpathFirst(doc.SelectSingleNode(query.c_str()));
    FUZZ_CHECK(bool(xpathFirst) == (xpath && xpath->GetLength() > 0));
    if (xpathFirst) {
        OrvoRef<IHTMLElement> item(xpath->Item(0));
        FUZZ_CHECK(outer(item.get()) == outer(xpathFirst.get()));
    }
    if (xpath)
        for (std::int32_t i = 0; i < std::min(xpath->GetLength(), kMaxVisited); ++i)
            if (OrvoRef<IHTMLElement> e(xpath->Item(i)); e)
                visit(doc, *e, query);
    (void)doc.EvaluateXPath(query.c_str());

    OrvoRef<IHTMLElementCollection> byTag(doc.GetElementsByTagName(query.c_str()));
    OrvoRef<IHTMLElementCollection> byClass(doc.GetElementsByClassName(query.c_str()));
    FUZZ_CHECK(byTag && byClass);
    OrvoRef<IHTMLElement> byId(doc.GetElementById(query.c_str()));
    if (byId)
        FUZZ_CHECK(FromOrvoText(byId->GetId()) == queryText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.byte();
    const QStringList queries = QString::fromUtf8(in.until('\0')).split(u'\n');
    HtmlSource source;
    source.html = QString::fromUtf8(in.rest());
    source.url = QStringLiteral("http://listing.example/results?page=2");
    if (flags & 1)
        source.bodyInnerText = QStringLiteral("engine text");
    if (flags & 2)
        source.contentType = QStringLiteral("application/xhtml+xml; charset=utf-8");

    OrvoRef<IHTMLDocument2> doc(browser::CreateHtmlDocument(source));
    FUZZ_CHECK(doc);
    const browser::DocumentFacts facts = browser::ReadDocumentFacts(*doc);
    FUZZ_CHECK(facts.url == source.url);
    if (facts.hasBody && (flags & 1))
        FUZZ_CHECK(facts.bodyInnerText == *source.bodyInnerText);
    if (OrvoRef<IHTMLElement> root(doc->GetDocumentElement()); root)
        visit(*doc, *root, u"*");

    for (int i = 0; i < std::min<int>(kMaxQueries, int(queries.size())); ++i)
        ask(*doc, queries[i]);
    // An element outlives its document.
    OrvoRef<IHTMLElement> body(doc->GetBody());
    doc = OrvoRef<IHTMLDocument2>();
    if (body)
        (void)body->GetInnerText();
    return 0;
}
