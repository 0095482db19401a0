#include "platform/UrlOpener.h"

namespace platform {

namespace {
UrlOpener& opener() {
    static UrlOpener o;
    return o;
}
} // namespace

void setUrlOpener(UrlOpener o) {
    opener() = std::move(o);
}

bool openUrl(const QUrl& url) {
    return opener() ? opener()(url) : false;
}

} // namespace platform
