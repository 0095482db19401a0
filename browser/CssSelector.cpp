#include "browser/CssSelector.h"

#include "browser/XmlUtil.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace browser {

namespace {

enum class AttrOp { Exists, Equals, Includes, DashMatch, Prefix, Suffix, Substring };
enum class Combinator { Descendant, Child, Adjacent, Sibling };
enum class Pseudo {
    FirstChild,
    LastChild,
    OnlyChild,
    NthChild,
    NthLastChild,
    FirstOfType,
    LastOfType,
    NthOfType,
    Empty,
    Root,
    Not
};

struct Compound;

struct AttrTest {
    std::string name; // lower case
    AttrOp op = AttrOp::Exists;
    std::string value;
    bool ignoreCase = false;
};

struct PseudoTest {
    Pseudo kind;
    int a = 0;
    int b = 0;
    std::vector<Compound> negated; // for :not()
};

struct Compound {
    std::string type; // lower case; empty for any
    std::vector<std::string> ids;
    std::vector<std::string> classes;
    std::vector<AttrTest> attrs;
    std::vector<PseudoTest> pseudos;
};

struct Complex {
    std::vector<Compound> compounds;     // left to right
    std::vector<Combinator> combinators; // combinators[i] joins compounds[i] and [i + 1]
};

} // namespace

class SelectorList {
public:
    std::vector<Complex> selectors;
};

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// A recursive-descent reader over the selector text as UTF-8.
class Parser {
public:
    explicit Parser(std::string text) : m_s(std::move(text)) {}

