// trawlex-batch as users run it: the built program as a process, no display, the real
// engine, loopback only. The demo site into every file type read back, bad input as exit
// codes with one line each, SIGTERM and --resume losing nothing, robots.txt.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include "tests/support/InPagePages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

namespace {

constexpr int kDemoListings = 112; // 120 entries over 6 pages, 8 of them repeated
const QString kBin = QStringLiteral(TRAWLEX_PROGRAM_DIR);

QString program() {
    return kBin + QStringLiteral("/trawlex-batch");
}
QString declarativeTemplate() {
    return kBin + QStringLiteral("/us_demo_directory.orp.json");
}
QString demoPage(int n) {
    return kBin + QStringLiteral("/demo/results-%1.html").arg(n);
}

struct Outcome {
    int code = -1;
    QByteArray out;
    QString err;
    // The program's own lines on stderr, apart from the note about running as root (the
    // engine's helper processes may add lines of their own).
    QStringList lines() const {
        QStringList result;
        for (const QString& l : err.split(u'\n', Qt::SkipEmptyParts))
            if ((l.startsWith(QStringLiteral("trawlex-batch: ")) || l.startsWith(u'{')) &&
                !l.contains(QStringLiteral("sandbox is off")))
                result.append(l);
        return result;
    }
};

class BatchE2E : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString& name) const { return dir.filePath(name); }

    // Runs the program with no display of any kind, its journals in the test's folder.
    // `during` is called once stderr has shown `waitFor` (for signals).
    Outcome run(const QStringList& args, const QString& waitFor = {},
                const std::function<void(QProcess&)>& during = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--disable-gpu --disable-background-networking "
                                  "--disable-component-update --no-first-run "
                                  "--proxy-server=127.0.0.1:9"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(program(), args);
        EXPECT_TRUE(p.waitForStarted(10000));
        Outcome o;
        if (during) {
            QElapsedTimer t;
            t.start();
            while (!o.err.contains(waitFor) && t.elapsed() < 60000 &&
                   p.state() == QProcess::Running) {
                p.waitForReadyRead(200);
                o.err += QString::fromUtf8(p.readAllStandardError());
            }
            during(p);
        }
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "trawlex-batch hung: " << args.join(u' ').toStdString();
        }
        o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        o.out = p.readAllStandardOutput();
        o.err += QString::fromUtf8(p.readAllStandardError());
        return o;
    }

    QTemporaryDir dir;
};

QByteArray readAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The rows of a CSV the window would write, checked against its byte rules: BOM, every
// line ended by CR LF, every field quoted. Header first.
QList<QStringList> csvRows(const QByteArray& bytes) {
    QList<QStringList> rows;
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    EXPECT_EQ(text.count(u'\n'), text.count(QStringLiteral("\r\n")));
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.startsWith(u'"') && line.endsWith(u'"')) << line.toStdString();
        rows.append(line.mid(1, line.size() - 2).split(QStringLiteral("\",\"")));
    }
    return rows;
}

QSet<QString> joined(const QList<QStringList>& rows) {
    QSet<QString> set;
    for (qsizetype i = 1; i < rows.size(); ++i)
        set.insert(rows[i].join(u'|'));
    return set;
}

// A loopback web server over a folder (Debian's Python, as a user would start one).
class LoopbackSite {
public:
    explicit LoopbackSite(const QString& root) {
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                        QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--directory"), root});
        QString text;
        static const QRegularExpression port(QStringLiteral("port (\\d+)"));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000 && !port.match(text).hasMatch() &&
               m_server.state() != QProcess::NotRunning) {
            m_server.waitForReadyRead(200);
            text += QString::fromUtf8(m_server.readAll());
        }
        m_port = port.match(text).captured(1).toInt();
    }
    ~LoopbackSite() {
        m_server.kill();
        m_server.waitForFinished();
    }
    QString url(const QString& rel) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(rel);
    }
    bool ok() const { return m_port > 0; }

private:
    QProcess m_server;
    int m_port = 0;
};

// A copy of the demo site with a robots.txt of the test's.
QString demoSiteWithRobots(const QTemporaryDir& dir, const QByteArray& robots) {
    QString root = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(root);
    for (const QString& name : QDir(kBin + QStringLiteral("/demo")).entryList(QDir::Files))
        QFile::copy(kBin + QStringLiteral("/demo/") + name, root + u'/' + name);
    QFile f(root + QStringLiteral("/robots.txt"));
    f.open(QIODevice::WriteOnly);
    f.write(robots);
    return root;
}

