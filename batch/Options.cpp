#include "batch/Options.h"

#include "export/SaveCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>

namespace batch {

namespace {

std::optional<int> parseCount(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1)
        return std::nullopt;
    return n;
}

// Seconds, fractions allowed, as milliseconds; at most a day so nothing overflows.
std::optional<int> parseSeconds(const QString& text, bool zeroAllowed) {
    bool ok = false;
    const double s = text.toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < 0 || s > 86400 || (!zeroAllowed && s <= 0))
        return std::nullopt;
    return static_cast<int>(std::lround(s * 1000));
}

} // namespace

QString usageText() {
    return QStringLiteral(
        "Usage: trawlex-batch TEMPLATE [START-URL] -o FILE [options]\n"
        "       trawlex-batch --detect START-URL -o FILE [options]\n"
        "  TEMPLATE            a compiled (.orp) or declarative (.orp.json) template\n"
        "  START-URL           where the run starts (default: the template's home page)\n"
        "  --detect            no template: find the listings and next control on START-URL\n"
        "  --save-template F   write the template the run used (declarative) to F\n"
        "  -o, --output FILE   .csv, .xls, .xlsx or .jsonl; \"-\" writes CSV to stdout\n"
        "  --separator C       comma (default), semicolon or tab, for CSV\n"
        "  --pages N           stop after N pages\n"
        "  --delay SECONDS     pause between pages (default 1; 0 allowed)\n"
        "  --extras            the extras switch on (e-mail and other detail pages)\n"
        "  --dedupe            delete duplicates before writing\n"
        "  --source-columns    add the \"Source\" and \"Captured\" columns\n"
        "  --resume            continue the interrupted run of this template and output\n"
        "  --progress MODE     bar (default on a terminal), json, none\n"
        "  --timeout SECONDS   longest wait for one page to load (default 60)\n"
        "  --ignore-robots     do not read robots.txt\n"
        "  -h, --help          this text\n"
        "Exit codes: 0 completed, 2 bad arguments or refused start, 3 failed part-way\n"
        "(rows so far written), 130 interrupted (rows so far written, resumable).\n");
}

QString shellQuoted(const QString& text) {
    const bool plain = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               QStringView(u"_-+=@%:,./").contains(c);
    });
    if (plain)
        return text;
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

