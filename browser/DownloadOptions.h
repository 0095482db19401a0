#pragma once

#include "platform/web/DownloadControl.h"

#include <QVariant>

#include <cstdint>
#include <functional>
#include <initializer_list>

// The download-control choices of a browser of ours: a set of the engine's flags in a fixed
// member order, the flag word the set stands for, and the ambient answer built from it.

enum class TDownloadControlOption {
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

constexpr int DownloadControlOptionCount = 17;

// The engine flag that a member stands for.
std::int32_t DownloadOptionFlag(TDownloadControlOption option);

class TDownloadControlOptions {
public:
    constexpr TDownloadControlOptions() = default;
    constexpr TDownloadControlOptions(std::initializer_list<TDownloadControlOption> options) {
        for (auto o : options)
            m_bits |= bit(o);
    }

    constexpr bool contains(TDownloadControlOption o) const { return (m_bits & bit(o)) != 0; }
    constexpr bool isEmpty() const { return m_bits == 0; }

    constexpr TDownloadControlOptions operator+(TDownloadControlOptions other) const {
        return fromBits(m_bits | other.m_bits);
    }
    constexpr TDownloadControlOptions operator-(TDownloadControlOptions other) const {
        return fromBits(m_bits & ~other.m_bits);
    }
    constexpr TDownloadControlOptions operator+(TDownloadControlOption o) const {
        return fromBits(m_bits | bit(o));
    }
    constexpr TDownloadControlOptions operator-(TDownloadControlOption o) const {
        return fromBits(m_bits & ~bit(o));
    }
    friend constexpr bool operator==(TDownloadControlOptions, TDownloadControlOptions) = default;

private:
    static constexpr std::uint32_t bit(TDownloadControlOption o) {
        return 1u << static_cast<int>(o);
    }
    static constexpr TDownloadControlOptions fromBits(std::uint32_t bits) {
        TDownloadControlOptions s;
        s.m_bits = bits;
        return s;
    }
    std::uint32_t m_bits = 0;
};

// The flag word of a set: 0 when empty, else the flags of its members or-ed in member order.
std::int32_t DownloadOptionsValue(TDownloadControlOptions options);

// Answers the ambient download-control request from `flagWord`: true (and *result set to
// the word as a 32-bit signed integer) for a property get of DISPID_AMBIENT_DLCONTROL with
// a result supplied; false for anything else, which the caller passes on unchanged.
bool AnswerAmbientDownloadControl(std::int32_t dispId, std::uint16_t flags, QVariant* result,
                                  std::int32_t flagWord);

// The download set and flag word a browser of ours carries. `OnAmbientPropertyChange` is
// told after every change so that the engine asks again; the set applies from the next
// page load on.
class TDownloadControl {
public:
    TDownloadControlOptions DownloadOptions() const { return FDownloadControlOptions; }
    void SetDownloadOptions(TDownloadControlOptions value);
    std::int32_t DownloadOptionValue() const { return FDownloadOptionValue; }

    std::function<void(std::int32_t dispId)> OnAmbientPropertyChange;

private:
    TDownloadControlOptions FDownloadControlOptions;
    std::int32_t FDownloadOptionValue = 0;
};

// The sets start-up gives the visible browser and the assistant.
TDownloadControlOptions VisibleBrowserStartOptions();
TDownloadControlOptions AssistBrowserStartOptions();

// The images switch. `imagesShown` is the switch's state (its "shown" icon); the result
// is the new set and the new state.
struct ImagesSwitchResult {
    TDownloadControlOptions options;
    bool imagesShown;
};
ImagesSwitchResult ToggleImages(TDownloadControlOptions options, bool imagesShown);

// The check marks of the browser drop-down, and what choosing an entry does with the set.
bool SilentModeChecked(TDownloadControlOptions options);
bool JavaScriptChecked(TDownloadControlOptions options);
TDownloadControlOptions ToggleJavaScript(TDownloadControlOptions options, bool checked);
TDownloadControlOptions ToggleSilentMode(TDownloadControlOptions options, bool checked);
