#include "browser/CssSelector.h"

#include "browser/XmlUtil.h"

#include <optional>
#include <string>
#include <unordered_set>
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
    NthLastOfType,
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

// Compound selectors joined by combinators in one selector. Matching costs up to steps times
// the page's depth per element; real selectors have a handful.
constexpr size_t kMaxSteps = 64;

// A recursive-descent reader over the selector text as UTF-8.
class Parser {
public:
    explicit Parser(std::string text) : m_s(std::move(text)) {}

    std::optional<SelectorList> parseList() {
        SelectorList list;
        skipBlanks();
        if (atEnd())
            return fail<SelectorList>("empty selector");
        do {
            skipBlanks();
            auto complex = parseComplex();
            if (!complex)
                return std::nullopt;
            list.selectors.push_back(std::move(*complex));
            skipBlanks();
        } while (eat(','));
        if (!atEnd())
            return unexpected<SelectorList>();
        return list;
    }

    const std::string& error() const { return m_error; }

private:
    // Records the first problem found; every caller then unwinds with nullopt.
    template <class T = bool> std::optional<T> fail(std::string message) {
        if (m_error.empty())
            m_error = std::move(message);
        return std::nullopt;
    }
    template <class T = bool> std::optional<T> unexpected() {
        if (atEnd())
            return fail<T>("unexpected end of selector");
        std::string what(1, m_s[m_pos]);
        // Whole UTF-8 sequence, so the message stays valid text.
        for (size_t i = m_pos + 1; i < m_s.size() && (m_s[i] & 0xC0) == 0x80; ++i)
            what += m_s[i];
        return fail<T>("unexpected '" + what + "' at position " + std::to_string(m_pos + 1));
    }
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
        auto first = parseCompound(false);
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
            if (complex.compounds.size() >= kMaxSteps)
                return fail<Complex>("more than " + std::to_string(kMaxSteps) +
                                     " steps in one selector");
            skipBlanks();
            auto next = parseCompound(false);
            if (!next)
                return std::nullopt;
            complex.combinators.push_back(*comb);
            complex.compounds.push_back(std::move(*next));
        }
    }

    // inNot: inside :not(), which takes no further :not() (so the nesting, and the
    // parser's recursion, stays one level deep).
    std::optional<Compound> parseCompound(bool inNot) {
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
                    return fail<Compound>("'#' without an id at position " + std::to_string(m_pos));
                c.ids.push_back(*id);
            } else if (eat('.')) {
                auto cls = readIdent();
                if (!cls)
                    return fail<Compound>("'.' without a class name at position " +
                                          std::to_string(m_pos));
                c.classes.push_back(*cls);
            } else if (eat('[')) {
                auto attr = parseAttr();
                if (!attr)
                    return std::nullopt;
                c.attrs.push_back(std::move(*attr));
            } else if (eat(':')) {
                auto pseudo = parsePseudo(inNot);
                if (!pseudo)
                    return std::nullopt;
                c.pseudos.push_back(std::move(*pseudo));
            } else {
                break;
            }
            any = true;
        }
        if (!any)
            return unexpected<Compound>();
        return c;
    }

    std::optional<AttrTest> parseAttr() {
        AttrTest t;
        skipBlanks();
        auto name = readIdent();
        if (!name)
            return fail<AttrTest>("attribute name expected after '[' at position " +
                                  std::to_string(m_pos + 1));
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
                return unexpected<AttrTest>();
        }
        skipBlanks();
        if (peek() == '"' || peek() == '\'') {
            auto v = readString();
            if (!v)
                return fail<AttrTest>("unclosed string in attribute selector");
            t.value = *v;
        } else {
            auto v = readIdent();
            if (!v)
                return fail<AttrTest>("attribute value expected at position " +
                                      std::to_string(m_pos + 1));
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
            return atEnd() ? fail<AttrTest>("unclosed attribute selector, ']' missing")
                           : unexpected<AttrTest>();
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

    std::optional<PseudoTest> parsePseudo(bool inNot) {
        if (peek() == ':') {
            ++m_pos;
            const auto element = readIdent();
            return fail<PseudoTest>("pseudo-element '::" + element.value_or("") +
                                    "' selects no element");
        }
        auto name = readIdent();
        if (!name)
            return fail<PseudoTest>("pseudo-class name expected after ':' at position " +
                                    std::to_string(m_pos));
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
            if (n == p.name) {
                if (peek() == '(')
                    return fail<PseudoTest>("':" + n + "' takes no argument");
                return PseudoTest{p.kind, 0, 0, {}};
            }
        const bool functional = n == "nth-child" || n == "nth-last-child" || n == "nth-of-type" ||
                                n == "nth-last-of-type" || n == "not";
        if (!functional)
            return fail<PseudoTest>("unknown pseudo-class ':" + *name + "'");
        if (!eat('('))
            return fail<PseudoTest>("':" + n + "()' needs an argument in parentheses");
        PseudoTest t{Pseudo::NthChild, 0, 0, {}};
        if (n == "not") {
            if (inNot)
                return fail<PseudoTest>("':not()' cannot be nested");
            t.kind = Pseudo::Not;
            do {
                skipBlanks();
                auto inner = parseCompound(true);
                if (!inner)
                    return std::nullopt;
                t.negated.push_back(std::move(*inner));
                skipBlanks();
            } while (eat(','));
        } else {
            t.kind = n == "nth-child"        ? Pseudo::NthChild
                     : n == "nth-last-child" ? Pseudo::NthLastChild
                     : n == "nth-of-type"    ? Pseudo::NthOfType
                                             : Pseudo::NthLastOfType;
            const size_t start = m_pos;
            if (!parseNth(t.a, t.b)) {
                const size_t end = m_s.find(')', start);
                return fail<PseudoTest>(
                    "invalid argument of ':" + n + "()': '" +
                    m_s.substr(start, end == std::string::npos ? std::string::npos : end - start) +
                    "' (expected an+b, odd, even or a number)");
            }
        }
        skipBlanks();
        if (!eat(')'))
            return atEnd() ? fail<PseudoTest>("')' missing after ':" + n + "('")
                           : unexpected<PseudoTest>();
        return t;
    }

    std::string m_s;
    size_t m_pos = 0;
    std::string m_error;
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
    case Pseudo::NthLastOfType:
        return nthMatches(p.a, p.b, position(el, true, true));
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

// Failed (compound index, element) pairs of one match. Descendant and sibling
// combinators retry every ancestor or earlier sibling; without remembering failures a
// selector of many such steps over a deep page costs exponential time.
class Failures {
public:
    bool contains(size_t index, const xmlNode* el) const {
        return m_set.find(Key{index, el}) != m_set.end();
    }
    void add(size_t index, const xmlNode* el) { m_set.insert(Key{index, el}); }

private:
    struct Key {
        size_t index;
        const xmlNode* el;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        size_t operator()(const Key& k) const {
            return std::hash<const void*>()(k.el) ^ (k.index * 0x9E3779B97F4A7C15ull);
        }
    };
    std::unordered_set<Key, Hash> m_set;
};

bool complexMatches(const Complex& cx, size_t index, const xmlNode* el, Failures& failed);

bool tryMatch(const Complex& cx, size_t index, const xmlNode* el, Failures& failed) {
    if (failed.contains(index, el))
        return false;
    if (complexMatches(cx, index, el, failed))
        return true;
    failed.add(index, el);
    return false;
}

bool complexMatches(const Complex& cx, size_t index, const xmlNode* el, Failures& failed) {
    if (!compoundMatches(cx.compounds[index], el))
        return false;
    if (index == 0)
        return true;
    switch (cx.combinators[index - 1]) {
    case Combinator::Child: {
        const xmlNode* p = parentElement(el);
        return p && complexMatches(cx, index - 1, p, failed);
    }
    case Combinator::Descendant:
        for (const xmlNode* p = parentElement(el); p; p = parentElement(p))
            if (tryMatch(cx, index - 1, p, failed))
                return true;
        return false;
    case Combinator::Adjacent: {
        const xmlNode* s = previousElement(el);
        return s && complexMatches(cx, index - 1, s, failed);
    }
    case Combinator::Sibling:
        for (const xmlNode* s = previousElement(el); s; s = previousElement(s))
            if (tryMatch(cx, index - 1, s, failed))
                return true;
        return false;
    }
    return false;
}

} // namespace

SelectorCompile CompileSelectors(const QString& text) {
    Parser parser(text.toStdString());
    auto list = parser.parseList();
    if (!list) {
        const std::string& error = parser.error();
        return {nullptr,
                error.empty() ? QStringLiteral("invalid selector") : QString::fromStdString(error)};
    }
    return {std::make_shared<const SelectorList>(std::move(*list)), {}};
}

std::shared_ptr<const SelectorList> ParseSelectors(const QString& text) {
    return CompileSelectors(text).selectors;
}

bool MatchesSelectors(const SelectorList& selectors, const _xmlNode* element) {
    if (element == nullptr || element->type != XML_ELEMENT_NODE)
        return false;
    for (const auto& cx : selectors.selectors) {
        Failures failed;
        if (complexMatches(cx, cx.compounds.size() - 1, element, failed))
            return true;
    }
    return false;
}

} // namespace browser
