// Record text as a template returns it: lines separated by CR LF, fields within a line
// separated by U+00A4.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace capture {

// The lines of a record text, split at CR LF only (a lone CR or LF stays in its line).
// A final empty line, after a closing line break, is no line; empty text has no lines.
// The views point into text.
QList<QStringView> SplitRecordLines(QStringView text);

// The fields of a line for a grid of `columns` columns: always that many, the k-th
// piece between U+00A4 in field k, missing fields empty, and pieces beyond the last
// field kept in it with their separators, so no captured text is lost.
QList<QStringView> SplitRecordFields(QStringView line, int columns);

// What the progress indicator is given for a page: the record text with each U+00A4
// turned into a tab. (The indicator itself shows and returns it in capitals.)
QString IndicatorTextOf(QStringView recordText);

} // namespace capture
