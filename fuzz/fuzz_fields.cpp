// A declarative template's field cleaning on any page text: telephone numbers through the
// numbering library, e-mail addresses through their disguises and the CDN's encoding. A
// field never carries the record text's separators, and cleaning what is clean changes
// nothing.
#include "FuzzSupport.h"

#include "plugins/DeclarativeFields.h"

namespace {

bool carriesSeparators(const QString& s) {
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0x00A4));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0; // page fields are short; longer inputs only slow the search down
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString collapsed = declarative::CollapseBlanks(text);
    FUZZ_CHECK(declarative::CollapseBlanks(collapsed) == collapsed);
    FUZZ_CHECK(!collapsed.startsWith(u' ') && !collapsed.endsWith(u' '));

    const QString field = declarative::RecordField(text);
    FUZZ_CHECK(!field.isEmpty() && !carriesSeparators(field));

    for (const QString& region : {QStringLiteral("US"), QStringLiteral("DE"), QString()}) {
        const QString phone = declarative::CleanPhone(text, region);
        FUZZ_CHECK(phone.size() <= text.size() + 64);
    }

    const QString email = declarative::CleanEmail(text);
    if (!email.isEmpty()) {
        FUZZ_CHECK(email.count(u'@') == 1);
        FUZZ_CHECK(declarative::CleanEmail(email) == email);
    }
    (void)declarative::DecodeCfEmail(text);
    (void)declarative::ResolveAddress(QStringLiteral("https://x.example/a/b?c=1"), text);
    return 0;
}
