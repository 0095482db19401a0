#include "browser/HtmlDocument.h"

#include "browser/CssSelector.h"
#include "browser/HtmlText.h"
#include "browser/XmlUtil.h"

#include <orvo/RefCounted.h>

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>

#include <QByteArray>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace browser {

namespace {

void ignoreXmlError(void*, xmlErrorPtr) {}
void ignoreGenericError(void*, const char*, ...) {}

// libxml2 prints some XPath failures through its generic handler as well; a template's
// bad expression is answered with null, not with noise on the terminal.
class QuietGenericErrors {
public:
    QuietGenericErrors() : m_func(xmlGenericError), m_context(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    }
    ~QuietGenericErrors() { xmlSetGenericErrorFunc(m_context, m_func); }
    QuietGenericErrors(const QuietGenericErrors&) = delete;
    QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

private:
    xmlGenericErrorFunc m_func;
    void* m_context;
};

struct Snapshot {
    xmlDocPtr doc = nullptr;
    std::u16string url;
    std::optional<QString> bodyText;
    xmlNode* body = nullptr;
    std::optional<std::unordered_map<std::string, xmlNode*>> ids;
    // Measured on the first XPath query: the deepest nesting of elements, and all nodes.
    struct Shape {
        int depth = 0;
        long long nodes = 0;
    };
    std::optional<Shape> shape;

    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        if (doc)
            xmlFreeDoc(doc);
    }
};
using SnapshotPtr = std::shared_ptr<Snapshot>;

xmlNode* asNode(xmlDocPtr doc) {
    return reinterpret_cast<xmlNode*>(doc);
}

std::u16string toU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<size_t>(s.size()));
}

QString fromXml(const xmlChar* s) {
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString();
}

