// The Qt WebEngine engine without a view: the page, its request filter and the document
// reads. Programs without a window use it as it is; the window's engine adds the view.
#pragma once

#include "platform/web/BrowserEngine.h"

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

#include <atomic>

class QWebEngineNewWindowRequest;
class QWebEngineCertificateError;

namespace platform {

// Applies a page's download choices to every request it makes: pictures, media, scripts
// and plug-in content can be refused, and "no-cache" headers added.
class RequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void setSettings(const WebEngineSettings& s);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    std::atomic<bool> m_images{true};
    std::atomic<bool> m_media{true};
    std::atomic<bool> m_scripts{true};
    std::atomic<bool> m_plugins{true};
    std::atomic<bool> m_noCache{false};
};

class QtPageEngine;

// Our page: asks the browser before every navigation, keeps new windows in the same
// browser, and answers script dialogs and certificate questions by the silent flag.
class OrvoWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit OrvoWebPage(QtPageEngine* engine);
    bool silent = false;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    QtPageEngine* m_engine;
};

class QtPageEngine : public BrowserEngine {
    Q_OBJECT
public:
    explicit QtPageEngine(QObject* parent = nullptr);
    ~QtPageEngine() override;

    QWidget* view() override { return nullptr; }
    void load(const QUrl& url) override;
    void back() override;
    void forward() override;
    void reload() override;
    void stop() override;
    bool isLoading() const override;
    QUrl url() const override;
    void applySettings(const WebEngineSettings& settings) override;
    WebEngineSettings settings() const override { return m_settings; }
    void readDocument(std::function<void(std::optional<PageSnapshot>)> done) override;
    void readPlainText(std::function<void(std::optional<QString>)> done) override;
    void readFacts(std::function<void(std::optional<DocumentFacts>)> done) override;
    void runScript(const QString& script,
                   std::function<void(std::optional<QVariant>)> done) override;

    QWebEnginePage* page() const;

protected:
    // Called on every change of the load state, before it is reported.
    virtual void loadingChanged() {}

private:
    friend class OrvoWebPage;
    bool askNavigation(const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame);
    void onNewWindow(QWebEngineNewWindowRequest& request);
    void onCertificateError(const QWebEngineCertificateError& error);

    RequestInterceptor* m_interceptor = nullptr;
    OrvoWebPage* m_page = nullptr;
    WebEngineSettings m_settings;
    bool m_loading = false;
};

} // namespace platform
