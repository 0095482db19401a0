// The page a template reads: IHTMLDocument2 and its elements, named after the web DOM.
//
// What a template receives is a snapshot: the browser serializes its live document (after
// the page's scripts ran) at the moment the document is asked for, and the program parses
// that copy. Later changes of the page do not reach a snapshot; ask the browser again for a
// fresh one. Rules for references and texts: IUnknown.h. In short:
// - every interface pointer returned is a new reference, released by the caller; null
//   means "none" (no such element, or a query that is not valid);
// - every text returned stays valid until the same method of the same object is called
//   again or the object is released (a stronger promise than the kit's general rule);
// - an element keeps its document alive, so it may outlive the document pointer it came
//   from.
//
// Tag and attribute names are matched without regard to letter case, as HTML does;
// attribute values, ids and class names are matched exactly.
#pragma once

#include "IUnknown.h"

struct IHTMLElement;

// An ordered list of elements, in document order where it comes from a query.
struct IHTMLElementCollection : IUnknown {
    virtual std::int32_t GetLength() = 0;
    // The element at index (from 0), or null outside 0 .. GetLength() - 1.
    virtual IHTMLElement* Item(std::int32_t index) = 0;

protected:
    ~IHTMLElementCollection() = default;
};

struct IHTMLElement : IUnknown {
    // The element name in capitals ("DIV", "A"), as the DOM gives it for HTML.
    virtual const char16_t* GetTagName() = 0;
    // The "id" and "class" attributes; empty when absent.
    virtual const char16_t* GetId() = 0;
    virtual const char16_t* GetClassName() = 0;
    // The attribute's value, or null when the element has no such attribute (an attribute
    // present without a value answers empty).
    virtual const char16_t* GetAttribute(const char16_t* name) = 0;
    // The text as rendered: for the document's body the browser's own rendering of it; for
    // other elements an approximation (blank runs collapsed, line breaks at block
    // elements and <br>, cells separated by tabs, script and style left out).
    virtual const char16_t* GetInnerText() = 0;
    // Every text node below the element joined as it stands in the source.
    virtual const char16_t* GetTextContent() = 0;
    // The markup of the element's content, and of the element itself with its content.
    virtual const char16_t* GetInnerHTML() = 0;
    virtual const char16_t* GetOuterHTML() = 0;
    // The parent element; null for the document's root element.
    virtual IHTMLElement* GetParentElement() = 0;
    // The child elements (text and comments left out).
    virtual IHTMLElementCollection* GetChildren() = 0;
    // Descendants by element name ("*" for all) and by class names (blank-separated; an
    // element must carry them all).
    virtual IHTMLElementCollection* GetElementsByTagName(const char16_t* tagName) = 0;
    virtual IHTMLElementCollection* GetElementsByClassName(const char16_t* classNames) = 0;
    // CSS selectors among the descendants: type and "*", #id, .class, attribute tests
    // ([a], [a=v], [a~=v], [a|=v], [a^=v], [a$=v], [a*=v], with an optional " i" for
    // letter-case-blind values), :first-child, :last-child, :only-child, :nth-child(an+b),
    // :nth-last-child(), :first-of-type, :last-of-type, :nth-of-type(), :nth-last-of-type(),
    // :empty, :root, :not(compound, ...), the combinators blank (descendant), ">" (child),
    // "+" and "~", and lists separated by commas. Null when the selector is not valid.
    virtual IHTMLElement* QuerySelector(const char16_t* selectors) = 0;
    virtual IHTMLElementCollection* QuerySelectorAll(const char16_t* selectors) = 0;
    // XPath 1.0 with this element as the context node. SelectNodes answers the elements of
    // the resulting node-set (other kinds of node left out) and null when the expression
    // is not valid or gives no node-set; EvaluateXPath answers the result as XPath's
    // string() function converts it ("//a/@href" gives the first link's target, "count(//tr)"
    // a number), null when the expression is not valid. An expression that would run away
    // (millions of steps, or more "//" searches than the page's nesting depth allows:
    // three at 215 levels, five at 25; two always) also answers null instead of freezing
    // the program.
    virtual IHTMLElementCollection* SelectNodes(const char16_t* xpath) = 0;
    virtual IHTMLElement* SelectSingleNode(const char16_t* xpath) = 0;
    virtual const char16_t* EvaluateXPath(const char16_t* xpath) = 0;

protected:
    ~IHTMLElement() = default;
};

struct IHTMLDocument2 : IUnknown {
    // The address of the page and its title (the <title> text, blanks collapsed).
    virtual const char16_t* GetURL() = 0;
    virtual const char16_t* GetTitle() = 0;
    // The <body> element (null when the document has none) and the root element.
    virtual IHTMLElement* GetBody() = 0;
    virtual IHTMLElement* GetDocumentElement() = 0;
    // The first element whose id is exactly id, or null.
    virtual IHTMLElement* GetElementById(const char16_t* id) = 0;
    // As the element methods of the same names, over the whole document.
    virtual IHTMLElementCollection* GetElementsByTagName(const char16_t* tagName) = 0;
    virtual IHTMLElementCollection* GetElementsByClassName(const char16_t* classNames) = 0;
    virtual IHTMLElement* QuerySelector(const char16_t* selectors) = 0;
    virtual IHTMLElementCollection* QuerySelectorAll(const char16_t* selectors) = 0;
    // XPath 1.0 with the document as the context node.
    virtual IHTMLElementCollection* SelectNodes(const char16_t* xpath) = 0;
    virtual IHTMLElement* SelectSingleNode(const char16_t* xpath) = 0;
    virtual const char16_t* EvaluateXPath(const char16_t* xpath) = 0;

protected:
    ~IHTMLDocument2() = default;
};
