#include "batch/PageBrowser.h"

#include "browser/HtmlDocument.h"
#include "platform/Ticks.h"
#include "platform/web/QtPageEngine.h"

#include <orvo/RefCounted.h>

#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QWebEnginePage>

#include <string>

namespace batch {

QUrl addressOf(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    if (t.startsWith(u'/'))
        return QUrl::fromLocalFile(QDir::cleanPath(t));
    QUrl url(t, QUrl::TolerantMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return url;
    return QUrl::fromUserInput(t, QDir::currentPath(), QUrl::AssumeLocalFile);
}

PageBrowser::PageBrowser(int loadTimeoutMs, QObject* parent) : QObject(parent) {
    auto engine = std::make_unique<platform::QtPageEngine>();
    // Without a view the page counts as hidden, and hidden pages' timers are throttled.
    engine->page()->setVisible(true);
    m_engine = std::move(engine);
    platform::WebEngineSettings s;
    s.silent = true; // nobody to answer a script's dialog
    m_engine->applySettings(s);
    connect(m_engine.get(), &platform::BrowserEngine::loadStarted, this, [this] {
        if (m_state != State::Loading) {
            m_state = State::Loading;
            m_limit.start();
        }
    });
    connect(m_engine.get(), &platform::BrowserEngine::loadFinished, this, &PageBrowser::onFinished);
    m_limit.setSingleShot(true);
    m_limit.setInterval(loadTimeoutMs);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (m_state != State::Loading)
            return;
        m_state = State::TimedOut;
        m_engine->stop();
        emit loadEnded();
    });
}

PageBrowser::~PageBrowser() {
    m_engine->disconnect(this);
}

void PageBrowser::navigate(const QString& text) {
    const QUrl url = addressOf(text);
    if (!url.isValid() || url.isEmpty())
        return;
    m_state = State::Loading;
    m_requested = url.toString();
    m_limit.start();
    m_engine->load(url);
}

void PageBrowser::stop() {
    m_engine->stop();
    if (m_state == State::Loading)
        m_state = State::Loaded;
}

QString PageBrowser::location() const {
    return m_engine->url().toString();
}

void PageBrowser::onFinished(platform::LoadOutcome outcome) {
    if (m_state == State::TimedOut)
        return; // the stop that the time limit caused
    m_limit.stop();
    m_state = outcome == platform::LoadOutcome::Failed ? State::Failed : State::Loaded;
    emit loadEnded();
}

void PageBrowser::waitFor(int ms) {
    QEventLoop loop;
    connect(this, &PageBrowser::loadEnded, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One answer of the engine, waited for in an event loop bounded by the document timeout.
template <typename T, typename Ask> std::optional<T> PageBrowser::answer(Ask ask) {
    if (m_state == State::Idle || platform::isShuttingDown())
        return std::nullopt;
    struct Result {
        bool done = false;
        std::optional<T> value;
    };
    auto result = std::make_shared<Result>();
    QEventLoop loop;
    QPointer<QEventLoop> guard(&loop);
    ask([result, guard](std::optional<T> v) {
        result->done = true;
        result->value = std::move(v);
        if (guard)
            guard->quit();
    });
    if (!result->done) {
        QTimer::singleShot(m_documentTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result->done ? std::move(result->value) : std::nullopt;
}

std::optional<platform::PageSnapshot> PageBrowser::snapshot() {
    return answer<platform::PageSnapshot>(
        [this](auto done) { m_engine->readDocument(std::move(done)); });
}

std::optional<QVariant> PageBrowser::runScript(const QString& script) {
    return answer<QVariant>(
        [this, &script](auto done) { m_engine->runScript(script, std::move(done)); });
}

IHTMLDocument2* PageBrowser::document() {
    const auto s = snapshot();
    if (!s)
        return nullptr;
    return browser::CreateHtmlDocument({s->html, s->url, s->contentType, s->bodyInnerText});
}

namespace {

class WebBrowser2 final : public orvo::RefCounted<IWebBrowser2> {
public:
    explicit WebBrowser2(PageBrowser* browser) : m_browser(browser) {}

    void Navigate(const char16_t* url) override {
        const QString text = browser::FromOrvoText(url);
        if (m_browser && !text.isEmpty())
            m_browser->navigate(text);
    }
    std::int32_t GetReadyState() override {
        // A browser that is gone will never load: reporting it complete ends a wait.
        return m_browser && m_browser->isLoading() ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    }
    IHTMLDocument2* GetDocument() override { return m_browser ? m_browser->document() : nullptr; }
    const char16_t* GetLocationURL() override {
        m_url = (m_browser ? m_browser->location() : QString()).toStdU16String();
        return m_url.c_str();
    }
    void Stop() override {
        if (m_browser)
            m_browser->stop();
    }
    OrvoBool ProcessMessages(std::int32_t milliseconds) override {
        if (!m_browser || platform::isShuttingDown())
            return 0;
        if (milliseconds <= 0)
            platform::processMessages();
        else
            m_browser->waitFor(milliseconds);
        return m_browser && !platform::isShuttingDown() ? 1 : 0;
    }

private:
    QPointer<PageBrowser> m_browser;
    std::u16string m_url;
};

} // namespace

IWebBrowser2* WebBrowser2Of(PageBrowser* browser) {
    return new WebBrowser2(browser);
}

} // namespace batch