QByteArray toUtf8(const char16_t* s) {
    return FromOrvoText(s).toUtf8();
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// The next node in document order below root, descending into elements only.
xmlNode* nextInTree(xmlNode* n, const xmlNode* root) {
    if (n->type == XML_ELEMENT_NODE && n->children)
        return n->children;
    while (n && n != root) {
        if (n->next)
            return n->next;
        n = n->parent;
    }
    return nullptr;
}

// Calls f for every element below root in document order until f answers false.
template <class F> void forEachDescendant(xmlNode* root, F f) {
    if (root == nullptr)
        return;
    for (xmlNode* n = root->children; n; n = nextInTree(n, root))
        if (n->type == XML_ELEMENT_NODE && !f(n))
            return;
}

std::optional<std::string> attributeOf(const xmlNode* el, const char* name) {
    const xmlAttr* a = xml::findAttr(el, name);
    if (!a)
        return std::nullopt;
    std::string storage;
    return std::string(xml::attrValue(a, storage));
}

std::vector<xmlNode*> byTagName(xmlNode* root, const char16_t* tagName) {
    std::vector<xmlNode*> out;
    const std::string name = lowerAscii(toUtf8(tagName).toStdString());
    if (name.empty())
        return out;
    const bool all = name == "*";
    forEachDescendant(root, [&](xmlNode* n) {
        if (all || (n->name && xmlStrcasecmp(n->name, BAD_CAST name.c_str()) == 0))
            out.push_back(n);
        return true;
    });
    return out;
}

std::vector<xmlNode*> byClassName(xmlNode* root, const char16_t* classNames) {
    std::vector<xmlNode*> out;
    const std::string names = toUtf8(classNames).toStdString();
    std::vector<std::string_view> wanted;
    xml::anyWord(names, [&](std::string_view w) {
        wanted.push_back(w);
        return false;
    });
    if (wanted.empty())
        return out;
    std::string storage;
    forEachDescendant(root, [&](xmlNode* n) {
        const xmlAttr* a = xml::findAttr(n, "class");
        if (!a)
            return true;
        const std::string_view have = xml::attrValue(a, storage);
        if (std::all_of(wanted.begin(), wanted.end(),
                        [have](std::string_view w) { return xml::hasWord(have, w); }))
            out.push_back(n);
        return true;
    });
    return out;
}

std::optional<std::vector<xmlNode*>> bySelector(xmlNode* root, const char16_t* selectors,
                                                bool firstOnly) {
    const auto list = ParseSelectors(FromOrvoText(selectors));
    if (!list)
        return std::nullopt;
    std::vector<xmlNode*> out;
    forEachDescendant(root, [&](xmlNode* n) {
        if (MatchesSelectors(*list, n)) {
            out.push_back(n);
            return !firstOnly;
        }
        return true;
    });
    return out;
}

// Steps (nodes visited, operations evaluated) one expression may take: per node of the
// page, far more than a listing's queries need (they visit each node a few times), with a
// floor for small pages. Counts within counts on a small page stop after a few tens of
// milliseconds; a 20 MB page still has room for every plain query.
constexpr unsigned long kXPathOperationsPerNode = 16;
constexpr unsigned long kXPathMinimumOperations = 1'000'000;
// The page's nesting depth to the power of the searching steps: three at depth 215, four
// at 56, five at 25; listing pages nest 15 to 35 deep.
constexpr long long kXPathCostBudget = 10'000'000;

struct XPathObjectDeleter {
    void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectDeleter>;

// How deep elements nest below root, and how many nodes it holds.
Snapshot::Shape shapeOf(xmlNode* root) {
    Snapshot::Shape shape;
    int depth = 0;
    for (xmlNode* n = root->children; n;) {
        ++shape.nodes;
        if (n->type == XML_ELEMENT_NODE) {
            shape.depth = std::max(shape.depth, depth + 1);
            if (n->children) {
                ++depth;
                n = n->children;
                continue;
            }
        }
        while (n && n->next == nullptr) {
            n = n->parent;
            if (n == root)
                n = nullptr;
            else if (n && n->type == XML_ELEMENT_NODE)
                --depth;
        }
        if (n)
            n = n->next;
    }
    return shape;
}

// Steps that search a whole subtree or a whole line of ancestors or siblings ("//" and
// the axes that do the same), outside string literals.
long long searchingSteps(const QByteArray& expr) {
    long long steps = 0;
    char quote = 0;
    for (qsizetype i = 0; i < expr.size(); ++i) {
        const char c = expr[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < expr.size() && expr[i + 1] == '/') {
            ++steps;
            ++i;
        } else if (c == ':' && i + 1 < expr.size() && expr[i + 1] == ':') {
            for (const char* axis : {"descendant", "ancestor", "following", "preceding"}) {
                const QByteArray before = expr.left(i).trimmed();
                if (before.endsWith(axis) || before.endsWith(QByteArray(axis) + "-or-self") ||
                    before.endsWith(QByteArray(axis) + "-sibling")) {
                    ++steps;
                    break;
                }
            }
            ++i;
        }
    }
    return steps;
}

// libxml2's work for chained searching steps grows with the page's nesting depth to the
// power of their number, beyond the reach of its operation limit: "//*" six times takes
// seconds on a page nested 20 deep, three times takes minutes at 300 deep. An expression
// whose estimate exceeds about a second of work is refused (as one that is not valid).
// Two searching steps are always allowed.
bool tooCostly(const Snapshot& snap, const QByteArray& expr) {
    const long long steps = searchingSteps(expr);
    if (steps <= 2)
        return false;
    const long long depth = std::max(2, snap.shape->depth);
    long long estimate = 1;
    for (long long i = 0; i < steps; ++i) {
        estimate *= depth;
        if (estimate > kXPathCostBudget)
            return true;
    }
    return false;
}

XPathObject evalXPath(Snapshot& snap, xmlNode* context, const char16_t* expr) {
    xmlDocPtr doc = snap.doc;
    const QByteArray text = toUtf8(expr);
    if (text.trimmed().isEmpty() || doc == nullptr)
        return nullptr;
    if (!snap.shape)
        snap.shape = shapeOf(asNode(doc));
    if (tooCostly(snap, text))
        return nullptr;
    xmlXPathContextPtr ctx = xmlXPathNewContext(doc);
    if (ctx == nullptr)
        return nullptr;
    ctx->node = context;
    ctx->error = ignoreXmlError;
    // A template's expression that would take minutes on a page (nested "//" steps,
    // counts within counts) is stopped and answered as not valid instead of freezing
    // the program.
    ctx->opLimit =
        std::max(kXPathMinimumOperations,
                 kXPathOperationsPerNode * static_cast<unsigned long>(snap.shape->nodes));
    ctx->opCount = 0;
    const QuietGenericErrors quiet;
    XPathObject result(xmlXPathEvalExpression(BAD_CAST text.constData(), ctx));
    xmlXPathFreeContext(ctx);
    return result;
}

std::optional<std::vector<xmlNode*>> xpathElements(Snapshot& doc, xmlNode* context,
                                                   const char16_t* expr) {
    const XPathObject r = evalXPath(doc, context, expr);
    if (!r || r->type != XPATH_NODESET)
        return std::nullopt;
    std::vector<xmlNode*> out;
    if (r->nodesetval) {
        for (int i = 0; i < r->nodesetval->nodeNr; ++i) {
            xmlNode* n = r->nodesetval->nodeTab[i];
            if (n && n->type == XML_ELEMENT_NODE)
                out.push_back(n);
        }
    }
    return out;
}

std::optional<QString> xpathText(Snapshot& doc, xmlNode* context, const char16_t* expr) {
    const XPathObject r = evalXPath(doc, context, expr);
    if (!r)
        return std::nullopt;
    xmlChar* s = xmlXPathCastToString(r.get());
    QString text = fromXml(s);
    xmlFree(s);
    return text;
}

QString serialize(xmlDocPtr doc, xmlNode* node, bool childrenOnly) {
    xmlOutputBufferPtr out = xmlAllocOutputBuffer(nullptr);
    if (out == nullptr)
        return {};
    if (childrenOnly) {
        for (xmlNode* c = node->children; c; c = c->next)
            htmlNodeDumpFormatOutput(out, doc, c, "UTF-8", 0);
    } else {
        htmlNodeDumpFormatOutput(out, doc, node, "UTF-8", 0);
    }
    xmlOutputBufferFlush(out);
    const QString s =
        QString::fromUtf8(reinterpret_cast<const char*>(xmlOutputBufferGetContent(out)),
                          static_cast<qsizetype>(xmlOutputBufferGetSize(out)));
    xmlOutputBufferClose(out);
    return s;
}

QString collapseBlanks(const QString& s) {
    QString out;
    bool blank = false;
    for (QChar c : s) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f') {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out += u' ';
        blank = false;
        out += c;
    }
    return out;
}

IHTMLElement* wrapElement(const SnapshotPtr& snap, xmlNode* node);
IHTMLElementCollection* wrapCollection(const SnapshotPtr& snap, std::vector<xmlNode*> nodes);

class Collection final : public orvo::RefCounted<IHTMLElementCollection> {
public:
    Collection(SnapshotPtr snap, std::vector<xmlNode*> nodes)
        : m_snap(std::move(snap)), m_nodes(std::move(nodes)) {}

    std::int32_t GetLength() override {
        return static_cast<std::int32_t>(std::min<size_t>(m_nodes.size(), INT32_MAX));
    }
    IHTMLElement* Item(std::int32_t index) override {
        if (index < 0 || static_cast<size_t>(index) >= m_nodes.size())
            return nullptr;
        return wrapElement(m_snap, m_nodes[static_cast<size_t>(index)]);
    }

private:
    SnapshotPtr m_snap;
    std::vector<xmlNode*> m_nodes;
};

class Element final : public orvo::RefCounted<IHTMLElement> {
public:
    Element(SnapshotPtr snap, xmlNode* node) : m_snap(std::move(snap)), m_node(node) {}

    const char16_t* GetTagName() override {
        return set(m_tagName, fromXml(m_node->name).toUpper());
    }
    const char16_t* GetId() override {
        return set(m_id, QString::fromStdString(attributeOf(m_node, "id").value_or("")));
    }
    const char16_t* GetClassName() override {
        return set(m_className, QString::fromStdString(attributeOf(m_node, "class").value_or("")));
    }
    const char16_t* GetAttribute(const char16_t* name) override {
        const std::string key = lowerAscii(toUtf8(name).toStdString());
        if (key.empty())
            return nullptr;
        const auto value = attributeOf(m_node, key.c_str());
        if (!value) {
            m_attributes.erase(key);
            return nullptr;
        }
        return set(m_attributes[key], QString::fromStdString(*value));
    }
    const char16_t* GetInnerText() override {
        if (m_node == m_snap->body && m_snap->bodyText)
            return set(m_innerText, *m_snap->bodyText);
        return set(m_innerText, RenderedText(m_node));
    }
    const char16_t* GetTextContent() override {
        xmlChar* s = xmlNodeGetContent(m_node);
        const QString text = fromXml(s);
        xmlFree(s);
        return set(m_textContent, text);
    }
    const char16_t* GetInnerHTML() override {
        return set(m_innerHTML, serialize(m_snap->doc, m_node, true));
    }
    const char16_t* GetOuterHTML() override {
        return set(m_outerHTML, serialize(m_snap->doc, m_node, false));
    }
    IHTMLElement* GetParentElement() override {
        xmlNode* p = m_node->parent;
        return p && p->type == XML_ELEMENT_NODE ? wrapElement(m_snap, p) : nullptr;
    }
    IHTMLElementCollection* GetChildren() override {
        std::vector<xmlNode*> kids;
        for (xmlNode* c = m_node->children; c; c = c->next)
            if (c->type == XML_ELEMENT_NODE)
                kids.push_back(c);
        return wrapCollection(m_snap, std::move(kids));
    }
    IHTMLElementCollection* GetElementsByTagName(const char16_t* tagName) override {
        return wrapCollection(m_snap, byTagName(m_node, tagName));
    }
    IHTMLElementCollection* GetElementsByClassName(const char16_t* classNames) override {
        return wrapCollection(m_snap, byClassName(m_node, classNames));
    }
    IHTMLElement* QuerySelector(const char16_t* selectors) override {
        const auto found = bySelector(m_node, selectors, true);
        return found && !found->empty() ? wrapElement(m_snap, found->front()) : nullptr;
    }
    IHTMLElementCollection* QuerySelectorAll(const char16_t* selectors) override {
        auto found = bySelector(m_node, selectors, false);
        return found ? wrapCollection(m_snap, std::move(*found)) : nullptr;
    }
    IHTMLElementCollection* SelectNodes(const char16_t* xpath) override {
        auto found = xpathElements(*m_snap, m_node, xpath);
        return found ? wrapCollection(m_snap, std::move(*found)) : nullptr;
    }
    IHTMLElement* SelectSingleNode(const char16_t* xpath) override {
        const auto found = xpathElements(*m_snap, m_node, xpath);
        return found && !found->empty() ? wrapElement(m_snap, found->front()) : nullptr;
    }
    const char16_t* EvaluateXPath(const char16_t* xpath) override {
        const auto text = xpathText(*m_snap, m_node, xpath);
        return text ? set(m_xpath, *text) : nullptr;
    }

private:
    static const char16_t* set(std::u16string& slot, const QString& value) {
        slot = toU16(value);
        return slot.c_str();
    }

    SnapshotPtr m_snap;
    xmlNode* m_node;
    std::u16string m_tagName, m_id, m_className, m_innerText, m_textContent, m_innerHTML,
        m_outerHTML, m_xpath;
    std::map<std::string, std::u16string> m_attributes;
};

IHTMLElement* wrapElement(const SnapshotPtr& snap, xmlNode* node) {
    return node ? new Element(snap, node) : nullptr;
}

IHTMLElementCollection* wrapCollection(const SnapshotPtr& snap, std::vector<xmlNode*> nodes) {
    return new Collection(snap, std::move(nodes));
}

class Document final : public orvo::RefCounted<IHTMLDocument2> {
public:
    explicit Document(SnapshotPtr snap) : m_snap(std::move(snap)) {}

    const char16_t* GetURL() override { return m_snap->url.c_str(); }
    const char16_t* GetTitle() override {
        QString title;
        forEachDescendant(asNode(m_snap->doc), [&](xmlNode* n) {
            if (!IsElementNamed(n, "title"))
                return true;
            xmlChar* s = xmlNodeGetContent(n);
            title = collapseBlanks(fromXml(s));
            xmlFree(s);
            return false;
        });
        m_title = toU16(title);
        return m_title.c_str();
    }
    IHTMLElement* GetBody() override { return wrapElement(m_snap, m_snap->body); }
    IHTMLElement* GetDocumentElement() override {
        return wrapElement(m_snap, xmlDocGetRootElement(m_snap->doc));
    }
    IHTMLElement* GetElementById(const char16_t* id) override {
        if (!m_snap->ids) {
            // Templates look ids up often; one pass indexes the first element of each.
            std::unordered_map<std::string, xmlNode*> ids;
            std::string storage;
            forEachDescendant(asNode(m_snap->doc), [&](xmlNode* n) {
                if (const xmlAttr* a = xml::findAttr(n, "id"))
                    ids.emplace(std::string(xml::attrValue(a, storage)), n);
                return true;
            });
            m_snap->ids = std::move(ids);
        }
        const std::string key = toUtf8(id).toStdString();
        if (key.empty())
            return nullptr;
        const auto it = m_snap->ids->find(key);
        return it == m_snap->ids->end() ? nullptr : wrapElement(m_snap, it->second);
    }
    IHTMLElementCollection* GetElementsByTagName(const char16_t* tagName) override {
        return wrapCollection(m_snap, byTagName(asNode(m_snap->doc), tagName));
    }
    IHTMLElementCollection* GetElementsByClassName(const char16_t* classNames) override {
        return wrapCollection(m_snap, byClassName(asNode(m_snap->doc), classNames));
    }
    IHTMLElement* QuerySelector(const char16_t* selectors) override {
        const auto found = bySelector(asNode(m_snap->doc), selectors, true);
        return found && !found->empty() ? wrapElement(m_snap, found->front()) : nullptr;
    }
    IHTMLElementCollection* QuerySelectorAll(const char16_t* selectors) override {
        auto found = bySelector(asNode(m_snap->doc), selectors, false);
        return found ? wrapCollection(m_snap, std::move(*found)) : nullptr;
    }
    IHTMLElementCollection* SelectNodes(const char16_t* xpath) override {
        auto found = xpathElements(*m_snap, asNode(m_snap->doc), xpath);
        return found ? wrapCollection(m_snap, std::move(*found)) : nullptr;
    }
    IHTMLElement* SelectSingleNode(const char16_t* xpath) override {
        const auto found = xpathElements(*m_snap, asNode(m_snap->doc), xpath);
        return found && !found->empty() ? wrapElement(m_snap, found->front()) : nullptr;
    }
    const char16_t* EvaluateXPath(const char16_t* xpath) override {
        const auto text = xpathText(*m_snap, asNode(m_snap->doc), xpath);
        if (!text)
            return nullptr;
        m_xpath = toU16(*text);
        return m_xpath.c_str();
    }

private:
    SnapshotPtr m_snap;
    std::u16string m_title, m_xpath;
};

xmlNode* findBody(xmlDocPtr doc) {
    xmlNode* root = xmlDocGetRootElement(doc);
    if (root == nullptr)
        return nullptr;
    xmlNode* frameset = nullptr;
    for (xmlNode* c = root->children; c; c = c->next) {
        if (IsElementNamed(c, "body"))
            return c;
        if (!frameset && IsElementNamed(c, "frameset"))
            frameset = c;
    }
    if (frameset)
        return frameset;
    // Markup that is not rooted in <html> (an XHTML fragment, say): the first body anywhere.
    xmlNode* body = nullptr;
    forEachDescendant(root, [&](xmlNode* n) {
        if (!IsElementNamed(n, "body"))
            return true;
        body = n;
        return false;
    });
    return body;
}

} // namespace

