#pragma once

#include "browser/DownloadOptions.h"
#include "platform/web/WebBrowser.h"

#include <orvo/IHTMLDocument2.h>
#include <orvo/IWebBrowser2.h>

// The program's own browser class: the platform browser with a download-control set that
// it answers the engine's ambient question from.
class TOrvoBrowser : public platform::TWebBrowser {
    Q_OBJECT
public:
    explicit TOrvoBrowser(QWidget* owner = nullptr);

    TDownloadControlOptions DownloadOptions() const { return FDownload.DownloadOptions(); }
    // Stores the set, recomputes the flag word and tells the engine, which reads the new
    // flags for its next page load (the page on show is not reloaded).
    void SetDownloadOptions(TDownloadControlOptions Value) { FDownload.SetDownloadOptions(Value); }
    std::int32_t DownloadOptionValue() const { return FDownload.DownloadOptionValue(); }

    std::int32_t Invoke(std::int32_t dispId, std::uint16_t flags, QVariant* result) override;

private:
    TDownloadControl FDownload;
};

namespace browser {

// The document on show in `browser` as templates get it: a new reference, or null when
// the browser shows no HTML document or cannot give one now.
IHTMLDocument2* DocumentOf(platform::TWebBrowser* browser);

// The interface a template drives `browser` through: a new reference. It outlives the
// browser safely: once the browser is gone its calls do nothing and ProcessMessages
// answers 0.
IWebBrowser2* WebBrowser2Of(platform::TWebBrowser* browser);

} // namespace browser
