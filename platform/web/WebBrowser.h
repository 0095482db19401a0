#pragma once

#include "platform/web/BrowserEngine.h"

#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

constexpr int READYSTATE_UNINITIALIZED = 0;
constexpr int READYSTATE_LOADING = 1;
constexpr int READYSTATE_INTERACTIVE = 3;
constexpr int READYSTATE_COMPLETE = 4;

// The embedded browser control: navigation, history, ready state, the document and its
// source text, the host's download-control answer asked before every navigation, and
// the events the window handles. The engine behind it comes from the engine factory.
class TWebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget* parent = nullptr);
    ~TWebBrowser() override;

    // The component name, apart from the object name the window gives it.
    QString Name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }

    // An absolute path, an address, or "about:blank"; a refused or empty address does
    // nothing. The ready state is below READYSTATE_COMPLETE when it returns, unless the
    // before-navigate handler cancelled.
    void Navigate(const QString& url);
    void GoBack();
    void GoForward();
    void Refresh2();
    void Stop();
    int ReadyState() const { return m_readyState; }
    QString LocationURL() const;

    // The live document, serialized now; none when the page gives none in time (a page
    // whose scripts never yield), when the browser is destroyed meanwhile, or when shutdown
    // begins. Events are processed while it waits.
    std::optional<PageSnapshot> Document();
    // The document's text as the engine renders it; empty on the same failures.
    QString DocumentSourceText();
    // Runs script in the page on show, apart from the page's own scripts: its value, or
    // nothing on the same failures as Document.
    std::optional<QVariant> RunScript(const QString& script);
    // The address, type and body of the document on show, learned after each load without
    // waiting (for handlers that run inside the engine's own calls); the address alone
    // while the rest is not known yet.
    DocumentFacts CurrentDocumentFacts() const;
    void setDocumentTimeout(int milliseconds) { m_documentTimeout = milliseconds; }

    // Silent: no script dialogs, no certificate questions, whatever the download flags say.
    bool Silent() const { return m_silent; }
    void setSilent(bool silent);

    // Local pages shown here may load web content and lead to web sites, as in any desktop
    // browser. Off by default: hidden browsers keep the engine's stricter rule.
    bool LocalPagesReachWeb() const { return m_localReachesWeb; }
    void setLocalPagesReachWeb(bool on);

    // The host's dispatch: ambient properties the engine asks for. The control itself
    // answers none (DISP_E_MEMBERNOTFOUND), so the engine uses its defaults.
    virtual std::int32_t Invoke(std::int32_t dispId, std::uint16_t flags, QVariant* result);
    // Told by the host that an ambient property changed: the new answer is read now and
    // applies from the next navigation on.
    void OnAmbientPropertyChange(std::int32_t dispId);
    // The download-control word the next navigation will use.
    std::int32_t DownloadControl() const { return m_downloadControl; }

    BrowserEngine* engine() const { return m_engine.get(); }

signals:
    // Before every navigation, the browser's own and the page's (frames included);
    // setting *cancel refuses it. Raised inside the engine's own call: a handler must not
    // wait for the engine there.
    //
    // Download and document complete follow the end of a load in a later turn of the event
    // loop, so their handlers may wait (read the document); a stopped load raises only
    // download complete.
    void OnBeforeNavigate2(platform::TWebBrowser* sender, const QString& url, bool* cancel);
    void OnDocumentComplete(platform::TWebBrowser* sender, const QString& url);
    void OnDownloadComplete(platform::TWebBrowser* sender);
    void OnProgressChange(platform::TWebBrowser* sender, int progress, int progressMax);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::int32_t askDownloadControl();
    void applyDownloadControl();
    bool beforeNavigate(const QString& url);
    bool onNavigationRequest(const QUrl& url, NavigationKind kind, bool isMainFrame);
    void onLoadStarted();
    void onLoadProgress(int percent);
    void onLoadFinished(LoadOutcome outcome);

    template <class T>
    std::optional<T> await(std::function<void(std::function<void(std::optional<T>)>)> start);

    std::unique_ptr<BrowserEngine> m_engine;
    QString m_name;
    int m_readyState = READYSTATE_UNINITIALIZED;
    int m_documentTimeout = 10000;
    bool m_silent = false;
    bool m_localReachesWeb = false;
    bool m_typedPending = false;
    std::int32_t m_downloadControl = DLCTL_DEFAULT;
    std::optional<DocumentFacts> m_facts;
    int m_loadCount = 0;
};

// The extended control: its download options are a flag word of its own, which it answers
// the ambient question with.
class TEmbeddedWB : public TWebBrowser {
    Q_OBJECT
public:
    explicit TEmbeddedWB(QWidget* parent = nullptr);

    std::int32_t DownloadOptions() const { return m_options; }
    void SetDownloadOptions(std::int32_t flags);

    std::int32_t Invoke(std::int32_t dispId, std::uint16_t flags, QVariant* result) override;

private:
    std::int32_t m_options = DLCTL_DEFAULT;
};

// Turns what Navigate is given into an address: absolute paths become file URLs.
QUrl navigationUrl(const QString& text);

} // namespace platform
