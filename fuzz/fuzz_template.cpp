// Declarative template files: any bytes are either a checked description or refused with
// a reason, the same way every time; what a description holds stays inside the loader's
// limits; and its patterns, run on text taken from the same input, end within their bound.
#include "FuzzSupport.h"

#include "plugins/DeclarativeFormat.h"

namespace {

using namespace declarative;

void checkQuery(const Query& q) {
    FUZZ_CHECK(q.text.size() <= kMaxSelectorLength);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)LooksLikeJson(bytes.left(64));
    const ParseResult result = ParseTemplate(bytes);
    FUZZ_CHECK(result.description.has_value() != !result.error.isEmpty());
    const ParseResult again = ParseTemplate(bytes);
    FUZZ_CHECK(again.error == result.error);
    if (!result.description)
        return 0;

    const Description& d = *result.description;
    FUZZ_CHECK(again.description && again.description->columns.size() == d.columns.size());
    FUZZ_CHECK(!d.columns.empty() && int(d.columns.size()) <= kMaxColumns);
    FUZZ_CHECK(d.name.size() <= kMaxTextLength && d.home.size() <= kMaxTextLength);
    checkQuery(d.records);
    const QString subject = QString::fromUtf8(bytes.right(200));
    for (const Column& c : d.columns) {
        FUZZ_CHECK(c.width >= 1 && c.width <= kMaxWidth);
        checkQuery(c.select);
        checkQuery(c.follow);
        if (c.pattern) {
            const Regex::Result r = c.pattern->Match(subject);
            FUZZ_CHECK(r.outcome == Regex::Outcome::Match || r.value.isEmpty());
        }
    }
    switch (d.next.kind) {
    case NextKind::Url:
        FUZZ_CHECK(d.next.url.contains(QLatin1String("{page}")));
        FUZZ_CHECK(d.next.last >= 0 && d.next.last <= kMaxPages);
        break;
    case NextKind::Click:
    case NextKind::Scroll:
        FUZZ_CHECK(d.next.max >= 1 && d.next.max <= kMaxPages);
        break;
    case NextKind::Link:
        FUZZ_CHECK(!d.next.selector.empty());
        break;
    case NextKind::None:
        break;
    }
    return 0;
}