bool IsHtmlContentType(const QString& contentType) {
    const QString type = contentType.section(u';', 0, 0).trimmed().toLower();
    return type.isEmpty() || type == u"text/html" || type == u"application/xhtml+xml";
}

IHTMLDocument2* CreateHtmlDocument(const HtmlSource& source) {
    if (!IsHtmlContentType(source.contentType))
        return nullptr;
    static const bool initialized = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialized;

    auto snap = std::make_shared<Snapshot>();
    snap->url = toU16(source.url);
    snap->bodyText = source.bodyInnerText;

    const QByteArray utf8 = source.html.toUtf8();
    const QByteArray base = source.url.toUtf8();
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_COMPACT | HTML_PARSE_NODEFDTD |
                        HTML_PARSE_IGNORE_ENC | XML_PARSE_HUGE;
    if (!utf8.isEmpty() && utf8.size() < INT_MAX)
        snap->doc = htmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()),
                                   base.isEmpty() ? nullptr : base.constData(), "UTF-8", options);
    if (snap->doc == nullptr)
        snap->doc = htmlNewDocNoDtD(nullptr, nullptr);
    if (snap->doc == nullptr)
        return nullptr;
    snap->body = findBody(snap->doc);
    return new Document(std::move(snap));
}

namespace {

// libxml2 reports XPath compile errors by code only.
const char* xpathProblem(int code) {
    switch (code) {
    case XML_XPATH_NUMBER_ERROR:
        return "invalid number";
    case XML_XPATH_UNFINISHED_LITERAL_ERROR:
        return "unfinished string";
    case XML_XPATH_START_LITERAL_ERROR:
        return "string expected";
    case XML_XPATH_VARIABLE_REF_ERROR:
        return "invalid variable name";
    case XML_XPATH_UNDEF_VARIABLE_ERROR:
        return "undefined variable";
    case XML_XPATH_INVALID_PREDICATE_ERROR:
        return "invalid predicate";
    case XML_XPATH_UNCLOSED_ERROR:
        return "missing closing bracket or parenthesis";
    case XML_XPATH_UNKNOWN_FUNC_ERROR:
        return "unknown function";
    case XML_XPATH_INVALID_ARITY:
        return "wrong number of arguments";
    case XML_XPATH_UNDEF_PREFIX_ERROR:
        return "undefined namespace prefix";
    case XML_XPATH_INVALID_CHAR_ERROR:
        return "invalid character";
    default:
        return "invalid expression";
    }
}

void keepXPathError(void* userData, xmlErrorPtr error) {
    auto* out = static_cast<QString*>(userData);
    if (!out->isEmpty() || error == nullptr)
        return;
    *out = QString::fromUtf8(xpathProblem(error->code));
    if (error->int1 >= 0)
        *out += QStringLiteral(" at offset %1").arg(error->int1);
}

} // namespace

