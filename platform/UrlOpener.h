#pragma once

#include <QUrl>

#include <functional>

namespace platform {

// Opens a link with the desktop's handler (mail program, browser). The window installs
// the desktop's opener; tests install a recorder, so no test starts a program. Without
// an opener nothing is opened and the answer is false.
using UrlOpener = std::function<bool(const QUrl&)>;
void setUrlOpener(UrlOpener opener);
bool openUrl(const QUrl& url);

} // namespace platform