TEST_F(BatchE2E, LinksNoWidgetLibrary) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {program()});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QString libs = QString::fromUtf8(ldd.readAllStandardOutput());
    EXPECT_TRUE(libs.contains(QStringLiteral("libQt6WebEngineCore"))) << libs.toStdString();
    for (const char* lib : {"libQt6Widgets", "libQt6WebEngineWidgets", "libQt6QuickWidgets"})
        EXPECT_FALSE(libs.contains(QString::fromLatin1(lib))) << lib;
}

TEST_F(BatchE2E, DemoSiteIntoEveryFileTypeWithoutADisplay) {
    // CSV from both template kinds: the same rows, the window's bytes rules.
    const Outcome csv =
        run({declarativeTemplate(), demoPage(1), QStringLiteral("-o"), QStringLiteral("demo.csv"),
             QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--progress"),
             QStringLiteral("json")});
    ASSERT_EQ(csv.code, 0) << csv.err.toStdString();
    const QList<QStringList> rows = csvRows(readAll(path(QStringLiteral("demo.csv"))));
    ASSERT_EQ(rows.size(), kDemoListings + 1);
    EXPECT_EQ(rows[0], (QStringList{"Name", "Street", "Town", "Telephone", "E-mail"}));
    EXPECT_EQ(joined(rows).size(), kDemoListings);
    // One JSON object per page, then the summary.
    const QStringList lines = csv.lines();
    ASSERT_EQ(lines.size(), 7) << csv.err.toStdString();
    for (int page = 1; page <= 6; ++page) {
        const QJsonObject o = QJsonDocument::fromJson(lines[page - 1].toUtf8()).object();
        EXPECT_EQ(o.value(QStringLiteral("page")).toInt(), page);
        EXPECT_TRUE(o.value(QStringLiteral("url"))
                        .toString()
                        .endsWith(QStringLiteral("results-%1.html").arg(page)));
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines[5].toUtf8()).object().value("rows").toInt(),
              kDemoListings);
    EXPECT_TRUE(lines[6].contains(QStringLiteral("6 pages, 112 rows"))) << lines[6].toStdString();

    const Outcome compiled =
        run({kBin + QStringLiteral("/us_demo_directory.orp"), demoPage(1), QStringLiteral("-o"),
             QStringLiteral("-"), QStringLiteral("--delay"), QStringLiteral("0")});
    ASSERT_EQ(compiled.code, 0) << compiled.err.toStdString();
    EXPECT_EQ(joined(csvRows(compiled.out)), joined(rows));

    // The other types, each read back by a reader of its own.
    const Outcome xlsx =
        run({declarativeTemplate(), demoPage(1), QStringLiteral("-o"), QStringLiteral("demo.xlsx"),
             QStringLiteral("--delay=0"), QStringLiteral("--source-columns")});
    ASSERT_EQ(xlsx.code, 0) << xlsx.err.toStdString();
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import openpyxl,sys\n"
                             "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                             "rows=list(ws.iter_rows(values_only=True))\n"
                             "print(len(rows)); print('|'.join(str(c) for c in rows[0]))\n"
                             "print(sum(1 for r in rows[1:] if str(r[5]).endswith('.html')))"),
              path(QStringLiteral("demo.xlsx"))});
    ASSERT_TRUE(py.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
              (QStringList{"113", "Name|Street|Town|Telephone|E-mail|Source|Captured", "112"}))
        << py.readAllStandardError().toStdString();

    const Outcome jsonl =
        run({declarativeTemplate(), demoPage(1), QStringLiteral("--output"),
             QStringLiteral("demo.jsonl"), QStringLiteral("--delay"), QStringLiteral("0")});
    ASSERT_EQ(jsonl.code, 0) << jsonl.err.toStdString();
    const QList<QByteArray> objects = readAll(path(QStringLiteral("demo.jsonl"))).split('\n');
    QSet<QString> fromJson;
    for (const QByteArray& line : objects) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        fromJson.insert(o.value(QStringLiteral("Name")).toString());
    }
    EXPECT_EQ(fromJson.size(), [&] {
        QSet<QString> names;
        for (qsizetype i = 1; i < rows.size(); ++i)
            names.insert(rows[i][0]);
        return names.size();
    }());
}

