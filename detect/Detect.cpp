#include "detect/Detect.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <map>

namespace detect {

namespace {

// ---------------------------------------------------------------------------------------
// The page as a tree, with what the scoring needs of every subtree, computed once.

struct Tree {
    const std::vector<Element>& el;
    int n = 0;
    std::vector<int> parent;
    std::vector<std::vector<int>> children;
    std::vector<int> end;       // one past the last element of the subtree
    std::vector<int> textLen;   // own text of the subtree, summed
    std::vector<int> fields;    // elements of the subtree with own text
    std::vector<int> nthOfType; // 1-based among the siblings of the same tag
    std::vector<int> nthOfKind; // 1-based among the siblings of the same tag and classes
    std::vector<char> aside;    // in navigation, header, footer or a side bar

    explicit Tree(const Page& page) : el(page.elements) {
        n = static_cast<int>(std::min<std::size_t>(el.size(), kMaxElements));
        parent.assign(n, -1);
        children.resize(n);
        end.resize(n);
        textLen.assign(n, 0);
        fields.assign(n, 0);
        nthOfType.assign(n, 1);
        nthOfKind.assign(n, 1);
        aside.assign(n, 0);
        for (int i = 0; i < n; ++i) {
            // A parent after its child would make a cycle: such an element becomes a root.
            const int p = el[i].parent;
            parent[i] = p >= 0 && p < i ? p : -1;
            if (parent[i] >= 0)
                children[parent[i]].push_back(i);
            end[i] = i + 1;
        }
        for (int i = n - 1; i >= 0; --i) {
            const int own = static_cast<int>(el[i].text.size());
            textLen[i] += el[i].visible ? own : 0;
            fields[i] += el[i].visible && own > 0 ? 1 : 0;
            if (const int p = parent[i]; p >= 0) {
                textLen[p] = std::min(textLen[p] + textLen[i], 1 << 28);
                fields[p] = std::min(fields[p] + fields[i], 1 << 28);
                end[p] = std::max(end[p], end[i]);
            }
        }
        for (int i = 0; i < n; ++i) {
            QHash<QString, int> seen;
            QHash<QString, int> seenKind;
            for (int c : children[i]) {
                nthOfType[c] = ++seen[el[c].tag];
                QStringList classes = el[c].classes;
                classes.sort();
                nthOfKind[c] = ++seenKind[el[c].tag + u'.' + classes.join(u'.')];
            }
            const int p = parent[i];
            aside[i] = (p >= 0 && aside[p]) || isAsideElement(el[i]);
        }
    }

    static bool isAsideElement(const Element& e) {
        static const QSet<QString> tags{QStringLiteral("nav"), QStringLiteral("header"),
                                        QStringLiteral("footer"), QStringLiteral("aside")};
        static const QSet<QString> words{
            QStringLiteral("nav"),        QStringLiteral("navbar"),
            QStringLiteral("navigation"), QStringLiteral("menu"),
            QStringLiteral("footer"),     QStringLiteral("site-footer"),
            QStringLiteral("header"),     QStringLiteral("site-header"),
            QStringLiteral("breadcrumb"), QStringLiteral("breadcrumbs"),
            QStringLiteral("sidebar"),    QStringLiteral("pagination"),
            QStringLiteral("pager"),      QStringLiteral("topbar")};
        if (tags.contains(e.tag) || words.contains(e.id.toLower()))
            return true;
        for (const QString& c : e.classes)
            if (words.contains(c.toLower()))
                return true;
        return false;
    }

    bool inside(int e, int ancestor) const { return e > ancestor && e < end[ancestor]; }
};

// Elements of one record looked at, and records the columns are worked out from.
constexpr int kMaxScan = 2000;
constexpr std::size_t kMaxSampledRecords = 200;
// Fields further below their record than this are nested records or widgets, not fields.
constexpr std::size_t kMaxFieldDepth = 12;

bool isCssIdent(const QString& s) {
    static const QRegularExpression ident(QStringLiteral("^-?[A-Za-z_][A-Za-z0-9_-]*$"));
    return s.size() <= 100 && ident.match(s).hasMatch();
}

// Class names that a build tool made up ("css-1q2w3e", "sc-bdVaJa"): they hold within a page
// but are the first thing to change on the site, so other classes are preferred.
bool isGenerated(const QString& s) {
    int digits = 0;
    for (const QChar c : s)
        digits += c.isDigit() ? 1 : 0;
    static const QRegularExpression styled(QStringLiteral("^(sc|css|jsx|emotion)-"));
    return styled.match(s).hasMatch() || (s.size() >= 6 && digits >= 2 && digits < s.size());
}

bool isAdWord(const QString& s) {
    static const QSet<QString> words{QStringLiteral("ad"),        QStringLiteral("ads"),
                                     QStringLiteral("advert"),    QStringLiteral("advertisement"),
                                     QStringLiteral("sponsored"), QStringLiteral("sponsor"),
                                     QStringLiteral("promo"),     QStringLiteral("promoted"),
                                     QStringLiteral("banner"),    QStringLiteral("ad-slot"),
                                     QStringLiteral("adslot")};
    return words.contains(s.toLower());
}

QStringList usableClasses(const Element& e, bool withGenerated) {
    QStringList out;
    for (const QString& c : e.classes)
        if (isCssIdent(c) && (withGenerated || !isGenerated(c)))
            out.append(c);
    out.sort();
    out.removeDuplicates();
    return out;
}

// ---------------------------------------------------------------------------------------
// Selectors: the few forms this code writes, and a matcher for them that agrees with CSS,
// so that every selector proposed is checked against the page before it is proposed.

struct Compound {
    QString tag;
    QString id;
    QStringList classes;
    QStringList notClasses;
    int nthOfType = 0;
    bool notFirstChild = false;

