#include "batch/Robots.h"

#include <QList>

namespace batch {

namespace {

// Whether pattern ("*" any run of characters, "$" at its end anchors) matches the start
// of path. Iterative with backtracking to the last "*": linear in practice, never
// exponential on hostile patterns.
bool matches(QStringView pattern, QStringView path) {
    bool anchored = false;
    if (pattern.endsWith(u'$')) {
        anchored = true;
        pattern.chop(1);
    }
    qsizetype p = 0, s = 0;
    qsizetype starP = -1, starS = 0;
    while (s < path.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starS = s;
        } else if (p < pattern.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
        } else if (p == pattern.size() && !anchored) {
            return true; // a prefix match is enough
        } else if (starP >= 0) {
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Percent escapes of unreserved characters decoded, others upper-cased, so that
// "/%7euser" and "/~user" compare equal as the rules say.
QString normalise(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size()) {
            bool ok = false;
            const int code = text.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                const QChar c(code);
                if (code < 0x80 &&
                    (c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_' || c == u'~')) {
                    out.append(c);
                } else {
                    out.append(u'%');
                    out.append(text.mid(i + 1, 2).toUpper());
                }
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

} // namespace

RobotsRules RobotsRules::disallowAll() {
    RobotsRules r;
    r.m_rules.push_back({QStringLiteral("/"), false});
    return r;
}

RobotsRules RobotsRules::parse(const QByteArray& text, const QString& agent) {
    struct Group {
        QStringList agents;
        std::vector<Rule> rules;
        std::optional<double> delay;
    };
    std::vector<Group> groups;
    bool lastWasAgent = false;
    // A hostile file cannot make us keep more than this.
    const QByteArray bounded = text.left(qsizetype{512} * 1024);
    for (QByteArray line : bounded.split('\n')) {
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line.truncate(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QString key = QString::fromUtf8(line.left(colon)).trimmed().toLower();
        const QString value = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        if (key == u"user-agent") {
            if (!lastWasAgent || groups.empty())
                groups.emplace_back();
            groups.back().agents.append(value.toLower());
            lastWasAgent = true;
            continue;
        }
        lastWasAgent = false;
        if (groups.empty())
            continue; // rules before any User-agent line belong to no group
        if (key == u"allow" || key == u"disallow") {
            if (value.isEmpty())
                continue; // an empty Disallow allows everything: no rule
            groups.back().rules.push_back({normalise(value), key == u"allow"});
        } else if (key == u"crawl-delay") {
            bool ok = false;
            const double d = value.toDouble(&ok);
            if (ok && d >= 0 && d <= 86400)
                groups.back().delay = d;
        }
    }

    const QString token = agent.toLower();
    RobotsRules result;
    bool specific = false;
    for (const Group& g : groups) {
        bool mine = false, star = false;
        for (const QString& a : g.agents) {
            if (a == u"*")
                star = true;
            else if (a == token)
                mine = true;
        }
        if (mine && !specific) {
            // Our own groups replace whatever "*" gave; several of ours are merged.
            result = RobotsRules();
            specific = true;
        }
        if (mine || (star && !specific)) {
            result.m_rules.insert(result.m_rules.end(), g.rules.begin(), g.rules.end());
            if (g.delay)
                result.m_crawlDelay = g.delay;
        }
    }
    return result;
}

bool RobotsRules::allowed(const QString& path) const {
    const QString p = normalise(path.isEmpty() ? QStringLiteral("/") : path);
    if (p == u"/robots.txt")
        return true;
    qsizetype best = -1;
    bool allow = true;
    for (const Rule& r : m_rules) {
        if (!matches(r.pattern, p))
            continue;
        const qsizetype length = r.pattern.size();
        if (length > best || (length == best && r.allow)) {
            best = length;
            allow = r.allow;
        }
    }
    return allow;
}

bool RobotsRules::allowed(const QUrl& url) const {
    QString path = url.path(QUrl::FullyEncoded);
    if (url.hasQuery())
        path += u'?' + url.query(QUrl::FullyEncoded);
    return allowed(path);
}

RobotsRules rulesForStatus(int httpStatus, const QByteArray& body, const QString& agent) {
    if (httpStatus >= 200 && httpStatus < 300)
        return RobotsRules::parse(body, agent);
    if (httpStatus >= 400 && httpStatus < 500)
        return RobotsRules::allowAll();
    return RobotsRules::disallowAll();
}

QUrl robotsUrlOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return {};
    QUrl robots;
    robots.setScheme(scheme);
    robots.setHost(url.host());
    robots.setPort(url.port());
    robots.setPath(QStringLiteral("/robots.txt"));
    return robots;
}

} // namespace batch
