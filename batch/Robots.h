// robots.txt as the batch program obeys it: the group for our agent (else "*"), the
// longest matching Allow or Disallow rule deciding (Allow on a tie), "*" and "$" in
// patterns, and the group's Crawl-delay.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace batch {

class RobotsRules {
public:
    // Everything allowed, no delay.
    RobotsRules() = default;
    static RobotsRules allowAll() { return {}; }
    static RobotsRules disallowAll();
    // `agent` is our product token ("trawlex"), matched without regard to letter case.
    static RobotsRules parse(const QByteArray& text, const QString& agent);

    // `path` is the URL's path with its query ("/a/b?x=1"); empty counts as "/".
    bool allowed(const QString& path) const;
    bool allowed(const QUrl& url) const;
    // Seconds; none when the group names no valid delay.
    std::optional<double> crawlDelay() const { return m_crawlDelay; }

private:
    struct Rule {
        QString pattern;
        bool allow = false;
    };
    std::vector<Rule> m_rules;
    std::optional<double> m_crawlDelay;
};

// What a robots.txt answer means for the host, by its HTTP status: 2xx its rules, 4xx
// everything allowed, anything else (server errors) everything disallowed.
RobotsRules rulesForStatus(int httpStatus, const QByteArray& body, const QString& agent);

// The address robots.txt is read from for url's host; empty for schemes without one
// (files, about:).
QUrl robotsUrlOf(const QUrl& url);

} // namespace batch