    QString css() const {
        QString s = tag;
        if (!id.isEmpty())
            s += u'#' + id;
        for (const QString& c : classes)
            s += u'.' + c;
        if (nthOfType > 0)
            s += QStringLiteral(":nth-of-type(%1)").arg(nthOfType);
        for (const QString& c : notClasses)
            s += QStringLiteral(":not(.%1)").arg(c);
        if (notFirstChild)
            s += QStringLiteral(":not(:first-child)");
        return s.isEmpty() ? QStringLiteral("*") : s;
    }
};

// Compounds joined by the child combinator.
using Chain = std::vector<Compound>;

QString cssOf(const Chain& chain) {
    QStringList parts;
    for (const Compound& c : chain)
        parts.append(c.css());
    return parts.join(QStringLiteral(" > "));
}

bool matches(const Tree& t, int e, const Compound& c) {
    const Element& x = t.el[e];
    if (!c.tag.isEmpty() && x.tag != c.tag)
        return false;
    if (!c.id.isEmpty() && x.id != c.id)
        return false;
    for (const QString& k : c.classes)
        if (!x.classes.contains(k))
            return false;
    for (const QString& k : c.notClasses)
        if (x.classes.contains(k))
            return false;
    if (c.nthOfType > 0 && t.nthOfType[e] != c.nthOfType)
        return false;
    if (c.notFirstChild) {
        const int p = t.parent[e];
        if (p < 0 || t.children[p].front() == e)
            return false;
    }
    return true;
}

bool matches(const Tree& t, int e, const Chain& chain) {
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (e < 0 || !matches(t, e, *it))
            return false;
        e = t.parent[e];
    }
    return true;
}

// What the selector matches in the whole page.
std::vector<int> matchAll(const Tree& t, const Chain& chain) {
    std::vector<int> out;
    for (int i = 0; i < t.n; ++i)
        if (matches(t, i, chain))
            out.push_back(i);
    return out;
}

// The first match below scope, as a query from the scope element finds it; looked for
// among the record's first elements only (a record's fields are near its start).
int firstIn(const Tree& t, int scope, const Chain& chain) {
    const int stop = std::min({t.end[scope], t.n, scope + 1 + kMaxScan});
    for (int i = scope + 1; i < stop; ++i)
        if (matches(t, i, chain))
            return i;
    return -1;
}

Compound compoundOf(const Tree& t, int e, bool withClasses, bool withGenerated) {
    Compound c;
    c.tag = t.el[e].tag;
    if (withClasses)
        c.classes = usableClasses(t.el[e], withGenerated);
    return c;
}

// ---------------------------------------------------------------------------------------
// The records: groups of elements of one tag under parents of one kind, scored by the
// content they hold and how regularly they are laid out.

struct Group {
    std::vector<int> records;
    double score = 0;
    double avgFields = 0;
    int text = 0;
};

QString parentKey(const Tree& t, int p) {
    const Element& e = t.el[p];
    QStringList classes = e.classes;
    classes.sort();
    return e.tag + u'#' + e.id + u'.' + classes.join(u'.');
}

bool looksLikeListContainer(const Element& e) {
    static const QRegularExpression word(
        QStringLiteral("result|listing|list|items|search|directory|entries|catalog|products"),
        QRegularExpression::CaseInsensitiveOption);
    if (e.tag == u"ul" || e.tag == u"ol" || e.tag == u"tbody" || e.tag == u"table")
        return true;
    return word.match(e.id).hasMatch() || word.match(e.classes.join(u' ')).hasMatch();
}

std::optional<Group> scoreGroup(const Tree& t, const std::vector<int>& members, double pageWidth) {
    // Blocks marked as advertising are not listings, whatever they look like.
    std::vector<int> kept;
    for (int m : members) {
        const Element& e = t.el[m];
        const bool ad = isAdWord(e.id) || std::any_of(e.classes.begin(), e.classes.end(), isAdWord);
        if (!ad)
            kept.push_back(m);
    }
    if (kept.empty())
        return std::nullopt;
    // Members shaped unlike the rest (a header row of th among rows of td) drop out.
    std::vector<QSet<QString>> shapes;
    QHash<QString, int> shapeCount;
    for (int m : kept) {
        QSet<QString> s;
        for (int c : t.children[m])
            s.insert(t.el[c].tag);
        QStringList key(s.begin(), s.end());
        key.sort();
        ++shapeCount[key.join(u',')];
        shapes.push_back(std::move(s));
    }
    QString majorityKey;
    int best = -1;
    for (auto it = shapeCount.cbegin(); it != shapeCount.cend(); ++it)
        if (it.value() > best || (it.value() == best && it.key() < majorityKey)) {
            best = it.value();
            majorityKey = it.key();
        }
    const QStringList majorityList = majorityKey.split(u',', Qt::SkipEmptyParts);
    const QSet<QString> majority(majorityList.begin(), majorityList.end());
    std::vector<int> shaped;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const QSet<QString>& s = shapes[i];
        const auto common = static_cast<double>(QSet<QString>(s).intersect(majority).size());
        const auto all = static_cast<double>(QSet<QString>(s).unite(majority).size());
        if (all == 0 || common / all >= 0.5)
            shaped.push_back(kept[i]);
    }
    // The classes most members share are the record's own; members without them are not
    // records (a divider, a differently made block).
    QHash<QString, int> classCount;
    for (int m : shaped)
        for (const QString& c : usableClasses(t.el[m], true))
            ++classCount[c];
    QStringList core;
    for (auto it = classCount.cbegin(); it != classCount.cend(); ++it)
        if (it.value() * 2 > static_cast<int>(shaped.size()))
            core.append(it.key());
    Group g;
    for (int m : shaped) {
        if (!t.el[m].visible || t.textLen[m] == 0)
            continue;
        if (std::all_of(core.begin(), core.end(),
                        [&](const QString& c) { return t.el[m].classes.contains(c); }))
            g.records.push_back(m);
    }
    // Records do not hold one another (nested blocks of one kind are markup, not a list).
    std::vector<int> disjoint;
    for (int r : g.records)
        if (disjoint.empty() || r >= t.end[disjoint.back()])
            disjoint.push_back(r);
    g.records = std::move(disjoint);
    const int n = static_cast<int>(g.records.size());
    if (n == 0)
        return std::nullopt;
    double fieldSum = 0;
    std::vector<double> widths;
    double centre = 0;
    for (int r : g.records) {
        fieldSum += std::min(t.fields[r], 50);
        g.text += std::min(t.textLen[r], 2000);
        widths.push_back(t.el[r].box.w);
        centre += t.el[r].box.x + t.el[r].box.w / 2;
    }
    g.avgFields = fieldSum / n;
    centre /= n;
    // A record has something to put in columns; one text each is a menu or prose.
    if (g.avgFields < 1.5 || g.text < 20)
        return std::nullopt;
    const int p = t.parent[g.records.front()];
    if (n == 1 && (g.avgFields < 3 || p < 0 || !looksLikeListContainer(t.el[p])))
        return std::nullopt;
    std::nth_element(widths.begin(), widths.begin() + n / 2, widths.end());
    const double median = widths[n / 2];
    double regular = 1;
    if (median > 0) {
        int alike = 0;
        for (int r : g.records)
            alike += std::abs(t.el[r].box.w - median) <= 0.25 * median ? 1 : 0;
        regular = static_cast<double>(alike) / n;
    }
    // What repeats in menus, headers, footers and side bars is the site's, not the listing.
    if (t.aside[g.records.front()])
        return std::nullopt;
    double weight = (0.5 + 0.5 * regular) * std::log2(1 + std::min(g.avgFields, 8.0));
    // A narrow column at the page's edge is a side bar, not the main area.
    if (pageWidth > 0 && median > 0 && median < 0.25 * pageWidth &&
        (centre < 0.2 * pageWidth || centre > 0.8 * pageWidth) && n < 4)
        weight *= 0.3;
    if (n == 1)
        weight *= 0.3;
    g.score = g.text * weight;
    return g;
}