// The command as the README gives it: the source tree's template, no start address. Its
// home page (beside the template in the program folder only) is the demo's start page,
// whose link leads to the results.
TEST_F(BatchE2E, HomePageOfTheSourceTreesTemplate) {
    const Outcome o =
        run({QStringLiteral(TRAWLEX_SOURCE_DIR "/templates/us_demo_directory.orp.json"), "-o",
             "demo.csv", "--delay", "0", "--progress", "json"});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(csvRows(readAll(path(QStringLiteral("demo.csv")))).size(), kDemoListings + 1);
    ASSERT_FALSE(o.lines().isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(o.lines().first().toUtf8()).object().value("url").toString(),
              QUrl::fromLocalFile(kBin + QStringLiteral("/demo/index.html")).toString());
}

// Templates that turn their pages inside the page: the run clicks and scrolls as the
// window does and takes every listing once, to the end of the page.
TEST_F(BatchE2E, InPageTurnsClickAndScrollToTheEnd) {
    const struct {
        const char* kind;
        const char* next;
        const char* press; // empty: the endless page
        int rows;
    } cases[] = {
        {"click", R"({"click": "#more"})", kAddTenUntilForty, 40},
        {"scroll", R"({"scroll": true, "max": 3})", "", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const QString page = path(QString::fromLatin1(c.kind) + QStringLiteral(".html"));
        QFile html(page);
        ASSERT_TRUE(html.open(QIODevice::WriteOnly));
        html.write(*c.press ? loadMorePage(QString::fromLatin1(c.press)) : kEndlessPage);
        html.close();
        const QString tpl = path(QString::fromLatin1(c.kind) + QStringLiteral(".orp.json"));
        QFile t(tpl);
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write(QStringLiteral(R"({"trawlex": 1, "name": "IN-PAGE", "home": "%1",
            "records": "li.item", "columns": [{"name": "Name", "select": ".n"}], "next": %2})")
                    .arg(QUrl::fromLocalFile(page).toString(), QString::fromLatin1(c.next))
                    .toUtf8());
        t.close();
        const QString out = QString::fromLatin1(c.kind) + QStringLiteral(".csv");
        const Outcome o = run({tpl, "-o", out, "--delay", "0"});
        ASSERT_EQ(o.code, 0) << o.err.toStdString();
        const QList<QStringList> rows = csvRows(readAll(path(out)));
        ASSERT_EQ(rows.size(), c.rows + 1);
        QSet<QString> expected;
        for (int i = 0; i < c.rows; ++i)
            expected.insert(QStringLiteral("Listing %1").arg(i));
        EXPECT_EQ(joined(rows), expected);
    }
}

TEST_F(BatchE2E, BadInputEndsWithOneLineAndItsCode) {
    QFile notTemplate(path(QStringLiteral("not-a-template.orp")));
    ASSERT_TRUE(notTemplate.open(QIODevice::WriteOnly));
    notTemplate.write("this is no template\n");
    notTemplate.close();
    QDir(dir.path()).mkdir(QStringLiteral("folder.csv"));
    // An address that refuses connections, and one that accepts and never answers.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 closedPort = closed.serverPort();
    closed.close();
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString silentUrl = QStringLiteral("http://127.0.0.1:%1/x.html").arg(silent.serverPort());

    const QString t = declarativeTemplate();
    const struct {
        QStringList args;
        int code;
        const char* says;
    } cases[] = {
        {{}, 2, "no template"},
        {{t}, 2, "no output"},
        {{t, "-o", "o.csv", "--bogus"}, 2, "unknown option --bogus"},
        {{"missing.orp.json", "-o", "o.csv"}, 2, "cannot read the template missing.orp.json"},
        {{"not-a-template.orp", "-o", "o.csv"}, 2, "cannot load the template"},
        {{t, "-o", "folder.csv"}, 2, "is a folder"},
        {{t, "-o", "/proc/o.csv"}, 2, "cannot be written"},
        {{t, "-o", "nowhere/o.csv"}, 2, "does not exist"},
        {{t, "-o", "o.txt"}, 2, "file type"},
        {{t, QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), "-o", "o.csv"},
         2,
         "does not answer"},
        {{t, QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), "-o", "o.csv",
          "--ignore-robots"},
         2,
         "does not answer"},
        {{t, silentUrl, "-o", "o.csv", "--ignore-robots", "--timeout", "2"},
         2,
         "did not finish loading within 2 s"},
    };
    for (const auto& c : cases) {
        QElapsedTimer clock;
        clock.start();
        const Outcome o = run(c.args);
        const std::string what = c.args.join(u' ').toStdString();
        EXPECT_EQ(o.code, c.code) << what << "\n" << o.err.toStdString();
        const QStringList lines = o.lines();
        ASSERT_EQ(lines.size(), 1) << what << "\n" << o.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("trawlex-batch: "))) << what;
        EXPECT_TRUE(lines[0].contains(QString::fromUtf8(c.says))) << what << "\n"
                                                                  << lines[0].toStdString();
        EXPECT_LT(clock.elapsed(), 30000) << what;
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("o.csv")))) << what;
    }
}

