// A browser without a widget: one engine page, its ready state and a bounded wait for
// everything. The batch program's main, service and assistant browsers.
#pragma once

#include "platform/web/BrowserEngine.h"

#include <orvo/IHTMLDocument2.h>
#include <orvo/IWebBrowser2.h>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace batch {

class PageBrowser : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Loading, Loaded, Failed, TimedOut };

    // loadTimeoutMs bounds every load: a page still loading then is stopped and counts as
    // timed out.
    explicit PageBrowser(int loadTimeoutMs, QObject* parent = nullptr);
    ~PageBrowser() override;

    // An absolute path, an address or "about:blank"; an empty or invalid one does nothing.
    void navigate(const QString& text);
    void stop();
    State state() const { return m_state; }
    bool isLoading() const { return m_state == State::Loading; }
    QString location() const;
    // The address of the last navigate(): where a load that failed or timed out was going
    // (location() then still names the page before).
    QString requested() const { return m_requested; }

    // Runs the event loop for at most ms, ending as soon as a load ends: a template's wait
    // for this browser. (A sleep instead would hold up the engine's work on this thread.)
    void waitFor(int ms);

    // The live document now, waiting at most the document timeout; none when the page
    // gives none in time.
    std::optional<platform::PageSnapshot> snapshot();
    // The same as templates get it: a new reference, or null.
    IHTMLDocument2* document();
    // Runs script in the live page, apart from the page's own scripts: its value, or none
    // when the page gives none in time.
    std::optional<QVariant> runScript(const QString& script);

signals:
    void loadEnded();

private:
    void onFinished(platform::LoadOutcome outcome);
    template <typename T, typename Ask> std::optional<T> answer(Ask ask);

    std::unique_ptr<platform::BrowserEngine> m_engine;
    QTimer m_limit;
    State m_state = State::Idle;
    QString m_requested;
    int m_documentTimeoutMs = 10000;
};

// The interface templates drive a PageBrowser through: a new reference. It outlives the
// browser safely: once the browser is gone its calls do nothing.
IWebBrowser2* WebBrowser2Of(PageBrowser* browser);

// Absolute paths become file addresses; anything else is read as an address.
QUrl addressOf(const QString& text);

} // namespace batch
