#include "browser/HtmlText.h"

#include "browser/XmlUtil.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

namespace browser {

namespace {

enum class Kind { Inline, Block, Paragraph, Break, Cell, Preformatted, Skipped };

Kind kindOf(const xmlNode* n) {
    static const std::unordered_map<std::string, Kind> kinds = [] {
        std::unordered_map<std::string, Kind> m;
        for (const char* name :
             {"address",  "article",    "aside",   "blockquote", "body",  "caption",  "center",
              "dd",       "details",    "dialog",  "dir",        "div",   "dl",       "dt",
              "fieldset", "figcaption", "figure",  "footer",     "form",  "frameset", "h1",
              "h2",       "h3",         "h4",      "h5",         "h6",    "header",   "hgroup",
              "hr",       "html",       "legend",  "li",         "main",  "menu",     "nav",
              "ol",       "option",     "section", "summary",    "table", "tr",       "ul"})
            m.emplace(name, Kind::Block);
        for (const char* name : {"pre", "textarea", "listing", "plaintext", "xmp"})
            m.emplace(name, Kind::Preformatted);
        for (const char* name :
             {"script", "style", "head", "title", "template", "noscript", "meta", "link", "base",
              "iframe", "object", "embed", "noframes", "select", "datalist"})
            m.emplace(name, Kind::Skipped);
        m.emplace("p", Kind::Paragraph);
        m.emplace("br", Kind::Break);
        m.emplace("td", Kind::Cell);
        m.emplace("th", Kind::Cell);
        return m;
    }();
    std::string name(n->name ? reinterpret_cast<const char*>(n->name) : "");
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    const auto it = kinds.find(name);
    return it == kinds.end() ? Kind::Inline : it->second;
}

// Hidden by attribute or by an inline style that says so.
bool hiddenByAttributes(const xmlNode* n) {
    std::string storage;
    for (const xmlAttr* a = n->properties; a; a = a->next) {
        if (!a->name)
            continue;
        if (xmlStrcasecmp(a->name, BAD_CAST "hidden") == 0)
            return true;
        if (xmlStrcasecmp(a->name, BAD_CAST "style") != 0)
            continue;
        std::string style;
        for (char c : xml::attrValue(a, storage))
            if (!xml::isBlank(c))
                style += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (style.find("display:none") != std::string::npos ||
            style.find("visibility:hidden") != std::string::npos)
            return true;
    }
    return false;
}

Kind renderKind(const xmlNode* n) {
    if (n->type != XML_ELEMENT_NODE)
        return Kind::Skipped;
    const Kind k = kindOf(n);
    return k != Kind::Skipped && hiddenByAttributes(n) ? Kind::Skipped : k;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

class TextBuilder {
public:
    void text(const QString& s, bool keepBlanks) {
        if (keepBlanks) {
            if (s.isEmpty())
                return;
            flushBreaks();
            m_pendingSpace = false;
            m_out += s;
            return;
        }
        for (QChar c : s) {
            if (isBlank(c)) {
                m_pendingSpace = true;
                continue;
            }
            flushBreaks();
            if (m_pendingSpace && !m_out.isEmpty() && !m_out.endsWith(u'\n') &&
                !m_out.endsWith(u'\t'))
                m_out += u' ';
            m_pendingSpace = false;
            m_out += c;
        }
    }
    void requireBreaks(int count) {
        m_pendingSpace = false;
        if (!m_out.isEmpty())
            m_pendingBreaks = std::max(m_pendingBreaks, count);
    }
    void forcedBreak() {
        flushBreaks();
        m_pendingSpace = false;
        m_out += u'\n';
    }
    void tab() {
        flushBreaks();
        m_pendingSpace = false;
        m_out += u'\t';
    }
    QString result() const { return m_out; }

private:
    void flushBreaks() {
        if (m_pendingBreaks > 0 && !m_out.isEmpty()) {
            // Breaks already written (a <br> just before) count towards the required ones.
            int have = 0;
            for (qsizetype i = m_out.size() - 1; i >= 0 && m_out.at(i) == u'\n'; --i)
                ++have;
            for (int i = have; i < m_pendingBreaks; ++i)
                m_out += u'\n';
        }
        m_pendingBreaks = 0;
    }

    QString m_out;
    int m_pendingBreaks = 0;
    bool m_pendingSpace = false;
};

bool hasPreviousCell(const xmlNode* cell) {
    for (const xmlNode* s = cell->prev; s; s = s->prev)
        if (s->type == XML_ELEMENT_NODE && renderKind(s) == Kind::Cell)
            return true;
    return false;
}

} // namespace

bool IsElementNamed(const _xmlNode* node, const char* lowerName) {
    return node && node->type == XML_ELEMENT_NODE && node->name &&
           xmlStrcasecmp(node->name, BAD_CAST lowerName) == 0;
}

QString RenderedText(const _xmlNode* root) {
    if (root == nullptr || root->type != XML_ELEMENT_NODE || renderKind(root) == Kind::Skipped)
        return {};
    TextBuilder out;
    int keepBlanks = 0;
    for (const xmlNode* a = root; a && a->type == XML_ELEMENT_NODE; a = a->parent)
        if (kindOf(a) == Kind::Preformatted)
            ++keepBlanks;

    // Answers whether to walk into the node.
    auto enter = [&](const xmlNode* n, Kind k) -> bool {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            out.text(QString::fromUtf8(reinterpret_cast<const char*>(n->content)), keepBlanks > 0);
            return false;
        }
        switch (k) {
        case Kind::Skipped:
            return false;
        case Kind::Break:
            out.forcedBreak();
            return false;
        case Kind::Cell:
            if (hasPreviousCell(n))
                out.tab();
            break;
        case Kind::Paragraph:
            out.requireBreaks(2);
            break;
        case Kind::Block:
            out.requireBreaks(1);
            break;
        case Kind::Preformatted:
            out.requireBreaks(1);
            ++keepBlanks;
            break;
        case Kind::Inline:
            break;
        }
        return true;
    };
    auto leave = [&](Kind k) {
        if (k == Kind::Preformatted)
            --keepBlanks;
        if (k == Kind::Paragraph)
            out.requireBreaks(2);
        else if (k == Kind::Block || k == Kind::Preformatted)
            out.requireBreaks(1);
    };
    auto kind = [](const xmlNode* n) {
        return n->type == XML_ELEMENT_NODE ? renderKind(n) : Kind::Inline;
    };

    // Iterative walk: pages nest deeper than any call stack should.
    const xmlNode* n = root->children;
    while (n) {
        const Kind k = kind(n);
        const bool entered = enter(n, k);
        if (entered && n->children) {
            n = n->children;
            continue;
        }
        if (entered)
            leave(k);
        while (n && n != root) {
            if (n->next) {
                n = n->next;
                break;
            }
            n = n->parent;
            if (n && n != root)
                leave(kind(n));
        }
        if (n == root)
            break;
    }
    return out.result();
}

} // namespace browser
