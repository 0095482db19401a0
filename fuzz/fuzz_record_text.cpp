// Record text as a template returns it, split into lines and fields and added to the grid:
// whatever the text, no captured character is lost or moved to another field.
#include "FuzzSupport.h"

#include "capture/Dupes.h"
#include "capture/GridModel.h"
#include "capture/RecordText.h"

#include <algorithm>

using capture::kFieldSeparator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const int columns = static_cast<std::int8_t>(in.byte()); // negative counts too
    const QString text = QString::fromUtf8(in.rest());

    const QList<QStringView> lines = capture::SplitRecordLines(text);
    QString rejoined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(!lines[i].contains(u"\r\n"));
        if (i > 0)
            rejoined += u"\r\n";
        rejoined += lines[i];
    }
    // One closing line break is no line of its own; anything else is kept.
    QString whole = text;
    if (whole.endsWith(u"\r\n"))
        whole.chop(2);
    FUZZ_CHECK(rejoined == whole);
    FUZZ_CHECK(!text.isEmpty() || lines.isEmpty());

    const int n = std::max(1, columns);
    capture::TGridModel grid;
    for (const QStringView line : lines) {
        const QList<QStringView> fields = capture::SplitRecordFields(line, columns);
        FUZZ_CHECK(fields.size() == n);
        const qsizetype pieces = line.count(QChar(kFieldSeparator)) + 1;
        QString joined;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i < n - 1)
                FUZZ_CHECK(!fields[i].contains(QChar(kFieldSeparator)));
            if (i >= pieces)
                FUZZ_CHECK(fields[i].isEmpty());
            else {
                if (i > 0)
                    joined += QChar(kFieldSeparator);
                joined += fields[i];
            }
        }
        FUZZ_CHECK(joined == line);

        // The grid row holds the same fields, and the whole-row test finds it.
        const int pos = grid.addRecordLine(line, columns);
        FUZZ_CHECK(pos >= 0 && pos < grid.rows());
        for (int i = 0; i < n; ++i)
            FUZZ_CHECK(grid.field(pos, i) == fields[i]);
        FUZZ_CHECK(capture::FlatLineIsAlreadyInGrid(grid, grid.joinedText(pos)));
    }
    FUZZ_CHECK(grid.rows() == lines.size());

    const QString indicator = capture::IndicatorTextOf(text);
    FUZZ_CHECK(indicator.size() == text.size());
    FUZZ_CHECK(!indicator.contains(QChar(kFieldSeparator)));
    FUZZ_CHECK(QString(indicator).replace(u'\t', QChar(kFieldSeparator)) ==
               QString(text).replace(u'\t', QChar(kFieldSeparator)));
    return 0;
}
