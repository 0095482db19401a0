#include "platform/web/WebBrowser.h"

#include "platform/Ticks.h"
#include "platform/web/QtBrowserEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QResizeEvent>
#include <QTimer>

namespace platform {

namespace {

BrowserEngineFactory& engineFactory() {
    static BrowserEngineFactory factory;
    return factory;
}

} // namespace

void setBrowserEngineFactory(BrowserEngineFactory factory) {
    engineFactory() = std::move(factory);
}

std::unique_ptr<BrowserEngine> createBrowserEngine(QWidget* parent) {
    if (const auto& factory = engineFactory())
        return factory(parent);
    return std::make_unique<QtBrowserEngine>(parent);
}

QUrl navigationUrl(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    if (t.startsWith(u'/'))
        return QUrl::fromLocalFile(QDir::cleanPath(t));
    const QUrl url(t, QUrl::TolerantMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return url;
    return QUrl::fromUserInput(t);
}

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent) {
    m_engine = createBrowserEngine(this);
    m_engine->navigationRequest = [this](const QUrl& url, NavigationKind kind, bool mainFrame) {
        return onNavigationRequest(url, kind, mainFrame);
    };
    m_engine->newWindowRequest = [this](const QUrl& url) { Navigate(url.toString()); };
    connect(m_engine.get(), &BrowserEngine::loadStarted, this, &TWebBrowser::onLoadStarted);
    connect(m_engine.get(), &BrowserEngine::loadProgress, this, &TWebBrowser::onLoadProgress);
    connect(m_engine.get(), &BrowserEngine::loadFinished, this, &TWebBrowser::onLoadFinished);
    if (QWidget* v = m_engine->view())
        v->setGeometry(rect());
}

TWebBrowser::~TWebBrowser() {
    // The engine's callbacks point back here; they go first.
    if (m_engine) {
        m_engine->navigationRequest = nullptr;
        m_engine->newWindowRequest = nullptr;
        m_engine->disconnect(this);
    }
    m_engine.reset();
}

void TWebBrowser::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (QWidget* v = m_engine->view())
        v->setGeometry(rect());
}

QString TWebBrowser::LocationURL() const {
    return m_engine->url().toString();
}

std::int32_t TWebBrowser::Invoke(std::int32_t, std::uint16_t, QVariant*) {
    return DISP_E_MEMBERNOTFOUND;
}

std::int32_t TWebBrowser::askDownloadControl() {
    QVariant answer;
    if (Invoke(DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, &answer) == S_OK &&
        answer.canConvert<qint32>())
        return answer.value<qint32>();
    return DLCTL_DEFAULT;
}

void TWebBrowser::OnAmbientPropertyChange(std::int32_t dispId) {
    if (dispId == DISPID_AMBIENT_DLCONTROL)
        m_downloadControl = askDownloadControl();
}

void TWebBrowser::applyDownloadControl() {
    m_downloadControl = askDownloadControl();
    WebEngineSettings s = DownloadControlSettings(m_downloadControl);
    s.silent = s.silent || m_silent;
    s.localReachesWeb = m_localReachesWeb;
    m_engine->applySettings(s);
}

void TWebBrowser::setSilent(bool silent) {
    m_silent = silent;
}

void TWebBrowser::setLocalPagesReachWeb(bool on) {
    m_localReachesWeb = on;
    applyDownloadControl();
}

bool TWebBrowser::beforeNavigate(const QString& url) {
    bool cancel = false;
    QPointer<TWebBrowser> self(this);
    emit OnBeforeNavigate2(this, url, &cancel);
    return self && !cancel;
}

void TWebBrowser::Navigate(const QString& url) {
    const QUrl target = navigationUrl(url);
    if (!target.isValid() || target.isEmpty())
        return;
    if (!beforeNavigate(target.toString()))
        return;
    applyDownloadControl();
    m_typedPending = true;
    m_readyState = READYSTATE_LOADING;
    m_engine->load(target);
}

void TWebBrowser::GoBack() {
    applyDownloadControl();
    m_engine->back();
}

void TWebBrowser::GoForward() {
    applyDownloadControl();
    m_engine->forward();
}

void TWebBrowser::Refresh2() {
    applyDownloadControl();
    m_engine->reload();
}

void TWebBrowser::Stop() {
    m_typedPending = false;
    m_engine->stop();
    // Nothing left that would finish the load: the browser is idle now.
    if (!m_engine->isLoading() && m_readyState != READYSTATE_UNINITIALIZED)
        m_readyState = READYSTATE_COMPLETE;
}

