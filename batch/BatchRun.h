// One batch run: the template, three widget-free browsers, the capture controller the
// window uses, robots.txt, the pause between pages, progress, and the output file.
#pragma once

#include "batch/Options.h"

namespace batch {

enum ExitCode { kCompleted = 0, kBadInput = 2, kFailedPartWay = 3, kInterrupted = 130 };

// Runs with a QGuiApplication in place; returns the process's exit code. Every failure
// has been reported on stderr in one line.
int runBatch(const Options& options, const QStringList& arguments);

// From the signal handlers: the run ends after the current page.
void requestInterrupt();

} // namespace batch
