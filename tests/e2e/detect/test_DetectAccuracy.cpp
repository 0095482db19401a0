// Detection measured: every page of the accuracy set through `trawlex-batch --detect` on
// the real engine, its rows against the records written beside the page. Records found
// (precision and recall), fields in the right column, the next control, and the time to
// detect a page of a thousand listings.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

const QString kPages = QStringLiteral(DETECT_PAGES_DIR);

struct Outcome {
    int code = -1;
    QString err;
};

Outcome detect(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--disable-gpu --disable-background-networking "
                              "--disable-component-update --no-first-run "
                              "--proxy-server=127.0.0.1:9"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TRAWLEX_PROGRAM_DIR "/trawlex-batch"), args);
    Outcome r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "trawlex-batch hung: " << args.join(u' ').toStdString();
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Rows of the program's CSV (BOM, quoted fields, CR LF), header first.
QList<QStringList> csvRows(const QString& file) {
    QFile f(file);
    QList<QStringList> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QString text = QString::fromUtf8(f.readAll().mid(3));
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        rows.append(line.mid(1, line.size() - 2).split(QStringLiteral("\",\"")));
    return rows;
}

QString digits(const QString& s) {
    QString d;
    for (const QChar c : s)
        if (c.isDigit())
            d += c;
    return d;
}

// The value a record's field should show in the grid, against the one it shows.
bool sameField(const QString& column, const QString& want, const QString& got) {
    if (column == u"Phone") {
        // Numbers are normalised; the digits stay, a country code may come in front.
        const QString w = digits(want);
        const QString g = digits(got);
        return !w.isEmpty() && g.endsWith(w);
    }
    return want == got.trimmed();
}

struct Totals {
    int expected = 0;
    int found = 0;
    int right = 0;
    int fields = 0;
    int fieldsRight = 0;
    int pages = 0;
    int nextRight = 0;
};

