#include "support/WebServiceBrowser.h"

#include "platform/web/WebBrowser.h"

#include <limits>

namespace support {

namespace {
// The control's own bound on a document read, which other readers of this browser (a
// template driving it) rely on.
constexpr int kDocumentTimeoutMs = 10000;
} // namespace

WebServiceBrowser::WebServiceBrowser(platform::TWebBrowser* browser) : m_browser(browser) {}

void WebServiceBrowser::navigate(const QString& url) {
    if (m_browser)
        m_browser->Navigate(url);
}

bool WebServiceBrowser::isComplete() const {
    return !m_browser || m_browser->ReadyState() == platform::READYSTATE_COMPLETE;
}

QString WebServiceBrowser::sourceText(std::uint32_t limitMs) {
    if (!m_browser)
        return {};
    // The document read has its own bound; here it gets what is left of the query's.
    const int limit =
        static_cast<int>(std::min<std::uint32_t>(limitMs, std::numeric_limits<int>::max()));
    m_browser->setDocumentTimeout(limit);
    QString text = m_browser->DocumentSourceText();
    if (m_browser)
        m_browser->setDocumentTimeout(kDocumentTimeoutMs);
    return text;
}

} // namespace support