std::optional<Group> findRecords(const Tree& t) {
    double pageWidth = 0;
    for (int i = 0; i < t.n; ++i)
        pageWidth = std::max(pageWidth, t.el[i].box.x + t.el[i].box.w);
    std::map<QString, std::vector<int>> groups;
    for (int i = 0; i < t.n; ++i) {
        const int p = t.parent[i];
        if (p < 0 || !t.el[i].visible || t.textLen[i] == 0)
            continue;
        static const QSet<QString> never{QStringLiteral("body"),  QStringLiteral("head"),
                                         QStringLiteral("html"),  QStringLiteral("script"),
                                         QStringLiteral("style"), QStringLiteral("option")};
        if (never.contains(t.el[i].tag))
            continue;
        // The grandparent too: a list in the page's header and one in its main area are
        // different lists even when both are a bare ul.
        const int g = t.parent[p];
        groups[(g >= 0 ? parentKey(t, g) : QString()) + u'>' + parentKey(t, p) + u'>' + t.el[i].tag]
            .push_back(i);
    }
    std::vector<Group> scored;
    for (const auto& [key, members] : groups)
        if (auto g = scoreGroup(t, members, pageWidth))
            scored.push_back(std::move(*g));
    if (scored.empty())
        return std::nullopt;
    std::sort(scored.begin(), scored.end(),
              [](const Group& a, const Group& b) { return a.score > b.score; });
    Group chosen = scored.front();
    // Rows of a grid repeat too, and hold more than one record each: when a group lies
    // wholly inside the chosen one, at least twice as many, each rich, with most of its
    // text, its members are the records.
    for (int round = 0; round < 4; ++round) {
        bool changed = false;
        std::vector<char> inChosen(t.n, 0);
        for (int c : chosen.records)
            for (int i = c + 1; i < t.end[c] && i < t.n && !inChosen[i]; ++i)
                inChosen[i] = 1;
        for (const Group& g : scored) {
            if (g.records.size() < 2 * chosen.records.size() || g.avgFields < 3 ||
                g.text < 0.7 * chosen.text)
                continue;
            const bool within = std::all_of(g.records.begin(), g.records.end(),
                                            [&](int r) { return inChosen[r] != 0; });
            if (within) {
                chosen = g;
                changed = true;
                break;
            }
        }
        if (!changed)
            break;
    }
    return chosen;
}

