#pragma once

#include <orvo/IHTMLDocument2.h>

#include <QString>

#include <optional>
#include <utility>

// The document handed to templates: a snapshot of the engine's live document, parsed by
// libxml2's HTML parser.

// What the engine gives when the document is asked for.
struct HtmlSource {
    QString html; // the serialized document element
    QString url;
    QString contentType = QStringLiteral("text/html");
    std::optional<QString> bodyInnerText; // the engine's own text of the body, when it has one
};

namespace browser {

// text/html and application/xhtml+xml (parameters and letter case aside); an empty type
// counts as HTML.
bool IsHtmlContentType(const QString& contentType);

// A new document with one reference, or null when the source is not an HTML document
// (plain text, a picture, a download).
IHTMLDocument2* CreateHtmlDocument(const HtmlSource& source);

// Why expression is not XPath 1.0 ("Invalid expression at offset 4"); empty when it
// compiles.
QString XPathError(const QString& expression);

// Reads a kit text (null reads as empty).
QString FromOrvoText(const char16_t* text);

// Owns one reference of a kit interface.
template <class T> class OrvoRef {
public:
    OrvoRef() = default;
    // Adopts a reference already owned (what kit methods return).
    explicit OrvoRef(T* adopted) : m_p(adopted) {}
    OrvoRef(const OrvoRef& other) : m_p(other.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    OrvoRef(OrvoRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    OrvoRef& operator=(OrvoRef other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~OrvoRef() {
        if (m_p)
            m_p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Hands the reference over to the caller.
    T* release() { return std::exchange(m_p, nullptr); }

private:
    T* m_p = nullptr;
};

// What the browser event handlers read of a document: its address, whether it has a body,
// and the body's text.
struct DocumentFacts {
    QString url;
    QString title;
    bool hasBody = false;
    QString bodyInnerText;
};
DocumentFacts ReadDocumentFacts(IHTMLDocument2& document);

} // namespace browser
