#include "browser/DownloadOptions.h"

using O = TDownloadControlOption;

std::int32_t DownloadOptionFlag(TDownloadControlOption option) {
    using namespace platform;
    static constexpr std::int32_t flags[DownloadControlOptionCount] = {
        DLCTL_DLIMAGES,
        DLCTL_VIDEOS,
        DLCTL_BGSOUNDS,
        DLCTL_NO_SCRIPTS,
        DLCTL_NO_JAVA,
        DLCTL_NO_RUNACTIVEXCTLS,
        DLCTL_NO_DLACTIVEXCTLS,
        DLCTL_DOWNLOADONLY,
        DLCTL_NO_FRAMEDOWNLOAD,
        DLCTL_RESYNCHRONIZE,
        DLCTL_PRAGMA_NO_CACHE,
        DLCTL_NO_BEHAVIORS,
        DLCTL_NO_METACHARSET,
        DLCTL_URL_ENCODING_DISABLE_UTF8,
        DLCTL_URL_ENCODING_ENABLE_UTF8,
        DLCTL_OFFLINEIFNOTCONNECTED,
        DLCTL_SILENT,
    };
    const int index = static_cast<int>(option);
    return index >= 0 && index < DownloadControlOptionCount ? flags[index] : 0;
}

std::int32_t DownloadOptionsValue(TDownloadControlOptions options) {
    // Unsigned arithmetic: DLCTL_OFFLINEIFNOTCONNECTED is the sign bit.
    std::uint32_t word = 0;
    for (int i = 0; i < DownloadControlOptionCount; ++i) {
        const auto option = static_cast<TDownloadControlOption>(i);
        if (options.contains(option))
            word |= static_cast<std::uint32_t>(DownloadOptionFlag(option));
    }
    return static_cast<std::int32_t>(word);
}

bool AnswerAmbientDownloadControl(std::int32_t dispId, std::uint16_t flags, QVariant* result,
                                  std::int32_t flagWord) {
    if ((flags & platform::DISPATCH_PROPERTYGET) == 0 || result == nullptr ||
        dispId != platform::DISPID_AMBIENT_DLCONTROL)
        return false;
    *result = QVariant::fromValue<qint32>(flagWord);
    return true;
}

void TDownloadControl::SetDownloadOptions(TDownloadControlOptions value) {
    FDownloadControlOptions = value;
    FDownloadOptionValue = DownloadOptionsValue(value);
    if (OnAmbientPropertyChange)
        OnAmbientPropertyChange(platform::DISPID_AMBIENT_DLCONTROL);
}

TDownloadControlOptions VisibleBrowserStartOptions() {
    return {O::DLCTL_DLIMAGES, O::DLCTL_VIDEOS, O::DLCTL_BGSOUNDS, O::DLCTL_PRAGMA_NO_CACHE};
}

TDownloadControlOptions AssistBrowserStartOptions() {
    return {O::DLCTL_NO_SCRIPTS,       O::DLCTL_NO_JAVA,         O::DLCTL_NO_RUNACTIVEXCTLS,
            O::DLCTL_NO_DLACTIVEXCTLS, O::DLCTL_PRAGMA_NO_CACHE, O::DLCTL_SILENT};
}

ImagesSwitchResult ToggleImages(TDownloadControlOptions options, bool imagesShown) {
    const TDownloadControlOptions media{O::DLCTL_DLIMAGES, O::DLCTL_VIDEOS, O::DLCTL_BGSOUNDS};
    const TDownloadControlOptions lean{O::DLCTL_NO_DLACTIVEXCTLS, O::DLCTL_NO_RUNACTIVEXCTLS,
                                       O::DLCTL_NO_JAVA, O::DLCTL_NO_SCRIPTS};
    if (imagesShown)
        return {options - media + lean + O::DLCTL_SILENT, false};
    // Silent mode is deliberately left on: once pictures were hidden it stays.
    return {options + media - lean, true};
}

bool SilentModeChecked(TDownloadControlOptions options) {
    return options.contains(O::DLCTL_SILENT);
}

bool JavaScriptChecked(TDownloadControlOptions options) {
    return !options.contains(O::DLCTL_NO_SCRIPTS);
}

TDownloadControlOptions ToggleJavaScript(TDownloadControlOptions options, bool checked) {
    return checked ? options + O::DLCTL_NO_SCRIPTS : options - O::DLCTL_NO_SCRIPTS;
}

TDownloadControlOptions ToggleSilentMode(TDownloadControlOptions options, bool checked) {
    // The mark shows silent mode on, so choosing the entry turns it off, and the other way.
    return checked ? options - O::DLCTL_SILENT : options + O::DLCTL_SILENT;
}
