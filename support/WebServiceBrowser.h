// The service query's browser: the program's hidden browser control behind the
// ServiceBrowser interface of the update checks.
#pragma once

#include "support/UpdateCheck.h"

#include <QPointer>

namespace platform {
class TWebBrowser;
}

namespace support {

class WebServiceBrowser : public ServiceBrowser {
public:
    explicit WebServiceBrowser(platform::TWebBrowser* browser);

    // Without a browser (none given, or destroyed while the query waits) there is nothing
    // to wait for: it reads as complete and answers an empty text.
    void navigate(const QString& url) override;
    bool isComplete() const override;
    QString sourceText(std::uint32_t limitMs) override;

private:
    QPointer<platform::TWebBrowser> m_browser;
};

} // namespace support
