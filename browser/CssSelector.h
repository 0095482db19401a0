#pragma once

#include <QString>

#include <memory>

struct _xmlNode;

// CSS selectors over a parsed HTML tree: type and "*", #id, .class, attribute tests,
// a few structural pseudo-classes, :not(), the four combinators and comma lists.
namespace browser {

class SelectorList;

// Null when the text is not a selector this engine understands.
std::shared_ptr<const SelectorList> ParseSelectors(const QString& text);

// Whether the element (an element node) matches any selector of the list.
bool MatchesSelectors(const SelectorList& selectors, const _xmlNode* element);

} // namespace browser
