// What a batch run reports on stderr while it goes: one line per page (a bar redrawn in
// place on a terminal, or one JSON object per line), and a summary at the end.
#pragma once

#include "batch/Options.h"

#include <QString>

namespace batch {

struct PageReport {
    int page = 0;
    int rows = 0;
    double seconds = 0; // since the run started
    QString url;
};

// The text written for one page in `mode`, without the line end (the bar starts with a
// carriage return so that it redraws in place); empty for ProgressMode::None.
QString progressLine(ProgressMode mode, const PageReport& report);

// "12 pages, 340 rows in 8.1 s (42.0 rows/s) -> out.csv"
QString summaryLine(const PageReport& report, const QString& output);

} // namespace batch
