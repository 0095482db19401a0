// Regular expressions of template files, run with a bound on their work: a pattern that
// backtracks catastrophically gives up after a fixed number of steps instead of hanging
// the window.
#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace declarative {

class Regex {
public:
    enum class Outcome { Match, NoMatch, GaveUp };
    struct Result {
        Outcome outcome = Outcome::NoMatch;
        QString value; // the first group's match, or the whole match without groups
    };

    // The compiled pattern, or null with the compiler's message ("missing closing
    // parenthesis at offset 4").
    static std::optional<Regex> Compile(const QString& pattern, QString* error);

    Result Match(const QString& subject) const;

    // Steps of the matcher allowed for one subject (a few milliseconds); generous for any
    // sane pattern over a field's text, which takes hundreds.
    static constexpr unsigned kMatchLimit = 20000;
    static constexpr unsigned kDepthLimit = 2000;

private:
    struct Code;
    explicit Regex(std::shared_ptr<const Code> code) : m_code(std::move(code)) {}
    std::shared_ptr<const Code> m_code;
};

} // namespace declarative
