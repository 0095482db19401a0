#pragma once

#include <cstdint>

// The ambient download-control property: the host answers it with a flag word, and the
// browser turns that word into engine settings before each page load.
namespace platform {

constexpr std::int32_t DISPID_AMBIENT_DLCONTROL = -5512;

// Kinds of dispatch request and the answers of an ambient-property request.
constexpr std::uint16_t DISPATCH_METHOD = 1;
constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
constexpr std::int32_t S_OK = 0;
constexpr std::int32_t DISP_E_MEMBERNOTFOUND = static_cast<std::int32_t>(0x80020003u);

constexpr std::int32_t DLCTL_DLIMAGES = 0x10;
constexpr std::int32_t DLCTL_VIDEOS = 0x20;
constexpr std::int32_t DLCTL_BGSOUNDS = 0x40;
constexpr std::int32_t DLCTL_NO_SCRIPTS = 0x80;
constexpr std::int32_t DLCTL_NO_JAVA = 0x100;
constexpr std::int32_t DLCTL_NO_RUNACTIVEXCTLS = 0x200;
constexpr std::int32_t DLCTL_NO_DLACTIVEXCTLS = 0x400;
constexpr std::int32_t DLCTL_DOWNLOADONLY = 0x800;
constexpr std::int32_t DLCTL_NO_FRAMEDOWNLOAD = 0x1000;
constexpr std::int32_t DLCTL_RESYNCHRONIZE = 0x2000;
constexpr std::int32_t DLCTL_PRAGMA_NO_CACHE = 0x4000;
constexpr std::int32_t DLCTL_NO_BEHAVIORS = 0x8000;
constexpr std::int32_t DLCTL_NO_METACHARSET = 0x10000;
constexpr std::int32_t DLCTL_URL_ENCODING_DISABLE_UTF8 = 0x20000;
constexpr std::int32_t DLCTL_URL_ENCODING_ENABLE_UTF8 = 0x40000;
constexpr std::int32_t DLCTL_OFFLINEIFNOTCONNECTED = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t DLCTL_SILENT = 0x40000000;

// What a browser that gets no answer uses: pictures, videos and sounds, scripts on.
constexpr std::int32_t DLCTL_DEFAULT = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;

// What the engine may fetch and run for one page load.
struct WebEngineSettings {
    bool images = true;
    bool scripts = true;
    bool plugins = true;
    bool media = true;
    bool noCacheHeaders = false; // "Pragma: no-cache" and "Cache-Control: no-cache"
    bool silent = false;         // no script dialogs, no certificate prompts
    // A local page (file://) may fetch web content and navigate to web sites. The engine
    // forbids both by default; only the browser the user looks at allows them.
    bool localReachesWeb = false;

    friend bool operator==(const WebEngineSettings&, const WebEngineSettings&) = default;
};

constexpr WebEngineSettings DownloadControlSettings(std::int32_t flags) {
    const auto has = [flags](std::int32_t flag) { return (flags & flag) != 0; };
    WebEngineSettings s;
    s.images = has(DLCTL_DLIMAGES);
    s.media = has(DLCTL_VIDEOS) || has(DLCTL_BGSOUNDS);
    s.scripts = !has(DLCTL_NO_SCRIPTS);
    // The engine's plug-ins stand where controls and applets stood; any of the three
    // refusals keeps them off.
    s.plugins =
        !has(DLCTL_NO_RUNACTIVEXCTLS) && !has(DLCTL_NO_DLACTIVEXCTLS) && !has(DLCTL_NO_JAVA);
    s.noCacheHeaders = has(DLCTL_PRAGMA_NO_CACHE);
    s.silent = has(DLCTL_SILENT);
    return s;
}

} // namespace platform
