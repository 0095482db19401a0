#pragma once

#include <QString>

struct _xmlNode;

namespace browser {

// The text of an element as a browser would render it, approximated from the tree:
// blank runs collapsed, line breaks at block elements and <br>, a blank line after a
// paragraph, cells separated by tabs, preformatted text kept, script, style, head and
// hidden elements left out.
QString RenderedText(const _xmlNode* element);

// Element nodes only: their name in lower case (libxml2 keeps HTML names in lower case
// already; XHTML input may not).
bool IsElementNamed(const _xmlNode* node, const char* lowerName);

} // namespace browser
