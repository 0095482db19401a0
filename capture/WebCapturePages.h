// The pages of a capture run in the program's browsers: the main browser, the service
// browser and the assistant, by their role.
#pragma once

#include "capture/CaptureController.h"
#include "platform/web/WebBrowser.h"

#include <QPointer>

namespace capture {

class WebCapturePages final : public CapturePages {
public:
    // Not owned; a browser that goes away counts as done loading and is not sent anywhere.
    void setBrowser(Browser role, platform::TWebBrowser* browser);

    bool isReady(Browser browser) override;
    void navigate(Browser browser, const QString& url) override;
    IHTMLDocument2* document() override;
    QString address() override;
    std::optional<QVariant> evaluate(const QString& script) override;

private:
    platform::TWebBrowser* browserOf(Browser role) const;

    QPointer<platform::TWebBrowser> m_main;
    QPointer<platform::TWebBrowser> m_service;
    QPointer<platform::TWebBrowser> m_assist;
};

} // namespace capture
