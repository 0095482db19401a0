#include "browser/OrvoBrowser.h"

#include "browser/HtmlDocument.h"
#include "platform/Ticks.h"

#include <orvo/RefCounted.h>

#include <QPointer>

#include <string>

TOrvoBrowser::TOrvoBrowser(QWidget* owner) : platform::TWebBrowser(owner) {
    FDownload.OnAmbientPropertyChange = [this](std::int32_t dispId) {
        OnAmbientPropertyChange(dispId);
    };
}

std::int32_t TOrvoBrowser::Invoke(std::int32_t dispId, std::uint16_t flags, QVariant* result) {
    if (AnswerAmbientDownloadControl(dispId, flags, result, FDownload.DownloadOptionValue()))
        return platform::S_OK;
    return platform::TWebBrowser::Invoke(dispId, flags, result);
}

namespace browser {

IHTMLDocument2* DocumentOf(platform::TWebBrowser* browser) {
    if (browser == nullptr)
        return nullptr;
    const auto snapshot = browser->Document();
    if (!snapshot)
        return nullptr;
    return CreateHtmlDocument(
        {snapshot->html, snapshot->url, snapshot->contentType, snapshot->bodyInnerText});
}

namespace {

class WebBrowser2 final : public orvo::RefCounted<IWebBrowser2> {
public:
    explicit WebBrowser2(platform::TWebBrowser* browser) : m_browser(browser) {}

    void Navigate(const char16_t* url) override {
        const QString text = FromOrvoText(url);
        if (m_browser && !text.isEmpty())
            m_browser->Navigate(text);
    }
    std::int32_t GetReadyState() override {
        // A browser that is gone will never load: reporting it complete ends a wait.
        return m_browser ? m_browser->ReadyState() : READYSTATE_COMPLETE;
    }
    IHTMLDocument2* GetDocument() override { return DocumentOf(m_browser); }
    const char16_t* GetLocationURL() override {
        const QString url = m_browser ? m_browser->LocationURL() : QString();
        m_url = url.toStdU16String();
        return m_url.c_str();
    }
    void Stop() override {
        if (m_browser)
            m_browser->Stop();
    }
    OrvoBool ProcessMessages(std::int32_t milliseconds) override {
        if (!m_browser || platform::isShuttingDown())
            return 0;
        if (milliseconds <= 0)
            platform::processMessages();
        else
            platform::tickwait(static_cast<std::uint32_t>(milliseconds));
        return m_browser && !platform::isShuttingDown() ? 1 : 0;
    }

private:
    QPointer<platform::TWebBrowser> m_browser;
    std::u16string m_url;
};

} // namespace

IWebBrowser2* WebBrowser2Of(platform::TWebBrowser* browser) {
    return new WebBrowser2(browser);
}

} // namespace browser
