// The page's side of detection: the script that collects the elements in the engine, the
// reading of its answer, and the proposal written as a template file.
#include "detect/Detect.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace detect {

namespace {

// The largest answer read; a page at the element bound stays well below it.
constexpr qsizetype kMaxAnswerBytes = qsizetype{64} * 1024 * 1024;
constexpr qsizetype kMaxText = 300;

QString capped(const QJsonValue& v, qsizetype limit) {
    return v.isString() ? v.toString().left(limit) : QString();
}

QByteArray quoted(const QString& text) {
    const QByteArray a = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

} // namespace

QString collectScript(int maxElements) {
    // Depth-first in document order, without recursion (deep markup must not overflow the
    // script's stack), stopping at the element bound. One synchronous pass: a page that
    // changes itself meanwhile cannot tear the answer.
    return QStringLiteral(R"JS((function () {
  var max = %1, maxDepth = %2, out = [], truncated = false;
  var skip = {SCRIPT: 1, STYLE: 1, NOSCRIPT: 1, TEMPLATE: 1, svg: 1, SVG: 1, IFRAME: 1,
              META: 1, TITLE: 1, BASE: 1};
  var sx = window.scrollX || 0, sy = window.scrollY || 0;
  var root = document.documentElement;
  if (!root) return JSON.stringify({url: location.href, truncated: false, e: []});
  // A page without a view (the batch program's) is laid out zero pixels wide, which makes
  // every box alike: it is measured at a common window's width, and left as it was.
  var narrow = window.innerWidth < 200, oldWidth = root.style.minWidth;
  if (narrow) root.style.minWidth = '1280px';
  var stack = [[root, -1, 0]];
  while (stack.length) {
    if (out.length >= max) { truncated = true; break; }
    var item = stack.pop(), el = item[0];
    var text = '';
    for (var c = el.firstChild; c; c = c.nextSibling)
      if (c.nodeType === 3) { text += c.nodeValue; if (text.length > 2000) break; }
    text = text.replace(/[ \t\n\r\f]+/g, ' ').trim().slice(0, 300);
    var r = el.getBoundingClientRect();
    var href = (typeof el.href === 'string') ? el.href : '';
    var cls = el.getAttribute('class') || '';
    var index = out.length;
    out.push([item[1], el.tagName.toLowerCase(), el.id || '', cls, text, href,
              el.getAttribute('rel') || '', el.getAttribute('aria-label') || '',
              el.getAttribute('aria-current') || '',
              Math.round(r.left + sx), Math.round(r.top + sy), Math.round(r.width),
              Math.round(r.height), r.width > 0 && r.height > 0 ? 1 : 0]);
    if (item[2] >= maxDepth) continue;
    for (var k = el.lastElementChild; k; k = k.previousElementSibling)
      if (!skip[k.tagName]) stack.push([k, index, item[2] + 1]);
  }
  if (narrow) root.style.minWidth = oldWidth;
  return JSON.stringify({url: location.href, truncated: truncated, e: out});
})())JS")
        .arg(maxElements)
        .arg(kMaxDepth);
}

ParsedPage parseCollected(const QByteArray& json) {
    if (json.size() > kMaxAnswerBytes)
        return {std::nullopt, QStringLiteral("the page's elements are too many to read")};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return {std::nullopt, QStringLiteral("the page's elements could not be read")};
    const QJsonObject o = doc.object();
    const QJsonValue list = o.value(QLatin1String("e"));
    if (!list.isArray())
        return {std::nullopt, QStringLiteral("the page's elements could not be read")};
    Page page;
    page.url = capped(o.value(QLatin1String("url")), 10000);
    page.truncated = o.value(QLatin1String("truncated")).toBool();
    const QJsonArray items = list.toArray();
    const qsizetype count = std::min<qsizetype>(items.size(), kMaxElements);
    page.truncated = page.truncated || items.size() > count;
    page.elements.reserve(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const QJsonArray a = items.at(i).toArray();
        if (a.size() < 14)
            return {std::nullopt, QStringLiteral("the page's element %1 could not be read").arg(i)};
        Element e;
        const int parent = a.at(0).toInt(-1);
        e.parent = parent >= 0 && parent < i ? parent : -1;
        e.tag = capped(a.at(1), 60).toLower();
        e.id = capped(a.at(2), 200);
        e.classes = capped(a.at(3), 1000).split(u' ', Qt::SkipEmptyParts).mid(0, 30);
        e.text = capped(a.at(4), kMaxText);
        e.href = capped(a.at(5), 4000);
        e.rel = capped(a.at(6), 200);
        e.ariaLabel = capped(a.at(7), 200);
        e.ariaCurrent = capped(a.at(8), 40);
        e.box = {a.at(9).toDouble(), a.at(10).toDouble(), a.at(11).toDouble(), a.at(12).toDouble()};
        e.visible = a.at(13).toInt() != 0;
        page.elements.push_back(std::move(e));
    }
    return {std::move(page), {}};
}