// How well a selector's matches agree with the wanted set: 1 exactly.
double agreement(const std::vector<int>& got, const std::vector<int>& want) {
    if (got.empty() || want.empty())
        return 0;
    std::vector<int> common;
    std::set_intersection(got.begin(), got.end(), want.begin(), want.end(),
                          std::back_inserter(common));
    const double p = static_cast<double>(common.size()) / got.size();
    const double r = static_cast<double>(common.size()) / want.size();
    return p + r == 0 ? 0 : 2 * p * r / (p + r);
}

Chain recordsSelector(const Tree& t, const std::vector<int>& records) {
    std::vector<int> want = records;
    std::sort(want.begin(), want.end());
    // The classes all records share.
    auto shared = [&](bool withGenerated) {
        QStringList common = usableClasses(t.el[want.front()], withGenerated);
        for (int r : want)
            common.erase(
                std::remove_if(common.begin(), common.end(),
                               [&](const QString& c) { return !t.el[r].classes.contains(c); }),
                common.end());
        return common;
    };
    auto parentCompound = [&](int up) -> std::optional<Compound> {
        // The same ancestor kind above every record, `up` levels up.
        std::vector<int> anc = want;
        for (int k = 0; k < up; ++k)
            for (int& a : anc) {
                a = t.parent[a];
                if (a < 0)
                    return std::nullopt;
            }
        const Element& first = t.el[anc.front()];
        Compound c;
        c.tag = first.tag;
        if (isCssIdent(first.id) &&
            std::all_of(anc.begin(), anc.end(), [&](int a) { return t.el[a].id == first.id; })) {
            c.id = first.id;
            return c;
        }
        QStringList common = usableClasses(first, true);
        for (int a : anc)
            common.erase(
                std::remove_if(common.begin(), common.end(),
                               [&](const QString& k) { return !t.el[a].classes.contains(k); }),
                common.end());
        c.classes = common;
        return c;
    };

    std::vector<Chain> candidates;
    for (bool generated : {false, true}) {
        Compound self;
        self.tag = t.el[want.front()].tag;
        self.classes = shared(generated);
        candidates.push_back({self});
        Chain chain{self};
        for (int up = 1; up <= 3; ++up) {
            const auto p = parentCompound(up);
            if (!p)
                break;
            chain.insert(chain.begin(), *p);
            candidates.push_back(chain);
            if (!p->id.isEmpty())
                break;
        }
    }
    // Refinements for what a candidate matches beyond the records: siblings with classes
    // of their own, or a first child (a header row).
    Chain bestChain = candidates.front();
    double best = -1;
    for (Chain c : candidates) {
        for (int step = 0; step < 3; ++step) {
            const std::vector<int> got = matchAll(t, c);
            const double a = agreement(got, want);
            if (a > best + 1e-9) {
                best = a;
                bestChain = c;
            }
            if (a >= 1)
                return c;
            std::vector<int> extra;
            std::set_difference(got.begin(), got.end(), want.begin(), want.end(),
                                std::back_inserter(extra));
            if (extra.empty())
                break;
            Compound& last = c.back();
            QStringList avoid;
            for (int x : extra)
                for (const QString& k : usableClasses(t.el[x], true))
                    if (!avoid.contains(k) && std::none_of(want.begin(), want.end(), [&](int r) {
                            return t.el[r].classes.contains(k);
                        }))
                        avoid.append(k);
            const bool firstChildren = std::all_of(extra.begin(), extra.end(), [&](int x) {
                const int p = t.parent[x];
                return p >= 0 && t.children[p].front() == x;
            });
            if (!avoid.isEmpty() && avoid.size() <= 3 && last.notClasses.isEmpty())
                last.notClasses = avoid;
            else if (firstChildren && !last.notFirstChild)
                last.notFirstChild = true;
            else
                break;
        }
    }
    return bestChain;
}

// ---------------------------------------------------------------------------------------
// The columns: the fields of the records aligned by their place in the record.