TEST(DetectAccuracy, TheAccuracySetMeetsItsTargets) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QStringList expects =
        QDir(kPages).entryList({QStringLiteral("*.expect.json")}, QDir::Files, QDir::Name);
    ASSERT_GE(expects.size(), 25);
    Totals t;
    qint64 thousandReadMs = -1;
    qint64 thousandDetectMs = -1;
    for (const QString& name : expects) {
        SCOPED_TRACE(name.toStdString());
        QFile ef(QDir(kPages).filePath(name));
        ASSERT_TRUE(ef.open(QIODevice::ReadOnly));
        const QJsonObject expect = QJsonDocument::fromJson(ef.readAll()).object();
        const QString stem = name.left(name.size() - QStringLiteral(".expect.json").size());
        const QString csv = out.filePath(stem + QStringLiteral(".csv"));
        const QString tpl = out.filePath(stem + QStringLiteral(".orp.json"));
        const Outcome r = detect(
            {QStringLiteral("--detect"), QDir(kPages).filePath(expect.value(u"start").toString()),
             QStringLiteral("-o"), csv, QStringLiteral("--save-template"), tpl,
             QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--progress"),
             QStringLiteral("json"), QStringLiteral("--timeout"), QStringLiteral("30")});
        const QJsonArray records = expect.value(u"records").toArray();
        const QString wantNext = expect.value(u"next").toString();
        ++t.pages;
        t.expected += static_cast<int>(records.size());

        if (records.isEmpty()) {
            // A page without listings is answered so, and nothing is written.
            const bool said = r.code == 2 && r.err.contains(QStringLiteral("no listings found"));
            EXPECT_TRUE(said) << r.err.toStdString();
            const int rows = said ? 0 : std::max<int>(0, static_cast<int>(csvRows(csv).size()) - 1);
            t.found += rows;
            t.nextRight += said ? 1 : 0;
            std::printf("%-22s expected 0, found %d%s\n", qPrintable(stem), rows,
                        said ? " (no listings found)" : "");
            continue;
        }
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        const QList<QStringList> rows = csvRows(csv);
        const QStringList header = rows.isEmpty() ? QStringList() : rows.front();
        QHash<QString, int> byKey;
        for (qsizetype i = 0; i < records.size(); ++i)
            byKey.insert(records[i].toObject().value(u"key").toString(), static_cast<int>(i));
        QSet<int> matched;
        int right = 0;
        for (qsizetype i = 1; i < rows.size(); ++i) {
            int which = -1;
            for (const QString& field : rows[i])
                if (const auto it = byKey.constFind(field.trimmed()); it != byKey.constEnd()) {
                    which = *it;
                    break;
                }
            if (which < 0 || matched.contains(which))
                continue;
            matched.insert(which);
            ++right;
            const QJsonObject rec = records[which].toObject();
            for (auto it = rec.constBegin(); it != rec.constEnd(); ++it) {
                if (it.key() == u"key")
                    continue;
                ++t.fields;
                const qsizetype col = header.indexOf(it.key());
                const bool ok = col >= 0 && col < rows[i].size() &&
                                sameField(it.key(), it.value().toString(), rows[i][col]);
                t.fieldsRight += ok ? 1 : 0;
                if (!ok)
                    std::printf("  %s: %s is not in its column (row: %s)\n", qPrintable(stem),
                                qPrintable(it.value().toString()),
                                qPrintable(rows[i].join(QStringLiteral(" | "))));
            }
        }
        const int found = std::max<int>(0, static_cast<int>(rows.size()) - 1);
        t.found += found;
        t.right += right;

        QFile tf(tpl);
        QString gotNext = QStringLiteral("none");
        if (tf.open(QIODevice::ReadOnly)) {
            const QJsonObject next =
                QJsonDocument::fromJson(tf.readAll()).object().value(u"next").toObject();
            for (const char* kind : {"link", "click", "scroll", "url"})
                if (next.contains(QLatin1String(kind)))
                    gotNext = QLatin1String(kind);
        }
        // Right when it is the kind the page has and the run reached the records after it.
        const QString lastKey = records.last().toObject().value(u"key").toString();
        const bool nextOk = gotNext == wantNext && matched.contains(byKey.value(lastKey));
        t.nextRight += nextOk ? 1 : 0;
        std::printf("%-22s expected %3lld, found %3d, right %3d, next %s (%s)%s\n",
                    qPrintable(stem), static_cast<long long>(records.size()), found, right,
                    qPrintable(gotNext), qPrintable(wantNext), nextOk ? "" : "  <- wrong");

        static const QRegularExpression timing(
            QStringLiteral("(\\d+) ms to read the page, (\\d+) ms to detect"));
        if (stem == u"thousand") {
            const auto m = timing.match(r.err);
            ASSERT_TRUE(m.hasMatch()) << r.err.toStdString();
            thousandReadMs = m.captured(1).toLongLong();
            thousandDetectMs = m.captured(2).toLongLong();
        }
    }
    const double precision = t.found ? double(t.right) / t.found : 1;
    const double recall = t.expected ? double(t.right) / t.expected : 1;
    const double aligned = t.fields ? double(t.fieldsRight) / t.fields : 1;
    const double next = double(t.nextRight) / t.pages;
    std::printf("pages %d; records expected %d, found %d, right %d: precision %.1f%%, recall "
                "%.1f%%; fields in their column %d of %d (%.1f%%); next control right on %d "
                "of %d pages (%.1f%%); 1,000 listings: %lld ms to read the page, %lld ms to "
                "detect\n",
                t.pages, t.expected, t.found, t.right, 100 * precision, 100 * recall, t.fieldsRight,
                t.fields, 100 * aligned, t.nextRight, t.pages, 100 * next,
                static_cast<long long>(thousandReadMs), static_cast<long long>(thousandDetectMs));
    EXPECT_GE(precision, 0.97);
    EXPECT_GE(recall, 0.97);
    EXPECT_GE(aligned, 0.97);
    EXPECT_GE(next, 0.95);
    ASSERT_GE(thousandDetectMs, 0);
    EXPECT_LT(thousandReadMs + thousandDetectMs, 300);
}