QString XPathError(const QString& expression) {
    const QByteArray text = expression.toUtf8();
    if (text.trimmed().isEmpty())
        return QStringLiteral("empty expression");
    xmlXPathContextPtr ctx = xmlXPathNewContext(nullptr);
    if (ctx == nullptr)
        return QStringLiteral("out of memory");
    QString error;
    ctx->error = keepXPathError;
    ctx->userData = &error;
    const QuietGenericErrors quiet;
    xmlXPathCompExprPtr compiled = xmlXPathCtxtCompile(ctx, BAD_CAST text.constData());
    xmlXPathFreeContext(ctx);
    if (compiled) {
        xmlXPathFreeCompExpr(compiled);
        return {};
    }
    return error.isEmpty() ? QStringLiteral("invalid expression") : error;
}

QString FromOrvoText(const char16_t* text) {
    return text ? QString::fromUtf16(text) : QString();
}

DocumentFacts ReadDocumentFacts(IHTMLDocument2& document) {
    DocumentFacts facts;
    facts.url = FromOrvoText(document.GetURL());
    facts.title = FromOrvoText(document.GetTitle());
    OrvoRef<IHTMLElement> body(document.GetBody());
    facts.hasBody = static_cast<bool>(body);
    if (body)
        facts.bodyInnerText = FromOrvoText(body->GetInnerText());
    return facts;
}

} // namespace browser