QByteArray templateJson(const declarative::Description& d) {
    QByteArray out = "{\n  \"trawlex\": 1,\n  \"name\": " + quoted(d.name);
    if (!d.author.isEmpty())
        out += ",\n  \"author\": " + quoted(d.author);
    if (!d.version.isEmpty())
        out += ",\n  \"version\": " + quoted(d.version);
    if (!d.home.isEmpty())
        out += ",\n  \"home\": " + quoted(d.home);
    if (!d.region.isEmpty())
        out += ",\n  \"region\": " + quoted(d.region);
    auto query = [](const declarative::Query& q) {
        return quoted(q.xpath ? QStringLiteral("xpath:") + q.text : q.text);
    };
    out += ",\n  \"records\": " + query(d.records) + ",\n  \"columns\": [";
    for (std::size_t i = 0; i < d.columns.size(); ++i) {
        const declarative::Column& c = d.columns[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"name\": " + quoted(c.name);
        if (!c.select.empty())
            out += ", \"select\": " + query(c.select);
        if (!c.attribute.isEmpty())
            out += ", \"attribute\": " + quoted(c.attribute);
        if (c.clean == declarative::Clean::Phone)
            out += ", \"clean\": \"phone\"";
        else if (c.clean == declarative::Clean::Email)
            out += ", \"clean\": \"email\"";
        if (c.width != declarative::kDefaultWidth)
            out += ", \"width\": " + QByteArray::number(c.width);
        if (c.key)
            out += ", \"key\": true";
        if (!c.follow.empty())
            out += ", \"follow\": " + query(c.follow);
        out += '}';
    }
    out += "\n  ]";
    const declarative::Next& n = d.next;
    switch (n.kind) {
    case declarative::NextKind::None:
        break;
    case declarative::NextKind::Link:
        out += ",\n  \"next\": {\"link\": " + query(n.selector) + '}';
        break;
    case declarative::NextKind::Url:
        out += ",\n  \"next\": {\"url\": " + quoted(n.url);
        if (n.last > 0)
            out += ", \"last\": " + QByteArray::number(n.last);
        out += '}';
        break;
    case declarative::NextKind::Click:
        out += ",\n  \"next\": {\"click\": " + query(n.selector) +
               ", \"max\": " + QByteArray::number(n.max) + '}';
        break;
    case declarative::NextKind::Scroll:
        out += ",\n  \"next\": {\"scroll\": true, \"max\": " + QByteArray::number(n.max) + '}';
        break;
    }
    out += "\n}\n";
    return out;
}

PageDetection detectInPage(const ScriptRunner& run) {
    PageDetection out;
    QElapsedTimer clock;
    clock.start();
    const std::optional<QVariant> answer = run(collectScript());
    out.readMs = clock.restart();
    if (!answer || answer->typeId() != QMetaType::QString) {
        out.detection.message = QStringLiteral("the page did not let its elements be read in time");
        return out;
    }
    const ParsedPage page = parseCollected(answer->toString().toUtf8());
    if (!page.page) {
        out.detection.message = page.error;
        return out;
    }
    out.truncated = page.page->truncated;
    out.detection = detectListings(*page.page);
    out.detectMs = clock.elapsed();
    return out;
}

QString outlineScript(const declarative::Query& records) {
    return QStringLiteral(R"((function (q, x) {
  try {
    var list = [];
    if (x) {
      var r = document.evaluate(q, document, null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);
      for (var i = 0; i < r.snapshotLength; ++i) list.push(r.snapshotItem(i));
    } else {
      list = document.querySelectorAll(q);
    }
    var n = 0;
    for (var k = 0; k < list.length; ++k) {
      if (!(list[k] instanceof Element)) continue;
      list[k].style.outline = '2px solid #d22';
      list[k].style.outlineOffset = '-2px';
      ++n;
    }
    return n;
  } catch (e) {
    return -1;
  }
})(%1, %2))")
        .arg(QString::fromUtf8(quoted(records.text)),
             records.xpath ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace detect