TEST_F(BatchE2E, SigtermWritesTheRowsSoFarAndResumeCompletesThem) {
    const QString out = QStringLiteral("demo.csv");
    // A slow run, stopped once its first page has been reported.
    const Outcome stopped =
        run({declarativeTemplate(), demoPage(1), "-o", out, "--delay", "3", "--progress", "json"},
            QStringLiteral("\"page\":1"),
            [](QProcess& p) { ::kill(static_cast<pid_t>(p.processId()), SIGTERM); });
    ASSERT_EQ(stopped.code, 130) << stopped.err.toStdString();
    const QList<QStringList> first = csvRows(readAll(path(out)));
    EXPECT_EQ(first.size(), 21); // page 1's 20 listings and the header
    EXPECT_TRUE(stopped.err.contains(QStringLiteral("--resume"))) << stopped.err.toStdString();

    const Outcome resumed = run({declarativeTemplate(), demoPage(1), "-o", out, "--delay", "0",
                                 "--resume", "--progress", "json"});
    ASSERT_EQ(resumed.code, 0) << resumed.err.toStdString();
    const QList<QStringList> all = csvRows(readAll(path(out)));
    EXPECT_EQ(all.size(), kDemoListings + 1);
    EXPECT_TRUE(joined(all).contains(joined(first)));
    // It went on from page 2: page 1 was not loaded again.
    EXPECT_FALSE(resumed.err.contains(QStringLiteral("results-1.html")))
        << resumed.err.toStdString();

    // Nothing left to resume now.
    const Outcome again = run({declarativeTemplate(), "-o", out, "--resume"});
    EXPECT_EQ(again.code, 2);
    EXPECT_TRUE(again.err.contains(QStringLiteral("nothing to resume")));
}