struct Occurrence {
    int record = 0;
    int element = 0;
};

struct FieldSlot {
    QString signature;
    std::vector<Occurrence> found; // at most one per record
    std::vector<int> steps;        // the path of its first occurrence, record's child first
    double meanOffset = 0;
    bool link = false;
};

std::vector<int> pathBelow(const Tree& t, int record, int e) {
    std::vector<int> path;
    for (int a = e; a >= 0 && a != record && path.size() <= kMaxFieldDepth; a = t.parent[a])
        path.push_back(a);
    std::reverse(path.begin(), path.end());
    return path;
}

QString signatureOf(const Tree& t, const std::vector<int>& path) {
    QStringList parts;
    for (int s : path)
        // By kind, not by place among all siblings: where an optional field is missing,
        // the fields after it keep their signature.
        parts.append(t.el[s].tag + u'.' + usableClasses(t.el[s], true).join(u'.') + u':' +
                     QString::number(t.nthOfKind[s]));
    return parts.join(u'>');
}

// The shortest selector that finds, in every record, this field (or nothing, or an empty
// element, where the record lacks it).
Chain fieldSelector(const Tree& t, const FieldSlot& slot, const std::vector<int>& records) {
    std::vector<Chain> candidates;
    const int last = slot.steps.back();
    for (bool generated : {false, true}) {
        Compound c = compoundOf(t, last, true, generated);
        if (!c.classes.isEmpty())
            candidates.push_back({c});
    }
    candidates.push_back({compoundOf(t, last, false, false)});
    Compound positioned = compoundOf(t, last, true, true);
    positioned.nthOfType = t.nthOfType[last];
    candidates.push_back({positioned});
    Chain full;
    for (int s : slot.steps)
        full.push_back(compoundOf(t, s, true, true));
    candidates.push_back(full);
    Chain exact;
    for (int s : slot.steps) {
        Compound c = compoundOf(t, s, true, true);
        c.nthOfType = t.nthOfType[s];
        exact.push_back(c);
    }
    candidates.push_back(exact);

    std::unordered_map<int, int> wanted; // record -> element
    for (const Occurrence& o : slot.found)
        wanted[o.record] = o.element;
    Chain bestChain = exact;
    int best = -1;
    for (const Chain& c : candidates) {
        int right = 0;
        for (int r : records) {
            const int got = firstIn(t, r, c);
            const auto it = wanted.find(r);
            if (it != wanted.end() ? got == it->second : (got < 0 || t.textLen[got] == 0))
                ++right;
        }
        if (right == static_cast<int>(records.size()))
            return c;
        if (right > best) {
            best = right;
            bestChain = c;
        }
    }
    return bestChain;
}

Kind majorityKind(const std::vector<QString>& values) {
    QHash<int, int> count;
    int nonEmpty = 0;
    for (const QString& v : values) {
        if (v.trimmed().isEmpty())
            continue;
        ++nonEmpty;
        ++count[static_cast<int>(recognise(v))];
    }
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.key() != static_cast<int>(Kind::Text) && it.value() * 10 >= nonEmpty * 6)
            return static_cast<Kind>(it.key());
    return Kind::Text;
}

bool isHttpLink(const QString& href) {
    return href.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           href.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive) ||
           href.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive);
}

