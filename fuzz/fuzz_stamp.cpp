// The update server's answer, whatever it sends: read as a date stamp, compared with the
// local one and shown. Input: a local stamp line, then the answer as received.
#include "FuzzSupport.h"

#include "support/UpdateCheck.h"

#include <QUrl>

#include <charconv>
#include <string>

namespace {

// A browser that has the answer at once.
struct AnsweringBrowser final : support::ServiceBrowser {
    QString answer;
    int navigations = 0;
    void navigate(const QString&) override { ++navigations; }
    bool isComplete() const override { return true; }
    QString sourceText(std::uint32_t) override { return answer; }
};

// The stamp rule read independently: an optional sign, decimal digits only, the value
// within 32 bits; anything else is 0.
std::int32_t referenceNumber(const QString& text) {
    std::string s;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return 0;
        s += char(c.unicode());
    }
    if (!s.empty() && s[0] == '+') {
        s.erase(0, 1);
        if (!s.empty() && (s[0] == '-' || s[0] == '+'))
            return 0;
    }
    std::int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return s.empty() || ec != std::errc() || end != s.data() + s.size() ? 0 : v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const QString local = QString::fromUtf8(in.until('\n'));
    const QString answer = QString::fromUtf8(in.rest());

    FUZZ_CHECK(support::StampNumber(local) == referenceNumber(local));
    FUZZ_CHECK(support::StampNumber(answer) == referenceNumber(answer));

    const QString trimmed = support::TrimStampAnswer(answer);
    FUZZ_CHECK(trimmed.isEmpty() ||
               (trimmed.front().unicode() > 0x20 && trimmed.back().unicode() > 0x20));
    const qsizetype at = answer.indexOf(trimmed);
    FUZZ_CHECK(at >= 0);
    for (qsizetype i = 0; i < answer.size(); ++i)
        if (i < at || i >= at + trimmed.size())
            FUZZ_CHECK(answer[i].unicode() <= 0x20);
    FUZZ_CHECK(support::IsNewerStamp(local, answer) ==
               (referenceNumber(local) < referenceNumber(trimmed)));

    AnsweringBrowser browser;
    browser.answer = answer;
    const support::StampCheck check =
        support::CheckStamp(browser, QStringLiteral("http://updates.example/filedate.php?plugin=x"),
                            QStringLiteral("/nonexistent/trawlex-fuzz/none.orp"));
    FUZZ_CHECK(browser.navigations == 1);
    FUZZ_CHECK(check.answer == answer);
    FUZZ_CHECK(check.newer == support::IsNewerStamp(check.localStamp, answer));

    // The texts shown carry the answer as received.
    FUZZ_CHECK(support::UpgradeMessage(QStringLiteral("http://s.example/"), local, answer)
                   .endsWith(local + QStringLiteral(" f-w ") + answer));
    FUZZ_CHECK(support::TemplateUpdateMessage(QStringLiteral("u"), local, answer)
                   .endsWith(QStringLiteral(" f-w ") + answer));

    // The answer taken as an address: the button caption and the base-address rule.
    const QString shortName = support::BlinkShortName(answer);
    FUZZ_CHECK(!shortName.contains(u'/') && !shortName.contains(u'.'));
    const QString own = QString::fromUtf16(support::kUpdatePluginCaption);
    const QString caption = support::NextBlinkCaption(own, answer);
    FUZZ_CHECK(caption.size() <= 21 && caption.endsWith(QStringLiteral("...")));
    FUZZ_CHECK(support::NextBlinkCaption(caption, answer) == own || caption == own);
    const QString fallback = QStringLiteral("http://fallback.example/");
    const QString base = support::BaseUrlOrDefault(answer, fallback);
    if (base != fallback) {
        FUZZ_CHECK(base.endsWith(u'/'));
        const QUrl url(base, QUrl::StrictMode);
        FUZZ_CHECK(url.isValid() && !url.host().isEmpty());
    }
    (void)support::TemplateQueryUrl(base, answer);
    (void)support::TemplateFileName(answer);
    return 0;
}
