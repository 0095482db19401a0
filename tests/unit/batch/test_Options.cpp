// The batch command line: every option, the defaults, and the errors that must end the
// program with one line before anything starts.
#include "batch/Options.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using batch::parseArguments;
using batch::ProgressMode;

QStringList split(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

TEST(BatchOptions, DefaultsWithTheLeastArguments) {
    const auto parsed = parseArguments(split("t.orp.json -o out.csv"), false);
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const batch::Options& o = *parsed.options;
    EXPECT_EQ(o.templatePath, QStringLiteral("t.orp.json"));
    EXPECT_TRUE(o.startUrl.isEmpty());
    EXPECT_EQ(o.output, QStringLiteral("out.csv"));
    EXPECT_EQ(o.separator, exporter::CsvSeparator::Comma);
    EXPECT_EQ(o.pages, 0);
    EXPECT_EQ(o.delayMs, 1000);
    EXPECT_EQ(o.timeoutMs, 60000);
    EXPECT_EQ(o.progress, ProgressMode::None); // not a terminal
    EXPECT_FALSE(o.extras || o.resume || o.dedupe || o.sourceColumns || o.ignoreRobots);
    EXPECT_EQ(parseArguments(split("t -o o.csv"), true).options->progress, ProgressMode::Bar);
}

TEST(BatchOptions, EveryOptionInBothSpellings) {
    const auto parsed = parseArguments(
        split("--pages 3 t.orp http://x/a --output=o.xlsx --separator tab --delay 0 "
              "--timeout=2.5 --extras --resume --dedupe --source-columns --ignore-robots "
              "--progress=json"),
        true);
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const batch::Options& o = *parsed.options;
    EXPECT_EQ(o.templatePath, QStringLiteral("t.orp"));
    EXPECT_EQ(o.startUrl, QStringLiteral("http://x/a"));
    EXPECT_EQ(o.output, QStringLiteral("o.xlsx"));
    EXPECT_EQ(o.separator, exporter::CsvSeparator::Tab);
    EXPECT_EQ(o.pages, 3);
    EXPECT_EQ(o.delayMs, 0);
    EXPECT_EQ(o.timeoutMs, 2500);
    EXPECT_TRUE(o.extras && o.resume && o.dedupe && o.sourceColumns && o.ignoreRobots);
    EXPECT_EQ(o.progress, ProgressMode::Json);
}

TEST(BatchOptions, StdoutAndSeparators) {
    const struct {
        const char* args;
        exporter::CsvSeparator separator;
    } cases[] = {
        {"t -o - --separator comma", exporter::CsvSeparator::Comma},
        {"t -o - --separator semicolon", exporter::CsvSeparator::Semicolon},
        {"t -o - --separator SEMICOLON", exporter::CsvSeparator::Semicolon},
        {"t -o - --separator=;", exporter::CsvSeparator::Semicolon},
    };
    for (const auto& c : cases) {
        const auto parsed = parseArguments(split(c.args), false);
        ASSERT_TRUE(parsed.options) << c.args;
        EXPECT_EQ(parsed.options->output, QStringLiteral("-")) << c.args;
        EXPECT_EQ(parsed.options->separator, c.separator) << c.args;
    }
}

TEST(BatchOptions, HelpUnlessAnEarlierArgumentIsWrong) {
    const struct {
        const char* args;
        bool help;
    } cases[] = {{"--help", true},
                 {"-h", true},
                 {"t -o o.csv -h", true},
                 {"t --bogus -h", false},
                 {"--pages x --help", false}};
    for (const auto& c : cases) {
        const auto parsed = parseArguments(split(c.args), false);
        EXPECT_EQ(parsed.options && parsed.options->help, c.help) << c.args;
        EXPECT_EQ(parsed.error.isEmpty(), c.help) << c.args;
    }
}

TEST(BatchOptions, BadArgumentsSayWhat) {
    const struct {
        const char* args;
        const char* error; // a part of the one line
    } cases[] = {
        {"", "no template"},
        {"-o out.csv", "no template"},
        {"t", "no output"},
        {"t -o", "-o needs a value"},
        {"t --output=", "--output needs a value"},
        {"t -o o.csv --frobnicate", "unknown option --frobnicate"},
        {"t -o o.csv -x", "unknown option -x"},
        {"t -o o.csv --extras=1", "unknown option --extras"},
        {"t u extra -o o.csv", "unexpected argument \"extra\""},
        {"t -o o.csv --separator pipe", "--separator: \"pipe\""},
        {"t -o o.csv --pages 0", "--pages: \"0\""},
        {"t -o o.csv --pages -2", "--pages: \"-2\""},
        {"t -o o.csv --pages many", "--pages: \"many\""},
        {"t -o o.csv --pages", "--pages needs a value"},
        {"t -o o.csv --delay -1", "--delay: \"-1\""},
        {"t -o o.csv --delay nan", "--delay: \"nan\""},
        {"t -o o.csv --delay inf", "--delay: \"inf\""},
        {"t -o o.csv --delay 1e9", "--delay: \"1e9\""},
        {"t -o o.csv --timeout 0", "--timeout: \"0\""},
        {"t -o o.csv --progress loud", "--progress: \"loud\""},
        {"--detect -o o.csv", "--detect needs the start address"},
        {"--detect http://x/ extra -o o.csv", "unexpected argument \"extra\""},
        {"--detect http://x/", "no output"},
        {"t -o o.csv --save-template", "--save-template needs a value"},
        {"t -o o.csv --detect=yes", "unknown option --detect"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseArguments(split(c.args), false);
        EXPECT_FALSE(parsed.options) << c.args;
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.error)))
            << c.args << " gave: " << parsed.error.toStdString();
        EXPECT_FALSE(parsed.error.contains(u'\n')) << c.args;
    }
}