// Pages that try to make detection hang or fail: each gets an answer within the time a
// user would wait, as one line, and never a crash.
TEST(DetectAccuracy, HostilePagesGetAnAnswerInTime) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto write = [&](const QString& name, const QByteArray& body) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<!doctype html><html><body>" + body + "</body></html>");
        return f.fileName();
    };
    QByteArray flat;
    for (int i = 0; i < 100000; ++i)
        flat += "<span>" + QByteArray::number(i) + "</span>";
    QByteArray deep = QByteArray("<div>x").repeated(5000) + QByteArray("</div>").repeated(5000);
    // Records in the markup, replaced every millisecond while the page is read.
    QByteArray initial;
    for (int i = 0; i < 300; ++i)
        initial += "<div class=c><b>N" + QByteArray::number(i) + "</b><i>(319) 555-0" +
                   QByteArray::number(100 + i) + "</i></div>";
    QByteArray changing = "<div id=l>" + initial +
                          "</div><script>var l = document.getElementById('l');"
                          "setInterval(function () { l.innerHTML = ''; for (var i = 0; i < 300; "
                          "++i) l.insertAdjacentHTML('beforeend', '<div class=c><b>N' + i + "
                          "'</b><i>(319) 555-0' + (100 + i) + '</i></div>'); }, 1);</script>";
    QByteArray many;
    for (int i = 0; i < 20000; ++i)
        many += "<div class=card><b>Firm " + QByteArray::number(i) + "</b><i>" +
                QByteArray::number(1000 + i) + " Main St</i></div>";
    const struct {
        const char* name;
        QByteArray body;
        bool listings;
    } cases[] = {
        {"flat.html", flat, false},
        {"deep.html", deep, false},
        {"changing.html", changing, true},
        {"many.html", many, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString page = write(QString::fromLatin1(c.name), c.body);
        QElapsedTimer clock;
        clock.start();
        const Outcome r =
            detect({QStringLiteral("--detect"), page, QStringLiteral("-o"),
                    dir.filePath(QStringLiteral("out.csv")), QStringLiteral("--delay"),
                    QStringLiteral("0"), QStringLiteral("--progress"), QStringLiteral("none"),
                    QStringLiteral("--timeout"), QStringLiteral("30")});
        EXPECT_LT(clock.elapsed(), 60000);
        if (c.listings) {
            EXPECT_EQ(r.code, 0) << r.err.toStdString();
        } else {
            EXPECT_EQ(r.code, 2) << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("no listings found"))) << r.err.toStdString();
        }
    }
}

// --save-template with a template: the declarative file the run used, copied as it is; a
// compiled one has no text and is refused before the run, in one line.
TEST(DetectBatch, SaveTemplateKeepsTheDeclarativeTemplateUsed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bin = QStringLiteral(TRAWLEX_PROGRAM_DIR);
    const QString page = bin + QStringLiteral("/demo/results-1.html");
    const QString copy = dir.filePath(QStringLiteral("copy.orp.json"));
    const QStringList common = {QStringLiteral("-o"),
                                dir.filePath(QStringLiteral("out.csv")),
                                QStringLiteral("--pages"),
                                QStringLiteral("1"),
                                QStringLiteral("--delay"),
                                QStringLiteral("0"),
                                QStringLiteral("--progress"),
                                QStringLiteral("none"),
                                QStringLiteral("--save-template"),
                                copy};

    const QString declarative = bin + QStringLiteral("/us_demo_directory.orp.json");
    const Outcome kept = detect(QStringList{declarative, page} + common);
    EXPECT_EQ(kept.code, 0) << kept.err.toStdString();
    QFile source(declarative);
    QFile written(copy);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), source.readAll());
    written.close();
    QFile::remove(copy);

    const Outcome refused =
        detect(QStringList{bin + QStringLiteral("/us_demo_directory.orp"), page} + common);
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("compiled template")))
        << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(copy));
}

} // namespace
