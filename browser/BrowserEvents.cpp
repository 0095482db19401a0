#include "browser/BrowserEvents.h"

#include <QUrl>

namespace browser {

bool IsTemplateLink(const QString& url) {
    return url.contains(u".o") && !url.contains(u"http");
}

QString TemplateLinkPath(const QString& url) {
    if (!url.startsWith(u"file:", Qt::CaseInsensitive))
        return url;
    const QUrl parsed(url);
    if (!parsed.isValid() || !parsed.isLocalFile())
        return url;
    // "file://localhost/x" names the same file as "file:///x".
    if (parsed.host().compare(u"localhost", Qt::CaseInsensitive) == 0)
        return parsed.path();
    return parsed.toLocalFile();
}

bool IsOutsidePage(const QString& url) {
    return url.contains(u"http") && !url.contains(u"trawlex");
}

QString LoadingPageTitle(const QString& appName, const QString& url) {
    return appName + QStringLiteral(" loading page ") + url;
}

std::optional<QString> GettingExtraDataMessage(const QString& leavingUrl) {
    if (leavingUrl.contains(u"about:blank"))
        return std::nullopt;
    return QStringLiteral("Getting extra data from: ") + leavingUrl;
}

ExtraNavigation AdvanceExtraNavigation(const QString& title, const QString& appName,
                                       std::int32_t extraNavCount, bool captureActive) {
    ExtraNavigation next{title, extraNavCount};
    if (next.extraNavCount > 11)
        next.extraNavCount = -1;
    if (next.extraNavCount < 1)
        next.title = appName + QStringLiteral("Extraction process started... Please wait! ");
    if (captureActive && next.extraNavCount > 0)
        next.title += QStringLiteral(" \u00A4 ") + QString::number(next.extraNavCount);
    ++next.extraNavCount;
    return next;
}

std::optional<QString> DoneCollectingMessage(const QString& documentUrl) {
    if (documentUrl.toLower().contains(u"trawlex.") || documentUrl.contains(u"about:blank"))
        return std::nullopt;
    return QStringLiteral("Done collecting data from: ") + documentUrl;
}

QString AssistTextSlice(const QString& innerText) {
    return innerText.mid(779, 1024);
}

} // namespace browser
