#pragma once

#include <QString>

#include <memory>

struct _xmlNode;

// CSS selectors over a parsed HTML tree: type and "*", #id, .class, attribute tests,
// the structural pseudo-classes (:first-child, :last-child, :only-child, :nth-child() and
// their -of-type forms, :empty, :root), :not(), the four combinators and comma lists.
namespace browser {

class SelectorList;

// A compiled selector list, or null and why the text is not one ("unknown pseudo-class
// ':foo'", "unexpected ',' at position 4").
struct SelectorCompile {
    std::shared_ptr<const SelectorList> selectors;
    QString error;
};
SelectorCompile CompileSelectors(const QString& text);

// Null when the text is not a selector this engine understands.
std::shared_ptr<const SelectorList> ParseSelectors(const QString& text);

// Whether the element (an element node) matches any selector of the list.
bool MatchesSelectors(const SelectorList& selectors, const _xmlNode* element);

} // namespace browser
