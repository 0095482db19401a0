#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The decisions the browser event handlers make, apart from the window they write to.
namespace browser {

// A link to a template file: contains ".o" and no "http" (both tests case-sensitive).
bool IsTemplateLink(const QString& url);
// The path to hand to template loading: the engine reports a link to a local file as a
// file URL, which is turned back into the plain path; any other text is left as it is.
QString TemplateLinkPath(const QString& url);

// An outside page: contains "http" and not the product word "trawlex" (case-sensitive).
bool IsOutsidePage(const QString& url);

// The caption while the visible browser loads an outside page.
QString LoadingPageTitle(const QString& appName, const QString& url);

// The indicator text when a driven browser leaves `leavingUrl`; none when it leaves the
// empty page.
std::optional<QString> GettingExtraDataMessage(const QString& leavingUrl);

// The title trail of outside navigations of the driven browsers: advances the counter and
// gives the new caption.
struct ExtraNavigation {
    QString title;
    std::int32_t extraNavCount;
};
ExtraNavigation AdvanceExtraNavigation(const QString& title, const QString& appName,
                                       std::int32_t extraNavCount, bool captureActive);

// The indicator text once a driven browser has loaded `documentUrl`; none for the empty
// page and for the product's own site (word tested in lower case).
std::optional<QString> DoneCollectingMessage(const QString& documentUrl);

// The extra-data slice of the assistant's page text: UTF-16 code units 780 to 1803,
// counting from 1; empty when the text is shorter.
QString AssistTextSlice(const QString& innerText);

} // namespace browser
