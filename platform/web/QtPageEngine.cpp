#include "platform/web/QtPageEngine.h"

#include "platform/Dialogs.h"

#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QWebEngineCertificateError>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

namespace platform {

void RequestInterceptor::setSettings(const WebEngineSettings& s) {
    m_images = s.images;
    m_media = s.media;
    m_scripts = s.scripts;
    m_plugins = s.plugins;
    m_noCache = s.noCacheHeaders;
}

void RequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    switch (info.resourceType()) {
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        if (!m_images) {
            info.block(true);
            return;
        }
        break;
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        if (!m_media) {
            info.block(true);
            return;
        }
        break;
    case QWebEngineUrlRequestInfo::ResourceTypeScript:
    case QWebEngineUrlRequestInfo::ResourceTypeWorker:
    case QWebEngineUrlRequestInfo::ResourceTypeSharedWorker:
    case QWebEngineUrlRequestInfo::ResourceTypeServiceWorker:
        if (!m_scripts) {
            info.block(true);
            return;
        }
        break;
    case QWebEngineUrlRequestInfo::ResourceTypeObject:
    case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
        if (!m_plugins) {
            info.block(true);
            return;
        }
        break;
    default:
        break;
    }
    if (m_noCache) {
        info.setHttpHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
        info.setHttpHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    }
}

OrvoWebPage::OrvoWebPage(QtPageEngine* engine)
    : QWebEnginePage(QWebEngineProfile::defaultProfile(), engine), m_engine(engine) {}

bool OrvoWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    return m_engine->askNavigation(url, type, isMainFrame);
}

QWebEnginePage* OrvoWebPage::createWindow(WebWindowType) {
    // Never a second window: the new-window request is handled by the browser itself.
    return nullptr;
}

void OrvoWebPage::javaScriptAlert(const QUrl&, const QString& msg) {
    if (!silent)
        dialogs().message(msg);
}

bool OrvoWebPage::javaScriptConfirm(const QUrl&, const QString& msg) {
    return !silent && dialogs().question(msg);
}

bool OrvoWebPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) {
    // No text input in the dialog seam: a prompt is declined, as a cancelled one would be.
    return false;
}

void OrvoWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                           const QString&) {}

QtPageEngine::QtPageEngine(QObject* parent) : BrowserEngine(parent) {
    m_interceptor = new RequestInterceptor(this);
    m_page = new OrvoWebPage(this);
    m_page->setUrlRequestInterceptor(m_interceptor);
    applySettings(m_settings);

    connect(m_page, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) {
                loadingChanged();
                switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    m_loading = true;
                    emit loadStarted();
                    break;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    m_loading = false;
                    emit loadFinished(LoadOutcome::Succeeded);
                    break;
                case QWebEngineLoadingInfo::LoadFailedStatus:
                    m_loading = false;
                    emit loadFinished(LoadOutcome::Failed);
                    break;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                    m_loading = false;
                    emit loadFinished(LoadOutcome::Stopped);
                    break;
                }
            });
    connect(m_page, &QWebEnginePage::loadProgress, this, &BrowserEngine::loadProgress);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
        // A crashed or killed renderer ends the load; waits must not go on for ever.
        if (m_loading) {
            m_loading = false;
            emit loadFinished(LoadOutcome::Failed);
        }
    });
    connect(m_page, &QWebEnginePage::newWindowRequested, this, &QtPageEngine::onNewWindow);
    connect(m_page, &QWebEnginePage::certificateError, this, &QtPageEngine::onCertificateError);
}

QtPageEngine::~QtPageEngine() {
    // The page goes before its interceptor and its profile's users.
    delete m_page;
    m_page = nullptr;
}

QWebEnginePage* QtPageEngine::page() const {
    return m_page;
}

void QtPageEngine::load(const QUrl& url) {
    m_page->load(url);
}

void QtPageEngine::back() {
    m_page->triggerAction(QWebEnginePage::Back);
}

void QtPageEngine::forward() {
    m_page->triggerAction(QWebEnginePage::Forward);
}

void QtPageEngine::reload() {
    m_page->triggerAction(QWebEnginePage::Reload);
}

void QtPageEngine::stop() {
    m_page->triggerAction(QWebEnginePage::Stop);
}

bool QtPageEngine::isLoading() const {
    return m_loading;
}

QUrl QtPageEngine::url() const {
    return m_page->url();
}

