#include "tests/support/FakeBrowserEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

namespace platform {

FakeWeb& FakeWeb::instance() {
    static FakeWeb web;
    return web;
}

void FakeWeb::addPage(const QUrl& url, const QString& html, const QString& contentType) {
    m_pages.insert(url, Page{html.toUtf8(), contentType, false});
}

void FakeWeb::addBinary(const QUrl& url, const QByteArray& content, const QString& contentType) {
    m_pages.insert(url, Page{content, contentType, false});
}

void FakeWeb::addHangingPage(const QUrl& url) {
    m_pages.insert(url, Page{QByteArrayLiteral("<html><body>loading</body></html>"),
                             QStringLiteral("text/html"), true});
}

void FakeWeb::clear() {
    m_pages.clear();
    requests.clear();
}

std::optional<FakeWeb::Page> FakeWeb::find(const QUrl& url) const {
    const auto it = m_pages.constFind(url);
    if (it != m_pages.constEnd())
        return *it;
    if (url == QUrl(QStringLiteral("about:blank")))
        return Page{QByteArrayLiteral("<html><head></head><body></body></html>"),
                    QStringLiteral("text/html"), false};
    if (url.isLocalFile()) {
        QFile f(url.toLocalFile());
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QString suffix = QFileInfo(f.fileName()).suffix().toLower();
        QString type = QStringLiteral("application/octet-stream");
        if (suffix == u"html" || suffix == u"htm")
            type = QStringLiteral("text/html");
        else if (suffix == u"txt")
            type = QStringLiteral("text/plain");
        else if (suffix == u"png")
            type = QStringLiteral("image/png");
        return Page{f.readAll(), type, false};
    }
    return std::nullopt;
}

FakeBrowserEngine::FakeBrowserEngine(QWidget* parent) : BrowserEngine(parent) {
    m_view = new QLabel(parent);
    m_view->setObjectName(QStringLiteral("fakeBrowserView"));
    m_view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

FakeBrowserEngine::~FakeBrowserEngine() {
    delete m_view;
}

QWidget* FakeBrowserEngine::view() {
    return m_view;
}

void FakeBrowserEngine::install() {
    setBrowserEngineFactory(
        [](QWidget* parent) { return std::make_unique<FakeBrowserEngine>(parent); });
}

void FakeBrowserEngine::load(const QUrl& url) {
    start(url, NavigationKind::Typed, true);
}

void FakeBrowserEngine::clickLink(const QUrl& url) {
    start(url, NavigationKind::Link, true);
}

void FakeBrowserEngine::requestNewWindow(const QUrl& url) {
    QPointer<FakeBrowserEngine> self(this);
    QTimer::singleShot(0, this, [self, url] {
        if (self && self->newWindowRequest)
            self->newWindowRequest(url);
    });
}

void FakeBrowserEngine::back() {
    if (m_index > 0) {
        --m_index;
        start(m_history.at(m_index), NavigationKind::BackForward, false);
    }
}

void FakeBrowserEngine::forward() {
    if (m_index + 1 < m_history.size()) {
        ++m_index;
        start(m_history.at(m_index), NavigationKind::BackForward, false);
    }
}

void FakeBrowserEngine::reload() {
    if (m_index >= 0)
        start(m_url, NavigationKind::Reload, false);
}

void FakeBrowserEngine::stop() {
    if (!m_loading)
        return;
    ++m_generation;
    m_loading = false;
    QPointer<FakeBrowserEngine> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            emit self->loadFinished(LoadOutcome::Stopped);
    });
}

void FakeBrowserEngine::start(const QUrl& url, NavigationKind kind, bool addToHistory) {
    const int generation = ++m_generation;
    m_pending = url;
    QPointer<FakeBrowserEngine> self(this);
    // As the real engine does, the browser is asked after the call has returned.
    QTimer::singleShot(0, this, [self, generation, url, kind, addToHistory] {
        if (!self || generation != self->m_generation)
            return;
        if (self->navigationRequest && !self->navigationRequest(url, kind, true))
            return;
        if (!self || generation != self->m_generation)
            return;
        if (addToHistory) {
            while (self->m_history.size() > self->m_index + 1)
                self->m_history.removeLast();
            self->m_history.append(url);
            self->m_index = static_cast<int>(self->m_history.size()) - 1;
        }
        self->loadSettings.append(self->m_settings);
        FakeWeb::instance().requests.append(url);
        self->m_loading = true;
        emit self->loadStarted();
        self->step(generation, 0);
    });
}

void FakeBrowserEngine::step(int generation, int stage) {
    QPointer<FakeBrowserEngine> self(this);
    QTimer::singleShot(0, this, [self, generation, stage] {
        if (!self || generation != self->m_generation)
            return;
        switch (stage) {
        case 0: {
            self->m_pendingPage = FakeWeb::instance().find(self->m_pending);
            emit self->loadProgress(10);
            if (self && self->m_pendingPage && self->m_pendingPage->hangs)
                return; // until stopped
            break;
        }
        case 1:
            emit self->loadProgress(100);
            break;
        default: {
            self->m_loading = false;
            self->m_url = self->m_pending;
            const bool found = self->m_pendingPage.has_value();
            self->m_page = found ? self->m_pendingPage
                                 : FakeWeb::Page{QByteArrayLiteral("<html><body>This page cannot "
                                                                   "be reached</body></html>"),
                                                 QStringLiteral("text/html"), false};
            self->m_view->setText(self->m_url.toString());
            emit self->loadFinished(found ? LoadOutcome::Succeeded : LoadOutcome::Failed);
            return;
        }
        }
        if (self)
            self->step(generation, stage + 1);
    });
}

void FakeBrowserEngine::readDocument(std::function<void(std::optional<PageSnapshot>)> done) {
    PageSnapshot s;
    s.url = m_url.toString();
    if (m_page) {
        s.contentType = m_page->contentType;
        if (s.contentType.startsWith(u"text/html")) {
            s.html = QString::fromUtf8(m_page->content);
        } else {
            // As the real engine does, other content is wrapped in a page of its own.
            s.html = QStringLiteral("<html><body><pre>") +
                     QString::fromUtf8(m_page->content).toHtmlEscaped() +
                     QStringLiteral("</pre></body></html>");
            s.bodyInnerText = QString::fromUtf8(m_page->content);
        }
    } else {
        s.contentType = QStringLiteral("text/html");
        s.html = QStringLiteral("<html><head></head><body></body></html>");
    }
    QPointer<FakeBrowserEngine> self(this);
    QTimer::singleShot(0, this, [self, done, s] {
        if (self)
            done(s);
    });
}

void FakeBrowserEngine::readFacts(std::function<void(std::optional<DocumentFacts>)> done) {
    readDocument([done](std::optional<PageSnapshot> s) {
        if (!s) {
            done(std::nullopt);
            return;
        }
        const bool html = s->contentType.startsWith(u"text/html");
        // Body-less markup: a frameset, or markup the parser would give no body.
        const bool body = !html || s->html.contains(u"<body", Qt::CaseInsensitive) ||
                          !s->html.contains(u"<frameset", Qt::CaseInsensitive);
        done(DocumentFacts{s->url, s->contentType, body});
    });
}

void FakeBrowserEngine::readPlainText(std::function<void(std::optional<QString>)> done) {
    QString text;
    if (m_page) {
        text = QString::fromUtf8(m_page->content);
        if (m_page->contentType.startsWith(u"text/html"))
            text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    }
    QPointer<FakeBrowserEngine> self(this);
    QTimer::singleShot(0, this, [self, done, text] {
        if (self)
            done(text);
    });
}

} // namespace platform
