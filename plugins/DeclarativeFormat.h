// Declarative site templates: a JSON file that names the records of a page and the fields
// of a record by selectors, read into a checked description. Everything a file may hold
// is checked here, at load, so that a broken file is refused with a message naming the
// place and the reason, and never fails half-way through a capture.
#pragma once

#include "RegexLimit.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace declarative {

// Limits of what a template file may hold; beyond them the file is refused.
inline constexpr qsizetype kMaxFileBytes = 1024 * 1024;
inline constexpr int kMaxColumns = 254; // the grid's own limit for a template
inline constexpr qsizetype kMaxSelectorLength = 10000;
inline constexpr qsizetype kMaxPatternLength = 10000;
inline constexpr qsizetype kMaxTextLength = 1000; // names, author, version, home, attribute
inline constexpr int kMaxWidth = 10000;
inline constexpr int kMaxPages = 1000000; // "last" and "max"
inline constexpr int kDefaultWidth = 100;
inline constexpr int kDefaultMax = 50;

// A CSS selector list, or XPath 1.0 when written with the "xpath:" prefix (text holds
// the expression without it).
struct Query {
    QString text;
    bool xpath = false;
    bool empty() const { return text.isEmpty(); }
};

enum class Clean { Text, Phone, Email };

struct Column {
    QString name;
    Query select; // relative to the record (or to the followed page); empty: the element itself
    QString attribute; // lower case; empty: the element's text
    std::optional<Regex> pattern;
    Clean clean = Clean::Text;
    int width = kDefaultWidth;
    bool key = false;
    Query follow; // non-empty: read on the page this link of the record leads to
};

enum class NextKind { None, Link, Url, Click, Scroll };

struct Next {
    NextKind kind = NextKind::None;
    Query selector;        // link, click
    QString url;           // url: holds "{page}"
    int last = 0;          // url: the last page number; 0 for no bound
    int max = kDefaultMax; // click, scroll
};

struct Description {
    QString name;
    QString author;
    QString version;
    QString home;   // as written: an address, or a path relative to the file
    QString region; // two capitals, or empty
    Query records;
    std::vector<Column> columns;
    Next next;
};

struct ParseResult {
    std::optional<Description> description;
    QString error; // "line 3, column 14: unterminated string", "columns[2].select: ..."
};

// Reads a template file's bytes.
ParseResult ParseTemplate(const QByteArray& bytes);

// Whether bytes look like a declarative template rather than a compiled one: JSON text
// (an object or anything else, so that a wrong kind of JSON is refused with its reason)
// or text in a UTF-16/32 encoding.
bool LooksLikeJson(const QByteArray& head);

} // namespace declarative