bool TWebBrowser::onNavigationRequest(const QUrl& url, NavigationKind kind, bool isMainFrame) {
    if (isMainFrame && kind == NavigationKind::Typed && m_typedPending) {
        // Our own Navigate: its handler has already been asked.
        m_typedPending = false;
        return true;
    }
    if (kind == NavigationKind::Reload || kind == NavigationKind::Redirect)
        return true;
    if (!beforeNavigate(url.toString()))
        return false;
    if (isMainFrame) {
        applyDownloadControl();
        m_readyState = READYSTATE_LOADING;
    }
    return true;
}

void TWebBrowser::onLoadStarted() {
    if (m_readyState != READYSTATE_LOADING)
        m_readyState = READYSTATE_LOADING;
}

void TWebBrowser::onLoadProgress(int percent) {
    if (m_readyState == READYSTATE_COMPLETE || m_readyState == READYSTATE_UNINITIALIZED)
        return;
    if (percent >= 100)
        m_readyState = READYSTATE_INTERACTIVE;
    emit OnProgressChange(this, percent, 100);
}

void TWebBrowser::onLoadFinished(LoadOutcome outcome) {
    m_typedPending = false;
    m_readyState = READYSTATE_COMPLETE;
    const int load = ++m_loadCount;
    m_facts.reset();
    QPointer<TWebBrowser> self(this);
    m_engine->readFacts([self, load](std::optional<DocumentFacts> facts) {
        if (self && facts && load == self->m_loadCount)
            self->m_facts = std::move(facts);
    });
    // Out of the engine's call, so the handlers may read the document.
    QTimer::singleShot(0, this, [this, outcome] {
        QPointer<TWebBrowser> alive(this);
        emit OnDownloadComplete(this);
        if (alive && outcome != LoadOutcome::Stopped)
            emit OnDocumentComplete(this, LocationURL());
    });
}

DocumentFacts TWebBrowser::CurrentDocumentFacts() const {
    if (m_facts)
        return *m_facts;
    return DocumentFacts{LocationURL(), QString(), false};
}

template <class T>
std::optional<T>
TWebBrowser::await(std::function<void(std::function<void(std::optional<T>)>)> start) {
    if (isShuttingDown())
        return std::nullopt;
    struct State {
        bool done = false;
        std::optional<T> value;
        QEventLoop* loop = nullptr;
    };
    auto state = std::make_shared<State>();
    start([state](std::optional<T> value) {
        state->done = true;
        state->value = std::move(value);
        if (state->loop)
            state->loop->quit();
    });
    if (!state->done) {
        QEventLoop loop;
        state->loop = &loop;
        QPointer<TWebBrowser> self(this);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(m_documentTimeout);
        // The browser may be destroyed or shutdown begin while the loop runs.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &loop, [&loop, self] {
            if (!self || isShuttingDown())
                loop.quit();
        });
        watch.start(20);
        QObject::connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec();
        state->loop = nullptr;
        if (!self)
            return std::nullopt;
    }
    return state->done ? std::move(state->value) : std::nullopt;
}

std::optional<PageSnapshot> TWebBrowser::Document() {
    if (m_readyState == READYSTATE_UNINITIALIZED)
        return std::nullopt;
    BrowserEngine* engine = m_engine.get();
    return await<PageSnapshot>([engine](auto done) { engine->readDocument(std::move(done)); });
}

std::optional<QVariant> TWebBrowser::RunScript(const QString& script) {
    if (m_readyState == READYSTATE_UNINITIALIZED)
        return std::nullopt;
    BrowserEngine* engine = m_engine.get();
    return await<QVariant>(
        [engine, script](auto done) { engine->runScript(script, std::move(done)); });
}

QString TWebBrowser::DocumentSourceText() {
    if (m_readyState == READYSTATE_UNINITIALIZED)
        return {};
    BrowserEngine* engine = m_engine.get();
    return await<QString>([engine](auto done) { engine->readPlainText(std::move(done)); })
        .value_or(QString());
}

TEmbeddedWB::TEmbeddedWB(QWidget* parent) : TWebBrowser(parent) {}

void TEmbeddedWB::SetDownloadOptions(std::int32_t flags) {
    m_options = flags;
    OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
}

std::int32_t TEmbeddedWB::Invoke(std::int32_t dispId, std::uint16_t flags, QVariant* result) {
    if (dispId == DISPID_AMBIENT_DLCONTROL && (flags & DISPATCH_PROPERTYGET) && result) {
        *result = QVariant::fromValue<qint32>(m_options);
        return S_OK;
    }
    return TWebBrowser::Invoke(dispId, flags, result);
}

} // namespace platform
