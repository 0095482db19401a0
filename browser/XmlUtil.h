#pragma once

#include <libxml/tree.h>

#include <string>
#include <string_view>

// Small helpers over libxml2's tree shared by the document, the selectors and the text.
namespace browser::xml {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The attribute named `name` (ASCII letters compared without case), or null.
inline const xmlAttr* findAttr(const xmlNode* el, const char* name) {
    for (const xmlAttr* a = el->properties; a; a = a->next)
        if (a->name && xmlStrcasecmp(a->name, BAD_CAST name) == 0)
            return a;
    return nullptr;
}

// The attribute's value; usually a view of its one text node, else built in `storage`.
inline std::string_view attrValue(const xmlAttr* a, std::string& storage) {
    const xmlNode* c = a->children;
    if (c == nullptr)
        return {};
    if (c->next == nullptr && c->type == XML_TEXT_NODE && c->content)
        return reinterpret_cast<const char*>(c->content);
    xmlChar* v = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
    storage = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return storage;
}

// Calls f for each blank-separated word of list until f answers true; answers whether
// one did.
template <class F> bool anyWord(std::string_view list, F f) {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isBlank(list[i]))
            ++i;
        size_t j = i;
        while (j < list.size() && !isBlank(list[j]))
            ++j;
        if (j > i && f(list.substr(i, j - i)))
            return true;
        i = j;
    }
    return false;
}

inline bool hasWord(std::string_view list, std::string_view word) {
    return !word.empty() && anyWord(list, [word](std::string_view w) { return w == word; });
}

} // namespace browser::xml