// Failures after the first page: exit code 3, the failure on one line, the rows of the
// pages before written, and the way to go on.
TEST_F(BatchE2E, FailurePartWayWritesTheRowsSoFar) {
    // The demo's first page, its next link to a server that accepts and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QByteArray page = readAll(demoPage(1));
    ASSERT_TRUE(page.contains("href=\"results-2.html\""));
    page.replace("href=\"results-2.html\"",
                 QStringLiteral("href=\"http://127.0.0.1:%1/results-2.html\"")
                     .arg(silent.serverPort())
                     .toUtf8());
    QFile first(path(QStringLiteral("results-1.html")));
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    first.write(page);
    first.close();
    const QString start = path(QStringLiteral("results-1.html"));

    const struct {
        const char* name;
        QStringList args;
        int rows; // in the output, header included; 0: no output at all
        std::string says;
    } cases[] = {
        {"next page never loads",
         {declarativeTemplate(), start, "-o", "o.csv", "--delay", "0", "--timeout", "2",
          "--ignore-robots"},
         21,
         "results-2.html did not finish loading within 2 s"},
        {"next page's host gives no robots.txt",
         {declarativeTemplate(), start, "-o", "o.csv", "--delay", "0", "--timeout", "2"},
         21,
         "the host of the next page"},
        {"template throws on page 2",
         {QStringLiteral(TRAWLEX_FIXTURES_DIR "/data_throws_on_page_2.orp"), demoPage(1), "-o",
          "o.csv", "--delay", "0"},
         3,
         "the template failed on " + QUrl::fromLocalFile(demoPage(1)).toString().toStdString() +
             "?page=2: fixture GetData fails on call 2"},
        {"template throws on page 1",
         {QStringLiteral(TRAWLEX_FIXTURES_DIR "/data_throws.orp"), demoPage(1), "-o", "o.csv"},
         0,
         "the template failed on " + QUrl::fromLocalFile(demoPage(1)).toString().toStdString() +
             ": fixture GetData fails"},
    };
    for (const auto& c : cases) {
        QFile::remove(path(QStringLiteral("o.csv")));
        QElapsedTimer clock;
        clock.start();
        const Outcome o = run(c.args);
        EXPECT_EQ(o.code, 3) << c.name << "\n" << o.err.toStdString();
        EXPECT_LT(clock.elapsed(), 60000) << c.name;
        if (c.rows > 0) {
            EXPECT_EQ(csvRows(readAll(path(QStringLiteral("o.csv")))).size(), c.rows) << c.name;
        } else {
            EXPECT_FALSE(QFile::exists(path(QStringLiteral("o.csv")))) << c.name;
        }
        const QStringList lines = o.lines();
        ASSERT_EQ(lines.size(), c.rows > 0 ? 2 : 3) << c.name << "\n" << o.err.toStdString();
        EXPECT_TRUE(lines[0].contains(QString::fromStdString(c.says))) << c.name << "\n"
                                                                       << lines[0].toStdString();
        EXPECT_EQ(lines[0].endsWith(QStringLiteral("the rows so far are written")), c.rows > 0)
            << c.name;
        EXPECT_TRUE(lines[1].contains(QStringLiteral("--resume"))) << lines[1].toStdString();
        if (c.rows == 0) {
            EXPECT_TRUE(lines[2].contains(QStringLiteral("no rows captured"))) << c.name;
        }
    }
}

TEST_F(BatchE2E, RobotsTxtIsObeyedUnlessIgnored) {
    const QString root =
        demoSiteWithRobots(dir, "User-agent: *\nDisallow: /results-3.html\nDisallow: /results-5\n\n"
                                "User-agent: trawlex\nDisallow: /results-3.html\n");
    LoopbackSite site(root);
    ASSERT_TRUE(site.ok());

    // Our own group: pages 1 and 2, then the disallowed page 3 ends the run.
    const Outcome two = run({declarativeTemplate(), site.url("results-1.html"), "-o", "r.csv",
                             "--delay", "0", "--progress", "json"});
    ASSERT_EQ(two.code, 0) << two.err.toStdString();
    EXPECT_EQ(csvRows(readAll(path("r.csv"))).size(), 39 + 1);
    EXPECT_TRUE(two.err.contains(QStringLiteral("disallowed by robots.txt")));

    const Outcome refused =
        run({declarativeTemplate(), site.url("results-3.html"), "-o", "refused.csv"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.lines().size(), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("is disallowed by robots.txt")));
    EXPECT_FALSE(QFile::exists(path("refused.csv")));

    const Outcome ignored = run({declarativeTemplate(), site.url("results-1.html"), "-o", "all.csv",
                                 "--delay", "0", "--ignore-robots"});
    ASSERT_EQ(ignored.code, 0) << ignored.err.toStdString();
    EXPECT_EQ(csvRows(readAll(path("all.csv"))).size(), kDemoListings + 1);
}

TEST_F(BatchE2E, PagesOptionAndCrawlDelay) {
    const QString root = demoSiteWithRobots(dir, "User-agent: *\nCrawl-delay: 1\n");
    LoopbackSite site(root);
    ASSERT_TRUE(site.ok());
    QElapsedTimer clock;
    clock.start();
    const Outcome o = run({declarativeTemplate(), site.url("results-1.html"), "-o", "p.csv",
                           "--delay", "0", "--pages", "3"});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(csvRows(readAll(path("p.csv"))).size(), 58 + 1);
    // Two turns, each waiting for the Crawl-delay instead of --delay 0.
    EXPECT_GE(clock.elapsed(), 2000);
}