void QtPageEngine::applySettings(const WebEngineSettings& s) {
    m_settings = s;
    QWebEngineSettings* ws = m_page->settings();
    ws->setAttribute(QWebEngineSettings::AutoLoadImages, s.images);
    ws->setAttribute(QWebEngineSettings::JavascriptEnabled, s.scripts);
    ws->setAttribute(QWebEngineSettings::PluginsEnabled, s.plugins);
    ws->setAttribute(QWebEngineSettings::PdfViewerEnabled, s.plugins);
    ws->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, !s.media);
    ws->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, s.scripts);
    // Without the focus a hidden browser's page cannot take it from the visible one.
    ws->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    ws->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, s.localReachesWeb);
    m_interceptor->setSettings(s);
    m_page->silent = s.silent;
}

bool QtPageEngine::askNavigation(const QUrl& url, QWebEnginePage::NavigationType type,
                                 bool isMainFrame) {
    if (!navigationRequest)
        return true;
    NavigationKind kind = NavigationKind::Other;
    switch (type) {
    case QWebEnginePage::NavigationTypeLinkClicked:
        kind = NavigationKind::Link;
        break;
    case QWebEnginePage::NavigationTypeTyped:
        kind = NavigationKind::Typed;
        break;
    case QWebEnginePage::NavigationTypeFormSubmitted:
        kind = NavigationKind::Form;
        break;
    case QWebEnginePage::NavigationTypeBackForward:
        kind = NavigationKind::BackForward;
        break;
    case QWebEnginePage::NavigationTypeReload:
        kind = NavigationKind::Reload;
        break;
    case QWebEnginePage::NavigationTypeRedirect:
        kind = NavigationKind::Redirect;
        break;
    default:
        break;
    }
    return navigationRequest(url, kind, isMainFrame);
}

void QtPageEngine::onNewWindow(QWebEngineNewWindowRequest& request) {
    // Not opened anywhere: a user's click goes on in this browser, a page's own
    // pop-up is refused.
    if (!request.isUserInitiated() || !newWindowRequest)
        return;
    const QUrl url = request.requestedUrl();
    QTimer::singleShot(0, this, [this, url] {
        if (newWindowRequest)
            newWindowRequest(url);
    });
}

void QtPageEngine::onCertificateError(const QWebEngineCertificateError& error) {
    if (m_page->silent || !error.isOverridable()) {
        auto copy = error;
        copy.rejectCertificate();
        return;
    }
    // Asked after the engine's call has returned: a dialog inside it would nest the
    // engine's own processing.
    auto deferred = error;
    deferred.defer();
    QPointer<QtPageEngine> self(this);
    QTimer::singleShot(0, this, [self, deferred]() mutable {
        if (!self)
            return;
        const QString question = QStringLiteral("The certificate of %1 is not trusted (%2). "
                                                "Show the page anyway?")
                                     .arg(deferred.url().host(), deferred.description());
        if (dialogs().question(question))
            deferred.acceptCertificate();
        else
            deferred.rejectCertificate();
    });
}

namespace {

// Reads the live document in the application's own script world, so it works with the
// page's scripts switched off and cannot be fooled by them redefining globals.
const QString kSnapshotScript = QStringLiteral(R"((function () {
    var d = document, e = d.documentElement, b = d.body;
    return [d.contentType || '', e ? e.outerHTML : '', b ? b.innerText : null, d.URL || ''];
})())");

const QString kFactsScript = QStringLiteral(
    "[document.contentType || '', document.body ? true : false, document.URL || '']");

} // namespace

void QtPageEngine::readFacts(std::function<void(std::optional<DocumentFacts>)> done) {
    m_page->runJavaScript(
        kFactsScript, QWebEngineScript::ApplicationWorld, [done](const QVariant& v) {
            const QVariantList list = v.toList();
            if (list.size() != 3) {
                done(std::nullopt);
                return;
            }
            done(DocumentFacts{list.at(2).toString(), list.at(0).toString(), list.at(1).toBool()});
        });
}

void QtPageEngine::runScript(const QString& script,
                             std::function<void(std::optional<QVariant>)> done) {
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [done](const QVariant& v) { done(v); });
}

void QtPageEngine::readDocument(std::function<void(std::optional<PageSnapshot>)> done) {
    m_page->runJavaScript(kSnapshotScript, QWebEngineScript::ApplicationWorld,
                          [done](const QVariant& v) {
                              const QVariantList list = v.toList();
                              if (list.size() != 4) {
                                  done(std::nullopt);
                                  return;
                              }
                              PageSnapshot s;
                              s.contentType = list.at(0).toString();
                              s.html = list.at(1).toString();
                              if (!list.at(2).isNull())
                                  s.bodyInnerText = list.at(2).toString();
                              s.url = list.at(3).toString();
                              done(std::move(s));
                          });
}

void QtPageEngine::readPlainText(std::function<void(std::optional<QString>)> done) {
    m_page->toPlainText([done](const QString& text) { done(text); });
}

} // namespace platform
