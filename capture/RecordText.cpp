#include "capture/RecordText.h"

#include "capture/GridModel.h"

#include <algorithm>

namespace capture {

QList<QStringView> SplitRecordLines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = text.indexOf(u"\r\n", start);
        if (at < 0)
            break;
        lines.append(text.mid(start, at - start));
        start = at + 2;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

QList<QStringView> SplitRecordFields(QStringView line, int columns) {
    const int n = std::max(1, columns);
    QList<QStringView> fields;
    fields.reserve(n);
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size() && fields.size() + 1 < n; ++i) {
        if (line[i] == kFieldSeparator) {
            fields.append(line.mid(start, i - start));
            start = i + 1;
        }
    }
    fields.append(line.mid(start));
    while (fields.size() < n)
        fields.append(QStringView());
    return fields;
}

QString IndicatorTextOf(QStringView recordText) {
    QString out = recordText.toString();
    out.replace(QChar(kFieldSeparator), QChar(u'\t'));
    return out;
}

} // namespace capture