ParsedArguments parseArguments(const QStringList& args, bool stderrIsTerminal) {
    Options o;
    o.progress = stderrIsTerminal ? ProgressMode::Bar : ProgressMode::None;
    QStringList positional;
    bool outputSet = false;
    auto fail = [](const QString& text) { return ParsedArguments{std::nullopt, text}; };

    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        QString value;
        bool hasInlineValue = false;
        if (arg.startsWith(QStringLiteral("--")) && arg.contains(u'=')) {
            const qsizetype eq = arg.indexOf(u'=');
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasInlineValue = true;
        }
        // The option's value: inline after "=", or the next argument.
        auto takeValue = [&]() -> std::optional<QString> {
            if (hasInlineValue)
                return value;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args.at(++i);
        };
        auto missing = [&] { return fail(arg + QStringLiteral(" needs a value")); };

        if (arg == u"-h" || arg == u"--help") {
            o.help = true;
            return {o, {}};
        } else if (arg == u"-o" || arg == u"--output") {
            const auto v = takeValue();
            if (!v || v->isEmpty())
                return missing();
            o.output = *v;
            outputSet = true;
        } else if (arg == u"--separator") {
            const auto v = takeValue();
            if (!v)
                return missing();
            const QString s = v->toLower();
            if (s == u"comma" || s == u",")
                o.separator = exporter::CsvSeparator::Comma;
            else if (s == u"semicolon" || s == u";")
                o.separator = exporter::CsvSeparator::Semicolon;
            else if (s == u"tab" || s == u"\t")
                o.separator = exporter::CsvSeparator::Tab;
            else
                return fail(
                    QStringLiteral("--separator: \"%1\" is not comma, semicolon or tab").arg(*v));
        } else if (arg == u"--pages") {
            const auto v = takeValue();
            if (!v)
                return missing();
            const auto n = parseCount(*v);
            if (!n)
                return fail(
                    QStringLiteral("--pages: \"%1\" is not a whole number of at least 1").arg(*v));
            o.pages = *n;
        } else if (arg == u"--delay") {
            const auto v = takeValue();
            if (!v)
                return missing();
            const auto ms = parseSeconds(*v, true);
            if (!ms)
                return fail(
                    QStringLiteral("--delay: \"%1\" is not a number of seconds from 0 to 86400")
                        .arg(*v));
            o.delayMs = *ms;
        } else if (arg == u"--timeout") {
            const auto v = takeValue();
            if (!v)
                return missing();
            const auto ms = parseSeconds(*v, false);
            if (!ms || *ms < 1)
                return fail(
                    QStringLiteral(
                        "--timeout: \"%1\" is not a number of seconds above 0, at most 86400")
                        .arg(*v));
            o.timeoutMs = *ms;
        } else if (arg == u"--progress") {
            const auto v = takeValue();
            if (!v)
                return missing();
            if (*v == u"bar")
                o.progress = ProgressMode::Bar;
            else if (*v == u"json")
                o.progress = ProgressMode::Json;
            else if (*v == u"none")
                o.progress = ProgressMode::None;
            else
                return fail(QStringLiteral("--progress: \"%1\" is not bar, json or none").arg(*v));
        } else if (arg == u"--save-template") {
            const auto v = takeValue();
            if (!v || v->isEmpty())
                return missing();
            o.saveTemplate = *v;
        } else if (!hasInlineValue && arg == u"--detect") {
            o.detect = true;
        } else if (!hasInlineValue && arg == u"--extras") {
            o.extras = true;
        } else if (!hasInlineValue && arg == u"--resume") {
            o.resume = true;
        } else if (!hasInlineValue && arg == u"--dedupe") {
            o.dedupe = true;
        } else if (!hasInlineValue && arg == u"--source-columns") {
            o.sourceColumns = true;
        } else if (!hasInlineValue && arg == u"--ignore-robots") {
            o.ignoreRobots = true;
        } else if (arg == u"--") {
            positional.append(args.mid(i + 1));
            break;
        } else if (arg.startsWith(u'-') && arg != u"-") {
            return fail(QStringLiteral("unknown option %1").arg(args.at(i)));
        } else {
            positional.append(arg);
        }
    }
    if (o.detect) {
        // Detection needs a page to look at, and there is no template to name one.
        if (positional.isEmpty())
            return fail(QStringLiteral("--detect needs the start address"));
        if (positional.size() > 1)
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(positional.at(1)));
    } else {
        if (positional.isEmpty())
            return fail(QStringLiteral("no template given"));
        if (positional.size() > 2)
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(positional.at(2)));
    }
    if (!outputSet)
        return fail(QStringLiteral("no output file given (-o FILE)"));
    if (o.detect) {
        o.startUrl = positional.at(0);
    } else {
        o.templatePath = positional.at(0);
        if (positional.size() == 2)
            o.startUrl = positional.at(1);
    }
    return {o, {}};
}

QString checkOutput(const QString& output) {
    if (output == u"-")
        return {};
    const QFileInfo info(output);
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a file").arg(output);
    if (!exporter::FileTypeOfName(output))
        return QStringLiteral("%1: the file type is not one of .csv, .xls, .xlsx, .jsonl")
            .arg(output);
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 is not a regular file").arg(output);
    const QDir folder = info.absoluteDir();
    if (!folder.exists())
        return QStringLiteral("the folder %1 does not exist").arg(folder.path());
    QTemporaryFile probe(folder.filePath(QStringLiteral(".trawlex-batch-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("the folder %1 cannot be written to: %2")
            .arg(folder.path(), probe.errorString());
    return {};
}

} // namespace batch