    std::optional<SelectorList> parseList() {
        SelectorList list;
        do {
            skipBlanks();
            auto complex = parseComplex();
            if (!complex)
                return std::nullopt;
            list.selectors.push_back(std::move(*complex));
            skipBlanks();
        } while (eat(','));
        if (!atEnd())
            return std::nullopt;
        return list;
    }

private:
    bool atEnd() const { return m_pos >= m_s.size(); }
    char peek() const { return atEnd() ? '\0' : m_s[m_pos]; }
    bool eat(char c) {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    static bool isBlank(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    }
    bool skipBlanks() {
        const size_t start = m_pos;
        while (!atEnd() && isBlank(m_s[m_pos]))
            ++m_pos;
        return m_pos != start;
    }
    static bool isNameChar(unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c >= 0x80;
    }
    static bool isHex(char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    static void appendUtf8(std::string& out, char32_t cp) {
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    static char32_t hexValue(char c) {
        if (c >= '0' && c <= '9')
            return static_cast<char32_t>(c - '0');
        if (c >= 'a' && c <= 'f')
            return static_cast<char32_t>(c - 'a' + 10);
        return static_cast<char32_t>(c - 'A' + 10);
    }
    // A backslash escape: up to six hex digits and one optional blank, or one character.
    bool readEscape(std::string& out) {
        if (!eat('\\') || atEnd())
            return false;
        if (isHex(peek())) {
            char32_t cp = 0;
            for (int i = 0; i < 6 && isHex(peek()); ++i)
                cp = cp * 16 + hexValue(m_s[m_pos++]);
            if (isBlank(peek()))
                ++m_pos;
            appendUtf8(out, cp);
            return true;
        }
        out += m_s[m_pos++];
        return true;
    }
    std::optional<std::string> readIdent() {
        std::string out;
        size_t start = m_pos;
        if (peek() == '-')
            out += m_s[m_pos++];
        while (!atEnd()) {
            if (peek() == '\\') {
                if (!readEscape(out))
                    return std::nullopt;
            } else if (isNameChar(static_cast<unsigned char>(peek()))) {
                out += m_s[m_pos++];
            } else {
                break;
            }
        }
        if (out.empty() || out == "-") {
            m_pos = start;
            return std::nullopt;
        }
        return out;
    }
    std::optional<std::string> readString() {
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            return std::nullopt;
        ++m_pos;
        std::string out;
        while (!atEnd() && peek() != quote) {
            if (peek() == '\\') {
                if (!readEscape(out))
                    return std::nullopt;
            } else if (peek() == '\n') {
                return std::nullopt;
            } else {
                out += m_s[m_pos++];
            }
        }
        if (!eat(quote))
            return std::nullopt;
        return out;
    }

    std::optional<Complex> parseComplex() {
        Complex complex;
        auto first = parseCompound();
        if (!first)
            return std::nullopt;
        complex.compounds.push_back(std::move(*first));
        for (;;) {
            const bool blanks = skipBlanks();
            std::optional<Combinator> comb;
            if (eat('>'))
                comb = Combinator::Child;
            else if (eat('+'))
                comb = Combinator::Adjacent;
            else if (eat('~'))
                comb = Combinator::Sibling;
            else if (blanks && !atEnd() && peek() != ',' && peek() != ')')
                comb = Combinator::Descendant;
            if (!comb)
                return complex;
            skipBlanks();
            if (complex.compounds.size() >= std::size_t(kMaxCompounds))
                return std::nullopt;
            auto next = parseCompound();
            if (!next)
                return std::nullopt;
            complex.combinators.push_back(*comb);
            complex.compounds.push_back(std::move(*next));
        }
    }

    std::optional<Compound> parseCompound() {
        Compound c;
        bool any = false;
        if (eat('*')) {
            any = true;
        } else if (auto type = readIdent()) {
            c.type = lowerAscii(*type);
            any = true;
        }
        for (;;) {
            if (eat('#')) {
                auto id = readIdent();
                if (!id)
                    return std::nullopt;
                c.ids.push_back(*id);
            } else if (eat('.')) {
                auto cls = readIdent();
                if (!cls)
                    return std::nullopt;
                c.classes.push_back(*cls);
            } else if (eat('[')) {
                auto attr = parseAttr();
                if (!attr)
                    return std::nullopt;
                c.attrs.push_back(std::move(*attr));
            } else if (eat(':')) {
                auto pseudo = parsePseudo();
                if (!pseudo)
                    return std::nullopt;
                c.pseudos.push_back(std::move(*pseudo));
            } else {
                break;
            }
            any = true;
        }
        if (!any)
            return std::nullopt;
        return c;
    }

    std::optional<AttrTest> parseAttr() {
        AttrTest t;
        skipBlanks();
        auto name = readIdent();
        if (!name)
            return std::nullopt;
        t.name = lowerAscii(*name);
        skipBlanks();
        if (eat(']'))
            return t;
        const char c = peek();
        if (c == '=') {
            t.op = AttrOp::Equals;
            ++m_pos;
        } else {
            static const struct {
                char c;
                AttrOp op;
            } ops[] = {{'~', AttrOp::Includes},
                       {'|', AttrOp::DashMatch},
                       {'^', AttrOp::Prefix},
                       {'$', AttrOp::Suffix},
                       {'*', AttrOp::Substring}};
            bool found = false;
            for (const auto& o : ops) {
                if (c == o.c && m_pos + 1 < m_s.size() && m_s[m_pos + 1] == '=') {
                    t.op = o.op;
                    m_pos += 2;
                    found = true;
                    break;
                }
            }
            if (!found)
                return std::nullopt;
        }
        skipBlanks();
        if (peek() == '"' || peek() == '\'') {
            auto v = readString();
            if (!v)
                return std::nullopt;
            t.value = *v;
        } else {
            auto v = readIdent();
            if (!v)
                return std::nullopt;
            t.value = *v;
        }
        skipBlanks();
        if (peek() == 'i' || peek() == 'I') {
            t.ignoreCase = true;
            t.value = lowerAscii(t.value);
            ++m_pos;
        } else if (peek() == 's' || peek() == 'S') {
            ++m_pos;
        }
        skipBlanks();
        if (!eat(']'))
            return std::nullopt;
        return t;
    }

    // "an+b", "odd", "even", a plain number.
    bool parseNth(int& a, int& b) {
        skipBlanks();
        size_t end = m_s.find(')', m_pos);
        if (end == std::string::npos)
            return false;
        std::string expr;
        for (size_t i = m_pos; i < end; ++i)
            if (!isBlank(m_s[i]))
                expr += static_cast<char>(m_s[i] >= 'A' && m_s[i] <= 'Z' ? m_s[i] + 32 : m_s[i]);
        m_pos = end;
        if (expr == "odd") {
            a = 2;
            b = 1;
            return true;
        }
        if (expr == "even") {
            a = 2;
            b = 0;
            return true;
        }
        auto toInt = [](const std::string& s, int& out) {
            if (s.empty() || s.size() > 7)
                return false;
            size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
            if (i == s.size())
                return false;
            for (size_t k = i; k < s.size(); ++k)
                if (s[k] < '0' || s[k] > '9')
                    return false;
            out = std::stoi(s);
            return true;
        };
        const size_t n = expr.find('n');
        if (n == std::string::npos) {
            a = 0;
            return toInt(expr, b);
        }
        const std::string as = expr.substr(0, n);
        const std::string bs = expr.substr(n + 1);
        if (as.empty() || as == "+")
            a = 1;
        else if (as == "-")
            a = -1;
        else if (!toInt(as, a))
            return false;
        if (bs.empty()) {
            b = 0;
            return true;
        }
        if (bs[0] != '+' && bs[0] != '-')
            return false;
        return toInt(bs, b);
    }

    std::optional<PseudoTest> parsePseudo() {
        auto name = readIdent();
        if (!name)
            return std::nullopt;
        const std::string n = lowerAscii(*name);
        static const struct {
            const char* name;
            Pseudo kind;
        } plain[] = {{"first-child", Pseudo::FirstChild},
                     {"last-child", Pseudo::LastChild},
                     {"only-child", Pseudo::OnlyChild},
                     {"first-of-type", Pseudo::FirstOfType},
                     {"last-of-type", Pseudo::LastOfType},
                     {"empty", Pseudo::Empty},
                     {"root", Pseudo::Root}};
        for (const auto& p : plain)
            if (n == p.name)
                return PseudoTest{p.kind, 0, 0, {}};
        if (!eat('('))
            return std::nullopt;
        PseudoTest t{Pseudo::NthChild, 0, 0, {}};
        if (n == "nth-child" || n == "nth-last-child" || n == "nth-of-type") {
            t.kind = n == "nth-child"        ? Pseudo::NthChild
                     : n == "nth-last-child" ? Pseudo::NthLastChild
                                             : Pseudo::NthOfType;
            if (!parseNth(t.a, t.b))
                return std::nullopt;
        } else if (n == "not") {
            t.kind = Pseudo::Not;
            if (++m_nesting > kMaxSelectorNesting)
                return std::nullopt;
            do {
                skipBlanks();
                auto inner = parseCompound();
                if (!inner)
                    return std::nullopt;
                t.negated.push_back(std::move(*inner));
                skipBlanks();
            } while (eat(','));
            --m_nesting;
        } else {
            return std::nullopt;
        }
        skipBlanks();
        if (!eat(')'))
            return std::nullopt;
        return t;
    }

    std::string m_s;
    size_t m_pos = 0;
    int m_nesting = 0; // open :not( levels
};

// --- matching ---

const xmlNode* parentElement(const xmlNode* n) {
    const xmlNode* p = n->parent;
    return p && p->type == XML_ELEMENT_NODE ? p : nullptr;
}

const xmlNode* previousElement(const xmlNode* n) {
    for (n = n->prev; n; n = n->prev)
        if (n->type == XML_ELEMENT_NODE)
            return n;
    return nullptr;
}

const xmlNode* nextElement(const xmlNode* n) {
    for (n = n->next; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE)
            return n;
    return nullptr;
}

bool attrMatches(const AttrTest& t, const xmlNode* el) {
    const xmlAttr* a = xml::findAttr(el, t.name.c_str());
    if (!a)
        return false;
    if (t.op == AttrOp::Exists)
        return true;
    std::string storage, lowered;
    std::string_view value = xml::attrValue(a, storage);
    if (t.ignoreCase) {
        lowered = lowerAscii(std::string(value));
        value = lowered;
    }
    const std::string_view want = t.value; // lowered at parse time when ignoring case
    switch (t.op) {
    case AttrOp::Exists:
        return true;
    case AttrOp::Equals:
        return value == want;
    case AttrOp::Includes:
        return xml::hasWord(value, want);
    case AttrOp::DashMatch:
        return value == want || (value.size() > want.size() &&
                                 value.substr(0, want.size()) == want && value[want.size()] == '-');
    case AttrOp::Prefix:
        return !want.empty() && value.substr(0, want.size()) == want;
    case AttrOp::Suffix:
        return !want.empty() && value.size() >= want.size() &&
               value.substr(value.size() - want.size()) == want;
    case AttrOp::Substring:
        return !want.empty() && value.find(want) != std::string::npos;
    }
    return false;
}

bool sameType(const xmlNode* a, const xmlNode* b) {
    return a->name && b->name && xmlStrcasecmp(a->name, b->name) == 0;
}

// Position from 1 among the element siblings (of the same type when `ofType`).
int position(const xmlNode* el, bool fromEnd, bool ofType) {
    int pos = 1;
    for (const xmlNode* s = fromEnd ? nextElement(el) : previousElement(el); s;
         s = fromEnd ? nextElement(s) : previousElement(s))
        if (!ofType || sameType(s, el))
            ++pos;
    return pos;
}

bool nthMatches(int a, int b, int pos) {
    if (a == 0)
        return pos == b;
    const int diff = pos - b;
    return diff % a == 0 && diff / a >= 0;
}

bool compoundMatches(const Compound& c, const xmlNode* el);

bool pseudoMatches(const PseudoTest& p, const xmlNode* el) {
    switch (p.kind) {
    case Pseudo::FirstChild:
        return previousElement(el) == nullptr;
    case Pseudo::LastChild:
        return nextElement(el) == nullptr;
    case Pseudo::OnlyChild:
        return previousElement(el) == nullptr && nextElement(el) == nullptr;
    case Pseudo::FirstOfType:
        return position(el, false, true) == 1;
    case Pseudo::LastOfType:
        return position(el, true, true) == 1;
    case Pseudo::NthChild:
        return nthMatches(p.a, p.b, position(el, false, false));
    case Pseudo::NthLastChild:
        return nthMatches(p.a, p.b, position(el, true, false));
    case Pseudo::NthOfType:
        return nthMatches(p.a, p.b, position(el, false, true));
    case Pseudo::Empty:
        for (const xmlNode* k = el->children; k; k = k->next)
            if (k->type == XML_ELEMENT_NODE ||
                ((k->type == XML_TEXT_NODE || k->type == XML_CDATA_SECTION_NODE) && k->content &&
                 *k->content))
                return false;
        return true;
    case Pseudo::Root:
        return el->parent && el->parent->type == XML_HTML_DOCUMENT_NODE;
    case Pseudo::Not:
        for (const auto& n : p.negated)
            if (compoundMatches(n, el))
                return false;
        return true;
    }
    return false;
}

bool compoundMatches(const Compound& c, const xmlNode* el) {
    if (!c.type.empty() && (!el->name || xmlStrcasecmp(el->name, BAD_CAST c.type.c_str()) != 0))
        return false;
    std::string storage;
    if (!c.ids.empty()) {
        const xmlAttr* a = xml::findAttr(el, "id");
        if (!a)
            return false;
        const std::string_view id = xml::attrValue(a, storage);
        for (const auto& want : c.ids)
            if (id != want)
                return false;
    }
    if (!c.classes.empty()) {
        const xmlAttr* a = xml::findAttr(el, "class");
        if (!a)
            return false;
        const std::string_view cls = xml::attrValue(a, storage);
        for (const auto& want : c.classes)
            if (!xml::hasWord(cls, want))
                return false;
    }
    for (const auto& a : c.attrs)
        if (!attrMatches(a, el))
            return false;
    for (const auto& p : c.pseudos)
        if (!pseudoMatches(p, el))
            return false;
    return true;
}

} // namespace

std::shared_ptr<const SelectorList> ParseSelectors(const QString& text) {
    Parser parser(text.toStdString());
    auto list = parser.parseList();
    if (!list)
        return nullptr;
    return std::make_shared<const SelectorList>(std::move(*list));
}

// What the matcher remembers: whether compound `index` of complex selector `complex`,
// with everything left of it, matches the node itself (Self), some ancestor of it
// (Ancestor) or some earlier sibling of it (Earlier).
struct SelectorMatcher::State {
    enum class Kind : std::uint8_t { Self, Ancestor, Earlier };
    struct Key {
        const xmlNode* node;
        std::uint32_t complex;
        std::uint32_t index;
        Kind kind;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            std::size_t h = std::hash<const void*>()(k.node);
            h ^= (std::size_t(k.complex) * 0x9E3779B97F4A7C15ull) + (std::size_t(k.index) << 2) +
                 std::size_t(k.kind);
            return h;
        }
    };

    const SelectorList& list;
    std::unordered_map<Key, bool, KeyHash> memo;

    explicit State(const SelectorList& l) : list(l) {}

    // Compound `index` and the combinators and compounds left of it match `el`. The
    // recursion goes down the compounds only (at most kMaxCompounds deep); the walks up
    // and along the tree are loops.
    bool self(std::uint32_t cx, std::uint32_t index, const xmlNode* el) {
        const Complex& complex = list.selectors[cx];
        if (!compoundMatches(complex.compounds[index], el))
            return false;
        if (index == 0)
            return true;
        const Key key{el, cx, index, Kind::Self};
        if (const auto it = memo.find(key); it != memo.end())
            return it->second;
        bool result = false;
        switch (complex.combinators[index - 1]) {
        case Combinator::Child: {
            const xmlNode* p = parentElement(el);
            result = p && self(cx, index - 1, p);
            break;
        }
        case Combinator::Descendant:
            result = some(cx, index - 1, el, Kind::Ancestor);
            break;
        case Combinator::Adjacent: {
            const xmlNode* s = previousElement(el);
            result = s && self(cx, index - 1, s);
            break;
        }
        case Combinator::Sibling:
            result = some(cx, index - 1, el, Kind::Earlier);
            break;
        }
        memo.emplace(key, result);
        return result;
    }

    // Some ancestor (or earlier sibling) of `el` matches compound `index` with its left
    // part. Every node passed on the way shares the answer, so each is asked once.
    bool some(std::uint32_t cx, std::uint32_t index, const xmlNode* el, Kind kind) {
        const auto step = [kind](const xmlNode* n) {
            return kind == Kind::Ancestor ? parentElement(n) : previousElement(n);
        };
        std::vector<const xmlNode*> passed;
        bool result = false;
        for (const xmlNode* n = el;;) {
            if (const auto it = memo.find(Key{n, cx, index, kind}); it != memo.end()) {
                result = it->second;
                break;
            }
            passed.push_back(n);
            const xmlNode* next = step(n);
            if (next == nullptr)
                break;
            if (self(cx, index, next)) {
                result = true;
                break;
            }
            n = next;
        }
        for (const xmlNode* n : passed)
            memo.emplace(Key{n, cx, index, kind}, result);
        return result;
    }
};

SelectorMatcher::SelectorMatcher(const SelectorList& selectors)
    : m_state(std::make_unique<State>(selectors)) {}

SelectorMatcher::~SelectorMatcher() = default;

bool SelectorMatcher::matches(const _xmlNode* element) {
    if (element == nullptr || element->type != XML_ELEMENT_NODE)
        return false;
    const auto& selectors = m_state->list.selectors;
    for (std::uint32_t cx = 0; cx < selectors.size(); ++cx)
        if (m_state->self(cx, std::uint32_t(selectors[cx].compounds.size() - 1), element))
            return true;
    return false;
}

bool MatchesSelectors(const SelectorList& selectors, const _xmlNode* element) {
    return SelectorMatcher(selectors).matches(element);
}

} // namespace browser