// The columns of the records; region becomes the country of their telephone numbers, when
// they have a clear one.
std::vector<declarative::Column> proposeColumns(const Tree& t, const std::vector<int>& all,
                                                const QString& pageUrl, QString* region) {
    std::vector<QString> phones;
    // Records spread over the page stand for all of them.
    std::vector<int> records;
    const std::size_t stride = all.size() / kMaxSampledRecords + 1;
    for (std::size_t i = 0; i < all.size(); i += stride)
        records.push_back(all[i]);
    std::map<QString, FieldSlot> fieldSlots;
    for (int r : records) {
        int seenFields = 0;
        const int stop = std::min({t.end[r], t.n, r + 1 + kMaxScan});
        for (int e = r + 1; e < stop && seenFields < kMaxFieldsPerRecord; ++e) {
            const Element& x = t.el[e];
            const bool hasText = x.visible && !x.text.isEmpty();
            const bool link = x.tag == u"a" && !x.href.isEmpty();
            if (!hasText && !link)
                continue;
            ++seenFields;
            const std::vector<int> path = pathBelow(t, r, e);
            if (path.empty() || path.size() > kMaxFieldDepth)
                continue;
            FieldSlot& slot = fieldSlots[signatureOf(t, path)];
            if (!slot.found.empty() && slot.found.back().record == r)
                continue;
            if (slot.found.empty())
                slot.steps = path;
            slot.found.push_back({r, e});
            slot.meanOffset += e - r;
            slot.link = slot.link || link;
        }
    }
    std::vector<FieldSlot> kept;
    const std::size_t need =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(records.size() * 0.2)));
    for (auto& [sig, slot] : fieldSlots)
        if (slot.found.size() >= need) {
            slot.meanOffset /= static_cast<double>(slot.found.size());
            slot.signature = sig;
            kept.push_back(std::move(slot));
        }
    std::sort(kept.begin(), kept.end(),
              [](const FieldSlot& a, const FieldSlot& b) { return a.meanOffset < b.meanOffset; });

    const QString host = QUrl(pageUrl).host();
    std::vector<declarative::Column> columns;
    QHash<QString, int> names;
    int textColumns = 0;
    auto named = [&](const QString& base) {
        const int k = ++names[base];
        return k == 1 ? base : QStringLiteral("%1 %2").arg(base).arg(k);
    };
    for (const FieldSlot& slot : kept) {
        if (static_cast<int>(columns.size()) >= kMaxColumns)
            break;
        const Chain chain = fieldSelector(t, slot, records);
        std::vector<QString> texts;
        std::vector<QString> hrefs;
        for (const Occurrence& o : slot.found) {
            texts.push_back(t.el[o.element].text);
            hrefs.push_back(t.el[o.element].href);
        }
        declarative::Column c;
        c.select.text = cssOf(chain);
        const bool anyText =
            std::any_of(texts.begin(), texts.end(), [](const QString& s) { return !s.isEmpty(); });
        const QString href = hrefs.front();
        if (slot.link && href.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive)) {
            c.name = named(kindName(Kind::Email));
            c.attribute = QStringLiteral("href");
            c.clean = declarative::Clean::Email;
            c.width = 200;
            columns.push_back(c);
            continue;
        }
        // A link with the same words in every record is labelled ("Website", "Details"):
        // its address is the field, not its words.
        const bool label = slot.link && texts.size() >= 3 &&
                           std::all_of(texts.begin(), texts.end(),
                                       [&](const QString& s) { return s == texts.front(); });
        if (anyText && !label) {
            const Kind kind = majorityKind(texts);
            declarative::Column textColumn = c;
            textColumn.name = kind == Kind::Text
                                  ? named(QStringLiteral("Text %1").arg(++textColumns))
                                  : named(kindName(kind));
            textColumn.clean = kind == Kind::Phone   ? declarative::Clean::Phone
                               : kind == Kind::Email ? declarative::Clean::Email
                                                     : declarative::Clean::Text;
            textColumn.width = kind == Kind::Text ? 200 : 150;
            textColumn.key = kind == Kind::Phone || kind == Kind::Email;
            if (kind == Kind::Phone)
                phones.insert(phones.end(), texts.begin(), texts.end());
            columns.push_back(textColumn);
        }
        if (slot.link && isHttpLink(href) && static_cast<int>(columns.size()) < kMaxColumns) {
            const bool elsewhere = QUrl(href).host() != host;
            c.name = named(elsewhere || majorityKind(texts) == Kind::Web ? kindName(Kind::Web)
                                                                         : QStringLiteral("Link"));
            c.attribute = QStringLiteral("href");
            c.width = 200;
            columns.push_back(c);
        }
    }
    if (columns.empty()) {
        declarative::Column whole;
        whole.name = QStringLiteral("Text 1");
        whole.width = 300;
        columns.push_back(whole);
    }
    columns.front().key = true;
    *region = phoneRegion(phones);
    return columns;
}

// ---------------------------------------------------------------------------------------
// The next control.

QString fullText(const Tree& t, int e) {
    QString s;
    const int stop = std::min({t.end[e], t.n, e + 200});
    for (int i = e; i < stop && s.size() < 200; ++i)
        if (!t.el[i].text.isEmpty())
            s += (s.isEmpty() ? QString() : QStringLiteral(" ")) + t.el[i].text;
    return s.simplified();
}

bool isWord(const QString& text, const QSet<QString>& words) {
    QString s = text.simplified().toLower();
    return !s.isEmpty() && s.size() <= 40 && words.contains(s);
}

const QSet<QString>& nextWords() {
    static const QSet<QString> words{QStringLiteral("next"),
                                     QStringLiteral("next page"),
                                     QStringLiteral("next »"),
                                     QStringLiteral("next ›"),
                                     QStringLiteral("next >"),
                                     QStringLiteral("next >>"),
                                     QStringLiteral("»"),
                                     QStringLiteral("›"),
                                     QStringLiteral(">"),
                                     QStringLiteral(">>"),
                                     QStringLiteral("→"),
                                     QStringLiteral("next →"),
                                     QStringLiteral("weiter"),
                                     QStringLiteral("nächste"),
                                     QStringLiteral("nächste seite"),
                                     QStringLiteral("vor"),
                                     QStringLiteral("suivant"),
                                     QStringLiteral("page suivante"),
                                     QStringLiteral("siguiente"),
                                     QStringLiteral("página siguiente"),
                                     QStringLiteral("avanti"),
                                     QStringLiteral("successivo"),
                                     QStringLiteral("successiva"),
                                     QStringLiteral("próxima"),
                                     QStringLiteral("seguinte"),
                                     QStringLiteral("volgende"),
                                     QStringLiteral("nästa"),
                                     QStringLiteral("næste"),
                                     QStringLiteral("neste"),
                                     QStringLiteral("następna"),
                                     QStringLiteral("další"),
                                     QStringLiteral("далее"),
                                     QStringLiteral("следующая"),
                                     QStringLiteral("次へ"),
                                     QStringLiteral("下一页"),
                                     QStringLiteral("다음"),
                                     QStringLiteral("sonraki")};
    return words;
}

