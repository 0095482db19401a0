// Finding the listings of a page by themselves: the repeated blocks that hold the records,
// their fields and the page's next control, proposed as a declarative template.
//
// Works on plain data (the elements with their rendered boxes, as the page's engine
// collected them), so that it is tested without an engine and bounded whatever the page.
#pragma once

#include "plugins/DeclarativeFormat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

#include <optional>
#include <vector>

namespace detect {

// Where the element is drawn, in page coordinates (CSS pixels).
struct Box {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
};

struct Element {
    int parent = -1; // index of the parent in Page::elements; -1 for the root
    QString tag;     // lower case
    QString id;
    QStringList classes;
    QString text; // the element's own text (its direct text nodes), blanks collapsed
    QString href; // resolved, for links
    QString rel;
    QString ariaLabel;
    QString ariaCurrent;
    Box box;
    bool visible = true;
};

// Elements in document order: a parent always comes before its children.
struct Page {
    QString url;
    std::vector<Element> elements;
    bool truncated = false; // the engine stopped collecting at its bound
};

// Bounds on the work whatever the page holds.
inline constexpr int kMaxElements = 100000;
inline constexpr int kMaxDepth = 256;
inline constexpr int kMaxColumns = 30;
inline constexpr int kMaxFieldsPerRecord = 400;

enum class Kind { Text, Phone, Email, Web, Address, PostalCode, Price };

// What a field's value holds, by its text.
Kind recognise(const QString& value);
QString kindName(Kind kind);

// The country (two letters) whose numbering most of these telephone numbers, written
// without a country code, are valid in; empty when there is no clear one.
QString phoneRegion(const std::vector<QString>& numbers);

struct Detection {
    std::optional<declarative::Description> proposal; // none: no listings found
    QString message;                                  // why there is no proposal
    std::vector<int> records;                         // the record elements found
    int nextElement = -1;                             // the next control, or -1
};

Detection detectListings(const Page& page);

// The proposal as a template file (what ParseTemplate reads back).
QByteArray templateJson(const declarative::Description& description);

// The script run in the page that collects its elements; it answers a JSON text.
QString collectScript(int maxElements = 20000);

// The script's answer as a page; a malformed answer gives an error and no page.
struct ParsedPage {
    std::optional<Page> page;
    QString error;
};
ParsedPage parseCollected(const QByteArray& json);

// Detection of the page on show, through whatever runs scripts in it (a window's browser,
// the batch program's page): its elements read in one pass, then detected. Where the page
// gives no answer in time, or a wrong one, there is no proposal and the message says why.
struct PageDetection {
    Detection detection;
    bool truncated = false; // only the page's first elements were read
    qint64 readMs = 0;
    qint64 detectMs = 0;
};
using ScriptRunner = std::function<std::optional<QVariant>(const QString& script)>;
PageDetection detectInPage(const ScriptRunner& run);

// A script that outlines the records in the page on show and answers how many it
// outlined (-1 when the selector fails there).
QString outlineScript(const declarative::Query& records);

} // namespace detect
