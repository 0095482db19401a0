#pragma once

#include "platform/web/DownloadControl.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace platform {

// The live document as the engine serializes it when asked.
struct PageSnapshot {
    QString html; // the document element's markup, after the page's scripts ran
    QString url;
    QString contentType;
    std::optional<QString> bodyInnerText; // none when the document has no body
};

// What is known of the document on show without serializing it.
struct DocumentFacts {
    QString url;
    QString contentType;
    bool hasBody = false;
};

enum class NavigationKind { Link, Typed, Form, BackForward, Reload, Redirect, Other };
enum class LoadOutcome { Succeeded, Failed, Stopped };

// What a browser needs of an engine. Two implementations: Qt WebEngine for the program
// and an in-process fake for window tests.
class BrowserEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserEngine() override = default;

    // The widget that shows the page; a child of the parent given at creation.
    virtual QWidget* view() = 0;

    virtual void load(const QUrl& url) = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void reload() = 0;
    virtual void stop() = 0;
    virtual bool isLoading() const = 0;
    virtual QUrl url() const = 0;

    // What the engine's own windows (off-screen render surfaces included) are called where
    // assistive technology lists them.
    virtual void setRendererName(const QString& name) { Q_UNUSED(name) }

    // Takes effect from the next load on.
    virtual void applySettings(const WebEngineSettings& settings) = 0;
    virtual WebEngineSettings settings() const = 0;

    // Asynchronous reads. The callback runs at most once, never after the engine is gone;
    // it may never run at all (a renderer that hangs), so callers bound their wait.
    virtual void readDocument(std::function<void(std::optional<PageSnapshot>)> done) = 0;
    virtual void readPlainText(std::function<void(std::optional<QString>)> done) = 0;
    virtual void readFacts(std::function<void(std::optional<DocumentFacts>)> done) = 0;
    // Runs script in the page, apart from the page's own scripts, and answers its value.
    // An engine that cannot run scripts answers nothing.
    virtual void runScript(const QString& script,
                           std::function<void(std::optional<QVariant>)> done) {
        Q_UNUSED(script)
        done(std::nullopt);
    }

    // Asked before every navigation the engine itself starts, frames included; false
    // refuses it. Unset: everything goes ahead.
    std::function<bool(const QUrl& url, NavigationKind kind, bool isMainFrame)> navigationRequest;
    // A page asked for a new window showing url; the browser decides where it goes.
    std::function<void(const QUrl& url)> newWindowRequest;

signals:
    void loadStarted();
    void loadProgress(int percent);
    void loadFinished(platform::LoadOutcome outcome);
};

// Makes the engines that browsers created from now on use; empty restores Qt WebEngine.
using BrowserEngineFactory = std::function<std::unique_ptr<BrowserEngine>(QWidget* parent)>;
void setBrowserEngineFactory(BrowserEngineFactory factory);
std::unique_ptr<BrowserEngine> createBrowserEngine(QWidget* parent);

} // namespace platform
