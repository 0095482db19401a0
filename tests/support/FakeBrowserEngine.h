#pragma once

#include "platform/web/BrowserEngine.h"

#include <QByteArray>
#include <QHash>
#include <QList>

class QLabel;

namespace platform {

// The pages the fake engine serves: registered from memory, or files from disk for
// file: addresses. "about:blank" is always there.
class FakeWeb {
public:
    struct Page {
        QByteArray content;
        QString contentType = QStringLiteral("text/html");
        bool hangs = false; // never finishes loading until stopped
    };

    static FakeWeb& instance();

    void addPage(const QUrl& url, const QString& html,
                 const QString& contentType = QStringLiteral("text/html"));
    void addBinary(const QUrl& url, const QByteArray& content, const QString& contentType);
    void addHangingPage(const QUrl& url);
    void clear();

    // What a load of url gets; none for an address that cannot be reached.
    std::optional<Page> find(const QUrl& url) const;

    // Every address loaded, in order (tests read and clear it).
    QList<QUrl> requests;

private:
    QHash<QUrl, Page> m_pages;
};

// An engine that serves FakeWeb's pages in-process and raises the same signals in the same
// order as the real one, each step in its own turn of the event loop.
class FakeBrowserEngine : public BrowserEngine {
    Q_OBJECT
public:
    explicit FakeBrowserEngine(QWidget* parent);
    ~FakeBrowserEngine() override;

    QWidget* view() override;
    void load(const QUrl& url) override;
    void back() override;
    void forward() override;
    void reload() override;
    void stop() override;
    bool isLoading() const override { return m_loading; }
    QUrl url() const override { return m_url; }
    void applySettings(const WebEngineSettings& s) override { m_settings = s; }
    WebEngineSettings settings() const override { return m_settings; }
    void readDocument(std::function<void(std::optional<PageSnapshot>)> done) override;
    void readPlainText(std::function<void(std::optional<QString>)> done) override;
    void readFacts(std::function<void(std::optional<DocumentFacts>)> done) override;

    // What a user or a page does: follow a link, open a window.
    void clickLink(const QUrl& url);
    void requestNewWindow(const QUrl& url);

    // The settings each load started with, in order.
    QList<WebEngineSettings> loadSettings;

    // Installs the fake for every browser created from now on.
    static void install();

private:
    void start(const QUrl& url, NavigationKind kind, bool addToHistory);
    void step(int generation, int stage);

    QLabel* m_view = nullptr;
    WebEngineSettings m_settings;
    QUrl m_url = QUrl(QStringLiteral("about:blank"));
    QUrl m_pending;
    std::optional<FakeWeb::Page> m_page;
    std::optional<FakeWeb::Page> m_pendingPage;
    QList<QUrl> m_history;
    int m_index = -1;
    int m_generation = 0;
    bool m_loading = false;
};

} // namespace platform
