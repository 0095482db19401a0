#pragma once

#include <QString>

#include <memory>

struct _xmlNode;

// CSS selectors over a parsed HTML tree: type and "*", #id, .class, attribute tests,
// a few structural pseudo-classes, :not(), the four combinators and comma lists.
namespace browser {

class SelectorList;

// Null when the text is not a selector this engine understands, or nests deeper than
// kMaxSelectorNesting levels of :not(), or chains more than kMaxCompounds compound
// selectors with combinators: a template's selector must not exhaust the stack.
std::shared_ptr<const SelectorList> ParseSelectors(const QString& text);
inline constexpr int kMaxSelectorNesting = 16;
inline constexpr int kMaxCompounds = 256;

// Matches one list against the elements of one unchanging tree. Partial answers (does
// some ancestor or earlier sibling match the selector's left part) are remembered, so a
// chain of descendant or sibling combinators costs time in proportion to the tree instead
// of growing exponentially with the chain's length.
class SelectorMatcher {
public:
    explicit SelectorMatcher(const SelectorList& selectors);
    ~SelectorMatcher();
    SelectorMatcher(const SelectorMatcher&) = delete;
    SelectorMatcher& operator=(const SelectorMatcher&) = delete;

    // Whether the element (an element node) matches any selector of the list.
    bool matches(const _xmlNode* element);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// One element, one list.
bool MatchesSelectors(const SelectorList& selectors, const _xmlNode* element);

} // namespace browser