const QSet<QString>& moreWords() {
    static const QSet<QString> words{
        QStringLiteral("load more"),         QStringLiteral("show more"),
        QStringLiteral("more results"),      QStringLiteral("show more results"),
        QStringLiteral("load more results"), QStringLiteral("see more"),
        QStringLiteral("view more"),         QStringLiteral("mehr laden"),
        QStringLiteral("mehr anzeigen"),     QStringLiteral("weitere laden"),
        QStringLiteral("voir plus"),         QStringLiteral("charger plus"),
        QStringLiteral("afficher plus"),     QStringLiteral("cargar más"),
        QStringLiteral("ver más"),           QStringLiteral("mostra altro"),
        QStringLiteral("carica altri"),      QStringLiteral("meer laden"),
        QStringLiteral("toon meer"),         QStringLiteral("carregar mais")};
    return words;
}

// An XPath string literal for text, or none when it holds both kinds of quote.
std::optional<QString> xpathLiteral(const QString& text) {
    if (!text.contains(u'\''))
        return u'\'' + text + u'\'';
    if (!text.contains(u'"'))
        return u'"' + text + u'"';
    return std::nullopt;
}

// A selector whose first match in the page is e: by id, by classes, by its label, or by
// its text.
std::optional<QString> uniqueSelector(const Tree& t, int e) {
    const Element& x = t.el[e];
    if (isCssIdent(x.id)) {
        Compound c;
        c.tag = x.tag;
        c.id = x.id;
        if (matchAll(t, {c}) == std::vector<int>{e})
            return c.css();
    }
    for (bool generated : {false, true}) {
        const Compound c = compoundOf(t, e, true, generated);
        if (!c.classes.isEmpty()) {
            const auto all = matchAll(t, {c});
            if (!all.empty() && all.front() == e)
                return c.css();
        }
    }
    if (!x.ariaLabel.isEmpty() && !x.ariaLabel.contains(u'"') && !x.ariaLabel.contains(u'\\'))
        return QStringLiteral("%1[aria-label=\"%2\"]").arg(x.tag, x.ariaLabel);
    const QString text = fullText(t, e);
    if (!text.isEmpty())
        if (const auto lit = xpathLiteral(text))
            return QStringLiteral("xpath://%1[normalize-space(.)=%2]").arg(x.tag, *lit);
    return std::nullopt;
}

bool isUsableHref(const QString& href) {
    return !href.isEmpty() &&
           !href.startsWith(QStringLiteral("javascript:"), Qt::CaseInsensitive) &&
           !href.endsWith(u'#');
}

struct NextFound {
    declarative::Next next;
    int element = -1;
};

// Numbered pages: the marked current page N, and the control right after it, which is
// the link to N + 1 on every page of the run.
std::optional<NextFound> numberedNext(const Tree& t, const std::vector<char>& inRecord) {
    static const QSet<QString> currentWords{
        QStringLiteral("current"),    QStringLiteral("active"),    QStringLiteral("selected"),
        QStringLiteral("is-current"), QStringLiteral("is-active"), QStringLiteral("on")};
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,6}$"));
    int tries = 0;
    for (int e = 0; e < t.n && tries < 50; ++e) {
        if (inRecord[e] || t.children[e].size() > 1)
            continue;
        const Element& x = t.el[e];
        const QString text = fullText(t, e);
        if (!number.match(text).hasMatch())
            continue;
        ++tries;
        // The marked element, or its list item.
        int marked = -1;
        QString how;
        for (int m : {e, t.parent[e]}) {
            if (m < 0)
                continue;
            const Element& y = t.el[m];
            if (y.ariaCurrent == u"page" || y.ariaCurrent == u"true") {
                marked = m;
                how = QStringLiteral("[aria-current=%1]").arg(y.ariaCurrent);
                break;
            }
            for (const QString& c : y.classes)
                if (currentWords.contains(c.toLower()) && isCssIdent(c)) {
                    marked = m;
                    how = y.tag + u'.' + c;
                    break;
                }
            if (marked >= 0)
                break;
        }
        // Unmarked: the one number among linked numbers that is not a link itself.
        if (marked < 0 && x.tag != u"a" && x.href.isEmpty() && t.parent[e] >= 0) {
            int linkedNumbers = 0;
            for (int s : t.children[t.parent[e]])
                linkedNumbers +=
                    t.el[s].tag == u"a" && number.match(fullText(t, s)).hasMatch() ? 1 : 0;
            if (linkedNumbers >= 1) {
                marked = e;
                const int p = t.parent[e];
                const std::optional<QString> scope = uniqueSelector(t, p);
                if (!scope || scope->startsWith(QStringLiteral("xpath:")))
                    continue;
                how = *scope + QStringLiteral(" > ") + x.tag;
            }
        }
        if (marked < 0)
            continue;
        const int p = t.parent[marked];
        if (p < 0)
            continue;
        const auto& sibs = t.children[p];
        const auto at = std::find(sibs.begin(), sibs.end(), marked);
        if (at == sibs.end() || at + 1 == sibs.end())
            return NextFound{}; // the last page: no next
        const int after = *(at + 1);
        int link = t.el[after].tag == u"a" ? after : -1;
        QString tail = QStringLiteral(" + a");
        if (link < 0)
            for (int i = after + 1; i < t.end[after] && i < t.n; ++i)
                if (t.el[i].tag == u"a") {
                    link = i;
                    tail = QStringLiteral(" + %1 a").arg(t.el[after].tag);
                    break;
                }
        if (link < 0 || !isUsableHref(t.el[link].href))
            continue;
        const int wanted = text.toInt() + 1;
        if (fullText(t, link) != QString::number(wanted))
            continue;
        NextFound f;
        f.next.kind = declarative::NextKind::Link;
        f.next.selector.text = how + tail;
        f.element = link;
        return f;
    }
    return std::nullopt;
}

