// The CSS selector compiler on any text, and matching what it accepts against a fixed
// page that has every feature the selectors test (ids, classes, attributes, siblings,
// nesting). A list matches exactly the union of its parts, in any spacing.
#include "FuzzSupport.h"

#include "browser/CssSelector.h"

#include <libxml/HTMLparser.h>

#include <vector>

namespace {

constexpr char kPage[] = R"(<!DOCTYPE html>
<html lang="en-GB"><head><title>Results</title></head>
<body class="results page">
<div id="main" class="wrap">
  <h1 class="title">Listings</h1>
  <ul class="list" data-count="3">
    <li class="item first" data-id="1"><a href="/a?x=1" title="A b">Alpha</a><span></span></li>
    <li class="item" data-id="2" lang="fr-CA"><a href="http://x.example/b" rel="next nofollow">Beta</a></li>
    <li class="item last" data-id="3" hidden><b>Gamma</b> <i>text</i><br></li>
  </ul>
  <table><tr><td>1</td><td id="c2">2</td></tr><tr><th>h</th><td class="">3</td></tr></table>
  <p>one</p><p class="note">two<em>three</em></p><p></p>
  <input type="text" name="q" value="x y" disabled><select><option selected>o</option></select>
</div>
<div id="other"><div><div><span class="deep">deep</span></div></div></div>
</body></html>)";

struct Page {
    xmlDocPtr doc = nullptr;
    std::vector<const xmlNode*> elements;

    Page() {
        doc = htmlReadMemory(kPage, int(sizeof kPage - 1), nullptr, "UTF-8",
                             HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                 HTML_PARSE_NONET);
        if (!doc)
            fuzz::fail("the fixed page does not parse", __FILE__, __LINE__);
        collect(xmlDocGetRootElement(doc));
    }
    void collect(const xmlNode* n) {
        for (; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE)
                continue;
            elements.push_back(n);
            collect(n->children);
        }
    }
};

const Page& page() {
    static const Page p;
    return p;
}

std::vector<bool> matches(const QString& text) {
    const auto list = browser::ParseSelectors(text);
    FUZZ_CHECK(list);
    std::vector<bool> out;
    for (const xmlNode* e : page().elements)
        out.push_back(browser::MatchesSelectors(*list, e));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto list = browser::ParseSelectors(text);
    FUZZ_CHECK(bool(browser::ParseSelectors(text)) == bool(list));
    if (!list)
        return 0;
    FUZZ_CHECK(!browser::MatchesSelectors(*list, nullptr));
    FUZZ_CHECK(!browser::MatchesSelectors(*list, reinterpret_cast<const xmlNode*>(page().doc)));

    const std::vector<bool> own = matches(text);
    FUZZ_CHECK(matches(QStringLiteral(" \n") + text + QStringLiteral("\t ")) == own);
    FUZZ_CHECK(matches(text + QStringLiteral(" , ") + text) == own);
    FUZZ_CHECK(matches(QStringLiteral("nosuchelement,") + text) == own);
    const std::vector<bool> items = matches(QStringLiteral("li.item"));
    std::vector<bool> either(own.size());
    for (std::size_t i = 0; i < own.size(); ++i)
        either[i] = own[i] || items[i];
    FUZZ_CHECK(matches(text + QStringLiteral(",li.item")) == either);
    return 0;
}
