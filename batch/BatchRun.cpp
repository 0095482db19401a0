#include "batch/BatchRun.h"

#include "batch/PageBrowser.h"
#include "batch/Progress.h"
#include "batch/Robots.h"
#include "capture/CaptureController.h"
#include "detect/Detect.h"
#include "export/GridModelSource.h"
#include "export/SaveCommand.h"
#include "journal/Journal.h"
#include "platform/Dialogs.h"
#include "platform/SysFolders.h"
#include "platform/Ticks.h"
#include "plugins/IPlugins.h"

#include <orvo/PluginBase.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace batch {

namespace {

volatile std::sig_atomic_t g_interrupt = 0;

void say(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("trawlex-batch: ") + text + u'\n'), stderr);
    std::fflush(stderr);
}

struct NoSwitch final : capture::ExtrasSwitch {
    void setPressed(bool) override {}
    void setImageIndex(int) override {}
};

// A robots.txt read: the rules, or why the host gave none.
struct RobotsAnswer {
    RobotsRules rules;
    QString noAnswer; // the network error when the host did not answer at all
};

// The journal of a template and output pair: its own folder, so that runs of other
// templates or into other files, parallel ones included, never share one.
QString journalFolder(const Options& o) {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    const QString output =
        o.output == u"-" ? QStringLiteral("-") : QFileInfo(o.output).absoluteFilePath();
    // A detected template kept nowhere has no file of its own: the page names the run.
    const QString source = o.detect && o.saveTemplate.isEmpty()
                               ? QStringLiteral("detect:") + addressOf(o.startUrl).toString()
                               : QFileInfo(o.templatePath).absoluteFilePath();
    const QByteArray key = (source + u'\n' + output).toUtf8();
    const QString id = QString::fromLatin1(
        QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    return base + QStringLiteral("/trawlex/batch/") + id;
}

class Run final : public capture::CapturePages,
                  public capture::CaptureDisplay,
                  public platform::Dialogs {
public:
    Run(const Options& o, const QStringList& arguments)
        : m_o(o), m_arguments(arguments), m_main(o.timeoutMs), m_service(o.timeoutMs),
          m_assist(o.timeoutMs) {}

    int exec();

    // CapturePages
    // A loading browser is waited for here, in an event loop that ends with the load: the
    // run's own wait between questions sleeps, and the engine's work, done on this
    // thread, waits for those sleeps (about 0.4 s more per page).
    bool isReady(capture::Browser b) override {
        PageBrowser& browser = browserOf(b);
        if (browser.isLoading())
            waitLoaded(browser);
        return !browser.isLoading();
    }
    void navigate(capture::Browser b, const QString& url) override;
    IHTMLDocument2* document() override;
    QString address() override { return m_main.location(); }
    // Click and scroll page turns count and act in the live page.
    std::optional<QVariant> evaluate(const QString& script) override {
        return m_main.runScript(script);
    }

    // CaptureDisplay
    void setTitleStatus(const QString& text) override;
    bool closing() override { return false; }
    void templateFailed(const QString& what) override;

    // Dialogs: the run's messages go to stderr; nobody answers questions.
    void message(const QString& text) override;
    void error(const QString& text) override { message(text); }
    bool question(const QString&) override { return true; }
    platform::FileDialogResult openFile(const platform::FileDialogRequest&) override { return {}; }
    platform::FileDialogResult saveFile(const platform::FileDialogRequest&) override { return {}; }

private:
    PageBrowser& browserOf(capture::Browser b) {
        switch (b) {
        case capture::Browser::WB:
            return m_main;
        case capture::Browser::wb2:
            return m_service;
        case capture::Browser::WBassist:
            return m_assist;
        }
        return m_main;
    }
    QString resolveStart(const TPlugin& plugin) const;
    const RobotsAnswer& robotsFor(const QUrl& url);
    bool waitLoaded(PageBrowser& b);
    void pause(int ms);
    void pageDone();
    void stopRun() {
        if (m_controller)
            m_controller->setRunning(false);
    }
    int finish(int code);
    int detectTemplate();
    int saveTemplate();
    bool openJournal(QString& start);
    void journalNote(const journal::Status& status);

    Options m_o; // with detection, the template file is known only once the page is read
    QStringList m_arguments;
    PageBrowser m_main;
    PageBrowser m_service;
    PageBrowser m_assist;
    capture::CaptureController* m_controller = nullptr;
    journal::Journal m_journal;
    bool m_journalWarned = false;
    int m_journaledRows = 0;  // grid rows the journal holds
    QTemporaryDir m_detected; // the detected template when it is not to be kept
    QNetworkAccessManager m_network;
    QHash<QString, RobotsAnswer> m_robots;
    QElapsedTimer m_clock;
    // The page's document, read once for the template's data and again for its next
    // page: one snapshot serves both (a page of 500 listings costs tens of ms to read and
    // parse). Dropped when the next page's capture starts or the main browser loads.
    orvo::Ref<IHTMLDocument2> m_document;
    int m_pages = 0;         // pages whose capture started
    int m_reportedPages = 0; // pages reported done
    QString m_pageUrl;       // the page being captured
    QString m_failure;       // why the run failed part-way
    QString m_ending;        // why it ended early without failing
    bool m_interrupted = false;
};

void Run::message(const QString& text) {
    if (text == capture::runtext::kApplicationProblem) {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("the template failed on %1").arg(m_pageUrl);
        return;
    }
    say(text);
}

// The window goes on past a page its template cannot read; a batch run stops there with
// the rows so far, so that the failure is seen and --resume retries that page.
void Run::templateFailed(const QString& what) {
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("the template failed on %1: %2").arg(m_pageUrl, what);
    stopRun();
}

void Run::setTitleStatus(const QString& text) {
    if (text != capture::runtext::kExtracting)
        return;
    ++m_pages;
    m_pageUrl = m_main.location();
    m_document = {};
}

void Run::pageDone() {
    if (m_reportedPages == m_pages)
        return;
    m_reportedPages = m_pages;
    const capture::TGridModel& grid = m_controller->grid();
    if (m_journal.isOpen() && grid.rows() > m_journaledRows) {
        std::vector<QStringList> rows;
        rows.reserve(static_cast<std::size_t>(grid.rows() - m_journaledRows));
        for (int r = m_journaledRows; r < grid.rows(); ++r)
            rows.push_back(grid.rowFields(r));
        journalNote(
            m_journal.appendPage(m_pageUrl, grid.rowCaptured(m_journaledRows), rows).status);
    }
    m_journaledRows = grid.rows();
    if (m_o.progress == ProgressMode::None)
        return;
    const PageReport r{m_pages, m_controller->rowCount(), m_clock.elapsed() / 1000.0, m_pageUrl};
    std::fputs(qPrintable(progressLine(m_o.progress, r)), stderr);
    if (m_o.progress == ProgressMode::Json)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

IHTMLDocument2* Run::document() {
    switch (m_main.state()) {
    case PageBrowser::State::TimedOut:
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("%1 did not finish loading within %2 s")
                            .arg(m_main.requested())
                            .arg(m_o.timeoutMs / 1000.0);
        stopRun();
        return nullptr;
    case PageBrowser::State::Failed:
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("%1 could not be loaded").arg(m_main.requested());
        stopRun();
        return nullptr;
    default:
        if (!m_document)
            m_document = orvo::Ref<IHTMLDocument2>::adopt(m_main.document());
        if (m_document)
            m_document->AddRef(); // the caller's reference
        return m_document.get();
    }
}

void Run::navigate(capture::Browser b, const QString& url) {
    if (b != capture::Browser::WB || !m_controller || !m_controller->isRunning()) {
        browserOf(b).navigate(url);
        return;
    }
    // The run turns to its next page: the current one is complete.
    pageDone();
    const QUrl target = addressOf(url);
    // Where a resumed run goes on, whatever stops this one now.
    if (m_journal.isOpen())
        journalNote(m_journal.runAt(target.toString()));
    if (m_interrupted || g_interrupt) {
        stopRun();
        return;
    }
    if (m_o.pages > 0 && m_pages >= m_o.pages) {
        m_ending = QStringLiteral("stopped after %1 pages (--pages)").arg(m_o.pages);
        stopRun();
        return;
    }
    int delay = m_o.delayMs;
    if (!m_o.ignoreRobots && !robotsUrlOf(target).isEmpty()) {
        const RobotsAnswer& robots = robotsFor(target);
        // A host that does not answer is a failure (resumable); a refusal is the site's
        // wish, and the run's normal end.
        if (!robots.noAnswer.isEmpty()) {
            if (m_failure.isEmpty())
                m_failure = QStringLiteral("the host of the next page %1 does not answer: %2")
                                .arg(target.toString(), robots.noAnswer);
            stopRun();
            return;
        }
        if (!robots.rules.allowed(target)) {
            m_ending = QStringLiteral("the next page %1 is disallowed by robots.txt")
                           .arg(target.toString());
            stopRun();
            return;
        }
        if (const auto crawl = robots.rules.crawlDelay())
            delay = std::max(delay, static_cast<int>(*crawl * 1000));
    }
    pause(delay);
    if (m_interrupted || g_interrupt) {
        stopRun();
        return;
    }
    m_main.navigate(url);
}

void Run::journalNote(const journal::Status& status) {
    // The run goes on without it: the rows are still in memory and written at the end.
    if (!status.ok() && !m_journalWarned) {
        m_journalWarned = true;
        say(QStringLiteral("the journal cannot be written (%1): an interrupted run will not "
                           "be resumable")
                .arg(status.message));
    }
}

// Opens this pair's journal; with --resume fills the grid from it and sets start to the
// page the run was on. False (said why) when there is nothing to resume.
bool Run::openJournal(QString& start) {
    const QString folder = journalFolder(m_o);
    if (!QDir().mkpath(folder)) {
        journalNote({journal::ErrorCode::NotOpen, folder + QStringLiteral(" cannot be created")});
        if (m_o.resume) {
            say(QStringLiteral("nothing to resume: the journal folder %1 cannot be created")
                    .arg(folder));
            return false;
        }
        return true;
    }
    const journal::OpenReport report = m_journal.open(folder);
    if (!report.status.ok()) {
        journalNote(report.status);
        if (m_o.resume) {
            say(QStringLiteral("nothing to resume: %1").arg(report.status.message));
            return false;
        }
        return true;
    }
    if (report.secondProcess) {
        m_journal.close();
        say(QStringLiteral("another run of this template into %1 is going on").arg(m_o.output));
        return false;
    }
    if (!m_o.resume) {
        journalNote(m_journal.clearRows());
        return true;
    }
    const journal::State& state = report.restored;
    if (state.interruptedPage.isEmpty()) {
        say(QStringLiteral("nothing to resume: the last run of %1 into %2 completed")
                .arg(m_o.templatePath, m_o.output));
        return false;
    }
    capture::TGridModel& grid = m_controller->grid();
    for (const journal::Row& row : state.rows)
        grid.addRow(row.fields, grid.addOrigin(row.pageUrl, row.capturedAt));
    m_journaledRows = grid.rows();
    start = state.interruptedPage;
    return true;
}

// Waits ms, ending early on an interrupt.
void Run::pause(int ms) {
    QElapsedTimer t;
    t.start();
    // In the event loop, woken every 50 ms for an interrupt: the engine goes on with its
    // work, and an idle run does not wake 500 times a second as a polling wait would.
    while (t.elapsed() < ms && !g_interrupt && !platform::isShuttingDown()) {
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(std::min<qint64>(50, ms - t.elapsed())), &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

bool Run::waitLoaded(PageBrowser& b) {
    while (b.isLoading() && !g_interrupt) {
        QEventLoop loop;
        QObject::connect(&b, &PageBrowser::loadEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return !g_interrupt;
}

const RobotsAnswer& Run::robotsFor(const QUrl& url) {
    const QUrl robotsUrl = robotsUrlOf(url);
    const QString key = robotsUrl.toString();
    if (const auto it = m_robots.constFind(key); it != m_robots.constEnd())
        return *it;
    RobotsAnswer answer;
    QNetworkRequest request(robotsUrl);
    request.setHeader(
        QNetworkRequest::UserAgentHeader,
        QStringLiteral("trawlex-batch/%1").arg(QCoreApplication::applicationVersion()));
    request.setTransferTimeout(m_o.timeoutMs);
    QNetworkReply* reply = m_network.get(request);
    // A hostile server cannot make us keep more than this.
    constexpr qint64 kMaxRobots = qint64{512} * 1024;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [reply](qint64 received) {
        if (received > kMaxRobots)
            reply->abort();
    });
    if (!reply->isFinished())
        loop.exec();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        answer.rules =
            rulesForStatus(status.toInt(), reply->read(kMaxRobots), QStringLiteral("trawlex"));
    else
        answer.noAnswer = reply->errorString();
    reply->deleteLater();
    return *m_robots.insert(key, answer);
}

QString Run::resolveStart(const TPlugin& plugin) const {
    if (!m_o.startUrl.isEmpty())
        return addressOf(m_o.startUrl).toString();
    const QString home = FromTemplateText(plugin.Instance()->GetHomeURL());
    const QUrl url(home, QUrl::TolerantMode);
    const QString templateFolder = QFileInfo(m_o.templatePath).absolutePath();
    QString relative = home;
    if (url.isLocalFile()) {
        // A declarative template names its home page beside itself. The same template
        // outside the program folder (the source tree's copy) finds it in the program
        // folder instead, as a compiled one does.
        const QString file = url.toLocalFile();
        relative = QDir(templateFolder).relativeFilePath(file);
        if (QFileInfo::exists(file) || relative.startsWith(QStringLiteral("..")) ||
            QDir::isAbsolutePath(relative))
            return url.toString();
    } else if (!url.scheme().isEmpty() || home.startsWith(u'/')) {
        return addressOf(home).toString();
    }
    // A relative home page lies beside the template, or in the program folder.
    for (const QString& folder : {templateFolder, platform::ProgramFolder()}) {
        const QString path = QDir(folder).filePath(relative);
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(QDir::cleanPath(path)).toString();
    }
    return url.isLocalFile() ? url.toString() : addressOf(home).toString();
}

int Run::exec() {
    platform::ScopedDialogs dialogsInUse(this);
    if (const QString problem = checkOutput(m_o.output); !problem.isEmpty()) {
        say(problem);
        return kBadInput;
    }
    if (m_o.detect) {
        if (const int code = detectTemplate(); code != kCompleted)
            return code;
    }
    if (!QFileInfo(m_o.templatePath).isFile() || !QFileInfo(m_o.templatePath).isReadable()) {
        say(QStringLiteral("cannot read the template %1").arg(m_o.templatePath));
        return kBadInput;
    }
    PluginLoad load =
        TPlugin::Create(QFileInfo(m_o.templatePath).absoluteFilePath(), platform::ProgramFolder());
    if (!load) {
        QString why = load.error.message;
        if (!load.error.detail.isEmpty() && !why.contains(load.error.detail))
            why += QStringLiteral(" (") + load.error.detail + u')';
        say(QStringLiteral("cannot load the template %1: %2").arg(m_o.templatePath, why));
        return kBadInput;
    }
    std::shared_ptr<TPlugin> plugin = std::move(load.plugin);
    if (!m_o.detect && !m_o.saveTemplate.isEmpty()) {
        if (const int code = saveTemplate(); code != kCompleted)
            return code;
    }

    capture::CaptureController controller(*this, [&] { return plugin; });
    controller.setDisplay(this);
    m_controller = &controller;
    // Whatever loads in the main browser, the snapshot of the page before is stale.
    QObject::connect(&m_main, &PageBrowser::loadEnded, &m_main, [this] { m_document = {}; });

    orvo::Ref<IWebBrowser2> handed;
    QString start;
    try {
        controller.writeColumnHeaders();
        if (!controller.readColumnWidths() || controller.grid().columns() < 1) {
            say(QStringLiteral("the template %1 gives no valid columns").arg(m_o.templatePath));
            return kBadInput;
        }
        IPlugin* p = plugin->Instance();
        if (p->GetUsesBrowser()) {
            // Exactly this name, letter case included, gets the assistant browser.
            const bool assist = FromTemplateText(p->GetName()) == u"AU-YP";
            handed = orvo::Ref<IWebBrowser2>::adopt(WebBrowser2Of(assist ? &m_assist : &m_service));
            if (assist)
                p->SetAssistBrowser(handed.get());
            else
                p->SetServiceBrowser(handed.get());
        }
        start = resolveStart(*plugin);
    } catch (const std::exception& e) {
        say(QStringLiteral("the template %1 failed: %2").arg(m_o.templatePath, e.what()));
        return kBadInput;
    } catch (...) {
        say(QStringLiteral("the template %1 failed while being set up").arg(m_o.templatePath));
        return kBadInput;
    }
    if (m_o.extras) {
        NoSwitch button;
        controller.setWantsEmail(true, button);
    }

    if (!openJournal(start))
        return kBadInput;
    const QUrl startUrl = addressOf(start);
    if (!startUrl.isValid() || startUrl.isEmpty()) {
        say(QStringLiteral("\"%1\" is not an address").arg(start));
        return kBadInput;
    }
    if (!m_o.ignoreRobots && !robotsUrlOf(startUrl).isEmpty()) {
        const RobotsAnswer& robots = robotsFor(startUrl);
        if (!robots.noAnswer.isEmpty()) {
            say(QStringLiteral("the start address %1 does not answer: %2")
                    .arg(startUrl.toString(), robots.noAnswer));
            return kBadInput;
        }
        if (!robots.rules.allowed(startUrl)) {
            say(QStringLiteral("the start address %1 is disallowed by robots.txt")
                    .arg(startUrl.toString()));
            return kBadInput;
        }
    }

    journalNote(m_journal.runAt(startUrl.toString()));
    m_clock.start();
    m_service.navigate(capture::runtext::kBlank);
    m_assist.navigate(capture::runtext::kBlank);
    m_main.navigate(startUrl.toString());
    if (!waitLoaded(m_main) || !waitLoaded(m_service) || !waitLoaded(m_assist)) {
        m_interrupted = true;
        return finish(kInterrupted);
    }
    if (m_main.state() == PageBrowser::State::Failed) {
        say(QStringLiteral("the start address %1 does not answer").arg(startUrl.toString()));
        return kBadInput;
    }
    if (m_main.state() == PageBrowser::State::TimedOut) {
        say(QStringLiteral("the start address %1 did not finish loading within %2 s")
                .arg(startUrl.toString())
                .arg(m_o.timeoutMs / 1000.0));
        return kBadInput;
    }

    // Interrupts reach the run through its own stop: it ends after the current page.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [this] {
        if (g_interrupt && !m_interrupted) {
            m_interrupted = true;
            stopRun();
        }
    });
    watch.start(50);

    controller.setAutoTurn(true);
    controller.setPauseSeconds(0); // the pause is ours: --delay and Crawl-delay
    controller.capture();          // returns when the run has ended
    watch.stop();
    pageDone();
    m_interrupted = m_interrupted || g_interrupt;

    int code = kCompleted;
    if (m_interrupted)
        code = kInterrupted;
    else if (!m_failure.isEmpty())
        code = kFailedPartWay;
    return finish(code);
}

namespace {

QString nextText(const declarative::Next& n) {
    const QString selector =
        (n.selector.xpath ? QStringLiteral("xpath:") : QString()) + n.selector.text;
    switch (n.kind) {
    case declarative::NextKind::Link:
        return QStringLiteral("the link %1").arg(selector);
    case declarative::NextKind::Click:
        return QStringLiteral("clicking %1").arg(selector);
    case declarative::NextKind::Scroll:
        return QStringLiteral("scrolling");
    case declarative::NextKind::Url:
        return n.url;
    case declarative::NextKind::None:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

// Reads the start page, finds its listings and writes them as a template file, which the
// run then uses like any other. kCompleted, or the exit code of the refusal (said why).
int Run::detectTemplate() {
    const QUrl url = addressOf(m_o.startUrl);
    if (!url.isValid() || url.isEmpty()) {
        say(QStringLiteral("\"%1\" is not an address").arg(m_o.startUrl));
        return kBadInput;
    }
    if (!m_o.ignoreRobots && !robotsUrlOf(url).isEmpty()) {
        const RobotsAnswer& robots = robotsFor(url);
        if (!robots.noAnswer.isEmpty()) {
            say(QStringLiteral("the start address %1 does not answer: %2")
                    .arg(url.toString(), robots.noAnswer));
            return kBadInput;
        }
        if (!robots.rules.allowed(url)) {
            say(QStringLiteral("the start address %1 is disallowed by robots.txt")
                    .arg(url.toString()));
            return kBadInput;
        }
    }
    m_main.navigate(url.toString());
    if (!waitLoaded(m_main)) {
        say(QStringLiteral("interrupted while reading %1").arg(url.toString()));
        return kInterrupted;
    }
    if (m_main.state() == PageBrowser::State::Failed) {
        say(QStringLiteral("the start address %1 does not answer").arg(url.toString()));
        return kBadInput;
    }
    if (m_main.state() == PageBrowser::State::TimedOut) {
        say(QStringLiteral("the start address %1 did not finish loading within %2 s")
                .arg(url.toString())
                .arg(m_o.timeoutMs / 1000.0));
        return kBadInput;
    }
    const detect::PageDetection page = detect::detectInPage(
        [this](const QString& script) { return m_main.runScript(script); });
    const detect::Detection& found = page.detection;
    if (!found.proposal) {
        say(QStringLiteral("%1 on %2").arg(found.message, url.toString()));
        return kBadInput;
    }
    const QString file = m_o.saveTemplate.isEmpty()
                             ? m_detected.filePath(QStringLiteral("detected.orp.json"))
                             : m_o.saveTemplate;
    QFile out(file);
    const QByteArray json = detect::templateJson(*found.proposal);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(json) != json.size() ||
        !out.flush()) {
        say(QStringLiteral("cannot write the template %1: %2").arg(file, out.errorString()));
        return kBadInput;
    }
    out.close();
    if (m_o.progress != ProgressMode::None) {
        QStringList names;
        for (const declarative::Column& c : found.proposal->columns)
            names.append(c.name);
        say(QStringLiteral("detected %1 records of %2 (%3), next page: %4; %5 ms to read the "
                           "page, %6 ms to detect%7")
                .arg(found.records.size())
                .arg(found.proposal->records.text, names.join(QStringLiteral(", ")),
                     nextText(found.proposal->next))
                .arg(page.readMs)
                .arg(page.detectMs)
                .arg(page.truncated ? QStringLiteral(" (only the page's first elements)")
                                    : QString()));
    }
    m_o.templatePath = file;
    return kCompleted;
}

// A copy of the declarative template the run uses; a compiled one has no text to write.
int Run::saveTemplate() {
    QFile in(m_o.templatePath);
    if (!in.open(QIODevice::ReadOnly) || !declarative::LooksLikeJson(in.peek(64))) {
        say(QStringLiteral("--save-template: %1 is a compiled template, which cannot be saved "
                           "as a file of its own")
                .arg(m_o.templatePath));
        return kBadInput;
    }
    const QByteArray bytes = in.readAll();
    QFile out(m_o.saveTemplate);
    if (QFileInfo(m_o.saveTemplate).absoluteFilePath() == QFileInfo(in).absoluteFilePath())
        return kCompleted;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() ||
        !out.flush()) {
        say(QStringLiteral("cannot write the template %1: %2")
                .arg(m_o.saveTemplate, out.errorString()));
        return kBadInput;
    }
    return kCompleted;
}

int Run::finish(int code) {
    if (m_o.progress == ProgressMode::Bar && m_reportedPages > 0)
        std::fputc('\n', stderr);
    if (m_o.dedupe && m_controller)
        m_controller->deleteDuplicates();

    const capture::TGridModel& grid = m_controller->grid();
    const exporter::GridModelSource source(grid);
    exporter::SaveOptions save;
    save.separator = m_o.separator;
    save.sourceColumns = m_o.sourceColumns;
    bool written = false;
    if (grid.rows() > 0) {
        exporter::ExportStatus status;
        if (m_o.output == u"-") {
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("out.csv"));
            status = dir.isValid() ? exporter::SaveGrid(source, exporter::FileType::Csv, file, save)
                                   : exporter::ExportStatus::failure(
                                         exporter::ExportError::OpenFailed, dir.errorString());
            QFile in(file);
            if (status.ok() && in.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = in.readAll();
                written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()),
                                      stdout) == static_cast<size_t>(bytes.size()) &&
                          std::fflush(stdout) == 0;
            }
        } else {
            status =
                exporter::SaveGrid(source, *exporter::FileTypeOfName(m_o.output), m_o.output, save);
            written = status.ok();
        }
        if (!written) {
            say(QStringLiteral("cannot write %1: %2").arg(m_o.output, status.message));
            return kFailedPartWay;
        }
    }

    const PageReport r{m_pages, grid.rows(), m_clock.isValid() ? m_clock.elapsed() / 1000.0 : 0,
                       m_pageUrl};
    if (code == kFailedPartWay)
        say(grid.rows() > 0 ? m_failure + QStringLiteral("; the rows so far are written")
                            : m_failure);
    else if (!m_ending.isEmpty())
        say(m_ending);
    if (code == kCompleted && m_journal.isOpen())
        journalNote(m_journal.runCompleted());
    if (code == kInterrupted || code == kFailedPartWay) {
        QStringList again = m_arguments;
        if (!m_o.resume)
            again.append(QStringLiteral("--resume"));
        for (QString& a : again)
            a = shellQuoted(a);
        say(QStringLiteral("%1; to go on from where it stopped: trawlex-batch %2")
                .arg(code == kInterrupted ? QStringLiteral("interrupted")
                                          : QStringLiteral("failed"),
                     again.join(u' ')));
    }
    if (!written && grid.rows() == 0)
        say(QStringLiteral("no rows captured: %1 not written").arg(m_o.output));
    if (m_o.progress != ProgressMode::None)
        say(summaryLine(r, m_o.output));
    return code;
}

} // namespace

void requestInterrupt() {
    g_interrupt = 1;
}

int runBatch(const Options& options, const QStringList& arguments) {
    Run run(options, arguments);
    return run.exec();
}

} // namespace batch