TEST(BatchOptions, DetectTakesTheStartAddressInPlaceOfATemplate) {
    const auto parsed = parseArguments(
        split("--detect https://list.example/?q=a -o o.csv --save-template found.orp.json"), false);
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const batch::Options& o = *parsed.options;
    EXPECT_TRUE(o.detect);
    EXPECT_TRUE(o.templatePath.isEmpty());
    EXPECT_EQ(o.startUrl, QStringLiteral("https://list.example/?q=a"));
    EXPECT_EQ(o.saveTemplate, QStringLiteral("found.orp.json"));

    const auto plain =
        parseArguments(split("t.orp.json -o o.csv --save-template=copy.orp.json"), false);
    ASSERT_TRUE(plain.options) << plain.error.toStdString();
    EXPECT_FALSE(plain.options->detect);
    EXPECT_EQ(plain.options->templatePath, QStringLiteral("t.orp.json"));
    EXPECT_EQ(plain.options->saveTemplate, QStringLiteral("copy.orp.json"));
}

TEST(BatchOptions, DoubleDashEndsTheOptions) {
    const auto parsed = parseArguments(QStringList{"-o", "o.csv", "--", "-odd-name.orp"}, false);
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options->templatePath, QStringLiteral("-odd-name.orp"));
}

TEST(BatchOutputCheck, RefusesWhatCannotBeWrittenBeforeTheRun) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("sub.csv")));
    EXPECT_EQ(batch::checkOutput(QStringLiteral("-")), QString());
    EXPECT_EQ(batch::checkOutput(folder + QStringLiteral("/fine.xlsx")), QString());
    EXPECT_EQ(batch::checkOutput(folder + QStringLiteral("/FINE.JSONL")), QString());
    EXPECT_TRUE(batch::checkOutput(folder + QStringLiteral("/sub.csv")).contains(u"is a folder"));
    EXPECT_TRUE(batch::checkOutput(folder + QStringLiteral("/x.txt")).contains(u"file type"));
    EXPECT_TRUE(
        batch::checkOutput(folder + QStringLiteral("/none/x.csv")).contains(u"does not exist"));
    // Not even root creates files in /proc.
    EXPECT_TRUE(batch::checkOutput(QStringLiteral("/proc/x.csv")).contains(u"cannot be written"));
    // The probe leaves nothing behind.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

// The resume command printed for the user must give the program back the very same
// arguments: each quoted word goes through a real shell and must come out unchanged.
TEST(BatchShellQuoting, EveryWordSurvivesTheShell) {
    const QStringList words{
        "plain", "--delay=0",   "/tmp/out.csv", "https://example.com/r?q=a&page=2",
        "",      "two words",   "it's",         "say \"hi\"",
        "$HOME", "`id`",        "a;b",          "*.csv",
        "~",     "line\nbreak", "Z\u00fcrich",  "back\\slash",
        "'",     "!x"};
    QStringList quoted;
    for (const QString& w : words)
        quoted.append(batch::shellQuoted(w));
    // Words that need nothing are left as they are.
    EXPECT_EQ(quoted[0], QStringLiteral("plain"));
    EXPECT_EQ(quoted[1], QStringLiteral("--delay=0"));
    EXPECT_EQ(quoted[2], QStringLiteral("/tmp/out.csv"));

    QProcess sh;
    sh.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("for a in %1; do printf '%s\\0' \"$a\"; done").arg(quoted.join(u' '))});
    ASSERT_TRUE(sh.waitForFinished(10000));
    QList<QByteArray> back = sh.readAllStandardOutput().split('\0');
    ASSERT_FALSE(back.isEmpty());
    back.removeLast(); // after the last terminator
    ASSERT_EQ(back.size(), words.size()) << sh.readAllStandardError().toStdString();
    for (qsizetype i = 0; i < words.size(); ++i)
        EXPECT_EQ(QString::fromUtf8(back[i]), words[i]) << quoted[i].toStdString();
}

} // namespace
