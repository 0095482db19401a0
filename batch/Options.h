// The command line of the batch program: what a run is asked to do, read and checked
// before anything is started.
#pragma once

#include "export/CsvWriter.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace batch {

enum class ProgressMode { Bar, Json, None };

struct Options {
    QString templatePath; // empty with detect
    QString startUrl;     // empty: the template's home page
    bool detect = false;  // the template is detected on the start page
    QString saveTemplate; // where the template the run used is written; empty: nowhere
    QString output;       // "-" writes CSV to stdout
    exporter::CsvSeparator separator = exporter::CsvSeparator::Comma;
    int pages = 0; // 0: no limit
    int delayMs = 1000;
    bool extras = false;
    bool resume = false;
    bool dedupe = false;
    bool sourceColumns = false;
    bool ignoreRobots = false;
    ProgressMode progress = ProgressMode::Bar;
    int timeoutMs = 60000;
    bool help = false;
};

struct ParsedArguments {
    std::optional<Options> options;
    QString error; // one line saying what is wrong, when options is empty
};

// args without the program name. The progress bar is the default only on a terminal.
ParsedArguments parseArguments(const QStringList& args, bool stderrIsTerminal);

QString usageText();

// text as one word of a POSIX shell command line, quoted only when it needs to be: the
// command a user is told to run again must run as shown (addresses hold "&" and "?").
QString shellQuoted(const QString& text);

// Why the run could not write `output`: not a file type of ours, a folder, a folder that
// does not exist or cannot be written to. Empty when it can (or for "-"). Tried by
// creating and removing a file beside it, which is what the final write will need.
QString checkOutput(const QString& output);

} // namespace batch
