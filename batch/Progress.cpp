#include "batch/Progress.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace batch {

namespace {

double rate(const PageReport& r) {
    return r.seconds > 0 ? r.rows / r.seconds : 0.0;
}

} // namespace

QString progressLine(ProgressMode mode, const PageReport& r) {
    switch (mode) {
    case ProgressMode::None:
        return {};
    case ProgressMode::Json: {
        const QJsonObject o{{QStringLiteral("page"), r.page},
                            {QStringLiteral("rows"), r.rows},
                            {QStringLiteral("rowsPerSecond"), qRound(rate(r) * 10) / 10.0},
                            {QStringLiteral("seconds"), qRound(r.seconds * 100) / 100.0},
                            {QStringLiteral("url"), r.url}};
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    case ProgressMode::Bar: {
        // One terminal line: the address is cut from the left, its end being what differs.
        QString url = r.url;
        constexpr qsizetype kUrlRoom = 48;
        if (url.size() > kUrlRoom)
            url = QStringLiteral("...") + url.right(kUrlRoom - 3);
        return QStringLiteral("\rpage %1  rows %2  %3 rows/s  %4\x1b[K")
            .arg(r.page)
            .arg(r.rows)
            .arg(rate(r), 0, 'f', 1)
            .arg(url);
    }
    }
    return {};
}

QString summaryLine(const PageReport& r, const QString& output) {
    return QStringLiteral("%1 %2, %3 %4 in %5 s (%6 rows/s) -> %7")
        .arg(r.page)
        .arg(r.page == 1 ? QStringLiteral("page") : QStringLiteral("pages"))
        .arg(r.rows)
        .arg(r.rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"))
        .arg(r.seconds, 0, 'f', 1)
        .arg(rate(r), 0, 'f', 1)
        .arg(output == u"-" ? QStringLiteral("stdout") : output);
}

} // namespace batch