// With --delay 0 a page costs its load and its reading, nothing else: a wait that sleeps
// while the engine works on this thread used to add about 0.4 s to every page, whatever
// its size. Small pages, so that the bound holds on a busy machine too.
TEST_F(BatchE2E, DelayZeroAddsNoWaitOfItsOwn) {
    constexpr int kPages = 12;
    for (int p = 1; p <= kPages; ++p) {
        QFile f(path(QStringLiteral("p%1.html").arg(p)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray html = "<!DOCTYPE html><html><body><ol>";
        for (int i = 0; i < 2; ++i)
            html += QStringLiteral("<li class=\"listing\"><h3 class=\"name\">Shop %1-%2</h3>"
                                   "<p class=\"street\">%2 Main St</p><p class=\"town\">Town</p>"
                                   "<p class=\"phone\">555-%1%2</p></li>")
                        .arg(p)
                        .arg(i)
                        .toUtf8();
        html += "</ol>";
        if (p < kPages)
            html +=
                QStringLiteral("<a rel=\"next\" href=\"p%1.html\">next</a>").arg(p + 1).toUtf8();
        f.write(html + "</body></html>");
    }
    const Outcome o = run({declarativeTemplate(), path(QStringLiteral("p1.html")), "-o", "p.csv",
                           "--delay", "0", "--progress", "json"});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(csvRows(readAll(path(QStringLiteral("p.csv")))).size(), 2 * kPages + 1);
    QList<double> seconds;
    for (const QString& line : o.lines())
        if (line.startsWith(u'{'))
            seconds.append(QJsonDocument::fromJson(line.toUtf8())
                               .object()
                               .value(QStringLiteral("seconds"))
                               .toDouble());
    ASSERT_EQ(seconds.size(), kPages) << o.err.toStdString();
    // From the first page's report to the last: the turns alone.
    EXPECT_LT((seconds.last() - seconds.first()) / (kPages - 1), 0.2) << o.err.toStdString();
}

// --extras: each listing's detail page is read for its e-mail address, through the
// template's own browser. Every address of the demo's detail pages arrives, and a detail
// page costs no wait of its own either (sleeping waits made this run take 37 s).
TEST_F(BatchE2E, ExtrasReadEveryDetailPage) {
    QSet<QString> expected;
    static const QRegularExpression mailto(QStringLiteral("href=\"mailto:([^\"]+)\""));
    for (const QString& name : QDir(kBin + QStringLiteral("/demo"))
                                   .entryList({QStringLiteral("listing-*.html")}, QDir::Files)) {
        const QString html = QString::fromUtf8(readAll(kBin + QStringLiteral("/demo/") + name));
        for (auto m = mailto.globalMatch(html); m.hasNext();)
            expected.insert(m.next().captured(1));
    }
    ASSERT_GT(expected.size(), 50);

    QElapsedTimer clock;
    clock.start();
    const Outcome o =
        run({declarativeTemplate(), demoPage(1), "-o", "x.csv", "--delay", "0", "--extras"});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_LT(clock.elapsed(), 20000);
    const QList<QStringList> rows = csvRows(readAll(path(QStringLiteral("x.csv"))));
    ASSERT_EQ(rows.size(), kDemoListings + 1);
    // A listing without an address has the template's no-value mark, a no-break space.
    QSet<QString> got;
    for (qsizetype i = 1; i < rows.size(); ++i)
        if (rows[i].value(4) != QStringView(u"\u00A0"))
            got.insert(rows[i].value(4));
    const QSet<QString> missing = QSet<QString>(expected).subtract(got);
    const QSet<QString> extra = QSet<QString>(got).subtract(expected);
    EXPECT_TRUE(missing.isEmpty())
        << QStringList(missing.begin(), missing.end()).join(u' ').toStdString();
    EXPECT_TRUE(extra.isEmpty())
        << QStringList(extra.begin(), extra.end()).join(u' ').toStdString();
}

// The README's GNU parallel example over two loopback sites, one job per site.
TEST_F(BatchE2E, SitesInParallelWithGnuParallel) {
    const QString root = demoSiteWithRobots(dir, "User-agent: *\nAllow: /\n");
    LoopbackSite one(root);
    LoopbackSite two(root);
    ASSERT_TRUE(one.ok() && two.ok());
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    QFile sites(path(QStringLiteral("sites.txt")));
    ASSERT_TRUE(sites.open(QIODevice::WriteOnly));
    sites.write(QStringLiteral("one %1\ntwo %2\n")
                    .arg(one.url("results-1.html"), two.url("results-1.html"))
                    .toUtf8());
    sites.close();

    QProcess parallel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
    env.insert(QStringLiteral("HOME"), dir.path()); // parallel keeps its notes there
    parallel.setProcessEnvironment(env);
    parallel.setWorkingDirectory(dir.path());
    parallel.start(QStringLiteral("parallel"),
                   {"--colsep", " ", "-j", "2", "--joblog", "jobs.log", program(),
                    declarativeTemplate(), "{2}", "-o", "out/{1}.csv", "--progress", "none",
                    "--delay", "0", "::::", "sites.txt"});
    ASSERT_TRUE(parallel.waitForFinished(240000));
    EXPECT_EQ(parallel.exitCode(), 0) << parallel.readAllStandardError().toStdString();
    EXPECT_EQ(csvRows(readAll(path("out/one.csv"))).size(), kDemoListings + 1);
    EXPECT_EQ(csvRows(readAll(path("out/two.csv"))).size(), kDemoListings + 1);
    const QStringList log =
        QString::fromUtf8(readAll(path("jobs.log"))).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(log.size(), 3) << log.join(u'\n').toStdString(); // header and two jobs
}

// The systemd unit as systemd would run it: its ExecStart with the example's settings,
// and the unit pair accepted by systemd's own checker.
TEST_F(BatchE2E, SystemdUnitRunsTheConfiguredJob) {
    const QString root = demoSiteWithRobots(dir, "User-agent: *\nAllow: /\n");
    LoopbackSite site(root);
    ASSERT_TRUE(site.ok());
    const QString unit = QString::fromUtf8(
        readAll(QStringLiteral(TRAWLEX_SOURCE_DIR "/contrib/trawlex-batch@.service")));
    static const QRegularExpression exec(QStringLiteral("^ExecStart=(.*)$"),
                                         QRegularExpression::MultilineOption);
    const QString command = exec.match(unit).captured(1);
    ASSERT_FALSE(command.isEmpty());

    // ${NAME} is one word, $NAME is split into words, as systemd does.
    const QHash<QString, QString> conf{{"TEMPLATE", declarativeTemplate()},
                                       {"START_URL", site.url("results-1.html")},
                                       {"OUTPUT", path("nightly.csv")},
                                       {"OPTIONS", "--delay 0 --dedupe --source-columns"}};
    QStringList words;
    for (const QString& word : command.split(u' ', Qt::SkipEmptyParts)) {
        if (word.startsWith(QStringLiteral("${")))
            words.append(conf.value(word.mid(2, word.size() - 3)));
        else if (word.startsWith(u'$'))
            words.append(conf.value(word.mid(1)).split(u' '));
        else
            words.append(word);
    }
    ASSERT_EQ(words.takeFirst(), QStringLiteral("/opt/trawlex/trawlex-batch"));
    const Outcome o = run(words);
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    const QList<QStringList> rows = csvRows(readAll(path("nightly.csv")));
    ASSERT_EQ(rows.size(), kDemoListings + 1);
    EXPECT_EQ(rows[0].mid(5), (QStringList{"Source", "Captured"}));

    // systemd's checker on the pair, the program where the unit expects it replaced by
    // the built one.
    QDir().mkpath(path("units"));
    QFile service(path("units/trawlex-batch@demo.service"));
    ASSERT_TRUE(service.open(QIODevice::WriteOnly));
    service.write(
        QString(unit).replace(QStringLiteral("/opt/trawlex/trawlex-batch"), program()).toUtf8());
    service.close();
    QFile::copy(QStringLiteral(TRAWLEX_SOURCE_DIR "/contrib/trawlex-batch@.timer"),
                path("units/trawlex-batch@demo.timer"));
    QProcess verify;
    verify.start(QStringLiteral("systemd-analyze"),
                 {"verify", "--man=no", path("units/trawlex-batch@demo.service"),
                  path("units/trawlex-batch@demo.timer")});
    if (!verify.waitForStarted(5000))
        GTEST_SKIP() << "systemd-analyze is not installed";
    ASSERT_TRUE(verify.waitForFinished(60000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().toStdString();
}

} // namespace