NextFound findNext(const Tree& t, const std::vector<int>& records) {
    std::vector<char> inRecord(t.n, 0);
    for (int r : records)
        for (int i = r; i < t.end[r] && i < t.n; ++i)
            inRecord[i] = 1;
    // Declared by the page.
    for (int e = 0; e < t.n; ++e) {
        const Element& x = t.el[e];
        if (inRecord[e] || (x.tag != u"a" && x.tag != u"link") || !isUsableHref(x.href))
            continue;
        if (x.rel.split(u' ', Qt::SkipEmptyParts)
                .contains(QStringLiteral("next"), Qt::CaseInsensitive)) {
            NextFound f;
            f.next.kind = declarative::NextKind::Link;
            f.next.selector.text = x.tag + QStringLiteral("[rel~=next]");
            f.element = e;
            return f;
        }
    }
    // Said in words.
    for (int e = 0; e < t.n; ++e) {
        const Element& x = t.el[e];
        if (inRecord[e] || !x.visible || (x.tag != u"a" && x.tag != u"button"))
            continue;
        const QString text = fullText(t, e);
        const bool next = isWord(text, nextWords()) || isWord(x.ariaLabel, nextWords());
        const bool more = isWord(text, moreWords()) || isWord(x.ariaLabel, moreWords());
        if (!next && !more)
            continue;
        const auto selector = uniqueSelector(t, e);
        if (!selector)
            continue;
        NextFound f;
        f.element = e;
        if (next && x.tag == u"a" && isUsableHref(x.href)) {
            f.next.kind = declarative::NextKind::Link;
        } else {
            f.next.kind = declarative::NextKind::Click;
            f.next.max = declarative::kDefaultMax;
        }
        if (selector->startsWith(QStringLiteral("xpath:"))) {
            f.next.selector.text = selector->mid(6);
            f.next.selector.xpath = true;
        } else {
            f.next.selector.text = *selector;
        }
        return f;
    }
    if (auto numbered = numberedNext(t, inRecord))
        return *numbered;
    // A page that loads more as it is scrolled marks the place that triggers it.
    static const QRegularExpression endless(
        QStringLiteral("infinite|sentinel|endless|auto-?load|scroll-?(trigger|loader)"),
        QRegularExpression::CaseInsensitiveOption);
    for (int e = 0; e < t.n; ++e) {
        const Element& x = t.el[e];
        if (inRecord[e])
            continue;
        if (endless.match(x.id).hasMatch() || endless.match(x.classes.join(u' ')).hasMatch()) {
            NextFound f;
            f.next.kind = declarative::NextKind::Scroll;
            f.next.max = declarative::kDefaultMax;
            f.element = e;
            return f;
        }
    }
    return {};
}

QString nameFor(const QString& url) {
    const QUrl u(url);
    QString name = u.host();
    if (name.isEmpty())
        name = u.fileName();
    name = name.toUpper();
    name.remove(QRegularExpression(QStringLiteral("[^A-Z0-9.-]")));
    return name.isEmpty() ? QStringLiteral("DETECTED") : name.left(60);
}

} // namespace

Detection detectListings(const Page& page) {
    Detection d;
    if (page.elements.empty()) {
        d.message = QStringLiteral("no listings found: the page is empty");
        return d;
    }
    const Tree t(page);
    const std::optional<Group> group = findRecords(t);
    if (!group) {
        d.message = QStringLiteral("no listings found");
        return d;
    }
    d.records = group->records;
    declarative::Description desc;
    desc.name = nameFor(page.url);
    desc.version = QStringLiteral("1.0");
    desc.home = page.url;
    desc.records.text = cssOf(recordsSelector(t, group->records));
    desc.columns = proposeColumns(t, group->records, page.url, &desc.region);
    const NextFound next = findNext(t, group->records);
    desc.next = next.next;
    d.nextElement = next.element;
    d.proposal = std::move(desc);
    return d;
}

} // namespace detect
