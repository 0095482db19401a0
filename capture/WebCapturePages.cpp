#include "capture/WebCapturePages.h"

#include "browser/OrvoBrowser.h"
#include "platform/web/WebBrowser.h"

namespace capture {

void WebCapturePages::setBrowser(Browser role, platform::TWebBrowser* browser) {
    switch (role) {
    case Browser::WB:
        m_main = browser;
        return;
    case Browser::wb2:
        m_service = browser;
        return;
    case Browser::WBassist:
        m_assist = browser;
        return;
    }
}

platform::TWebBrowser* WebCapturePages::browserOf(Browser role) const {
    switch (role) {
    case Browser::WB:
        return m_main;
    case Browser::wb2:
        return m_service;
    case Browser::WBassist:
        return m_assist;
    }
    return nullptr;
}

bool WebCapturePages::isReady(Browser browser) {
    const platform::TWebBrowser* b = browserOf(browser);
    return !b || b->ReadyState() == platform::READYSTATE_COMPLETE;
}

void WebCapturePages::navigate(Browser browser, const QString& url) {
    if (platform::TWebBrowser* b = browserOf(browser))
        b->Navigate(url);
}

IHTMLDocument2* WebCapturePages::document() {
    return browser::DocumentOf(m_main);
}

QString WebCapturePages::address() {
    return m_main ? m_main->LocationURL() : QString();
}

std::optional<QVariant> WebCapturePages::evaluate(const QString& script) {
    return m_main ? m_main->RunScript(script) : std::nullopt;
}

} // namespace capture
