#include "browser/DownloadOptions.h"

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

using O = TDownloadControlOption;
using namespace platform;

namespace {

struct MemberFlag {
    O option;
    std::uint32_t flag;
};

const MemberFlag kMembers[] = {
    {O::DLCTL_DLIMAGES, 0x10},
    {O::DLCTL_VIDEOS, 0x20},
    {O::DLCTL_BGSOUNDS, 0x40},
    {O::DLCTL_NO_SCRIPTS, 0x80},
    {O::DLCTL_NO_JAVA, 0x100},
    {O::DLCTL_NO_RUNACTIVEXCTLS, 0x200},
    {O::DLCTL_NO_DLACTIVEXCTLS, 0x400},
    {O::DLCTL_DOWNLOADONLY, 0x800},
    {O::DLCTL_NO_FRAMEDOWNLOAD, 0x1000},
    {O::DLCTL_RESYNCHRONIZE, 0x2000},
    {O::DLCTL_PRAGMA_NO_CACHE, 0x4000},
    {O::DLCTL_NO_BEHAVIORS, 0x8000},
    {O::DLCTL_NO_METACHARSET, 0x10000},
    {O::DLCTL_URL_ENCODING_DISABLE_UTF8, 0x20000},
    {O::DLCTL_URL_ENCODING_ENABLE_UTF8, 0x40000},
    {O::DLCTL_OFFLINEIFNOTCONNECTED, 0x80000000u},
    {O::DLCTL_SILENT, 0x40000000},
};

TEST(DownloadOptions, EachMemberStandsForItsFlagAndTheWordIsTheirUnion) {
    TDownloadControlOptions all;
    std::uint32_t expected = 0;
    for (const auto& m : kMembers) {
        SCOPED_TRACE(static_cast<int>(m.option));
        EXPECT_EQ(static_cast<std::uint32_t>(DownloadOptionsValue({m.option})), m.flag);
        all = all + m.option;
        expected |= m.flag;
        EXPECT_EQ(static_cast<std::uint32_t>(DownloadOptionsValue(all)), expected);
    }
    EXPECT_EQ(static_cast<std::uint32_t>(DownloadOptionsValue(all)), 0xC007FFF0u);
    EXPECT_EQ(DownloadOptionsValue({}), 0);
}

TEST(DownloadOptions, StartSetsGiveTheDocumentedWords) {
    EXPECT_EQ(DownloadOptionsValue(VisibleBrowserStartOptions()), 0x4070);
    EXPECT_EQ(DownloadOptionsValue(AssistBrowserStartOptions()), 0x40004780);
}

TEST(DownloadOptions, SettingTheSetStoresItRecomputesTheWordAndTellsTheEngine) {
    TDownloadControl control;
    EXPECT_EQ(control.DownloadOptionValue(), 0);
    EXPECT_TRUE(control.DownloadOptions().isEmpty());

    std::vector<std::pair<std::int32_t, std::int32_t>> notices; // dispId, word seen then
    control.OnAmbientPropertyChange = [&](std::int32_t dispId) {
        notices.emplace_back(dispId, control.DownloadOptionValue());
    };
    control.SetDownloadOptions(AssistBrowserStartOptions());
    control.SetDownloadOptions({});
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0], std::make_pair(DISPID_AMBIENT_DLCONTROL, 0x40004780));
    EXPECT_EQ(notices[1], std::make_pair(DISPID_AMBIENT_DLCONTROL, 0));
    EXPECT_TRUE(control.DownloadOptions().isEmpty());
}

struct AmbientCase {
    const char* name;
    std::int32_t dispId;
    std::uint16_t flags;
    bool resultSupplied;
    bool answered;
};

class AmbientAnswer : public ::testing::TestWithParam<AmbientCase> {};

TEST_P(AmbientAnswer, OnlyAPropertyGetOfTheDownloadControlWithAResultIsAnswered) {
    const auto& c = GetParam();
    const std::int32_t word = static_cast<std::int32_t>(0xC0004070u); // sign bit included
    QVariant result(QStringLiteral("untouched"));
    const bool answered =
        AnswerAmbientDownloadControl(c.dispId, c.flags, c.resultSupplied ? &result : nullptr, word);
    EXPECT_EQ(answered, c.answered);
    if (c.answered) {
        EXPECT_EQ(result.metaType(), QMetaType::fromType<qint32>());
        EXPECT_EQ(result.value<qint32>(), word);
    } else {
        EXPECT_EQ(result.toString(), QStringLiteral("untouched"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AmbientAnswer,
    ::testing::Values(AmbientCase{"get", -5512, DISPATCH_PROPERTYGET, true, true},
                      AmbientCase{"getAsMethodToo", -5512, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                  true, true},
                      AmbientCase{"noResult", -5512, DISPATCH_PROPERTYGET, false, false},
                      AmbientCase{"put", -5512, DISPATCH_PROPERTYPUT, true, false},
                      AmbientCase{"method", -5512, DISPATCH_METHOD, true, false},
                      AmbientCase{"otherAmbient", -5513, DISPATCH_PROPERTYGET, true, false},
                      AmbientCase{"userMode", -709, DISPATCH_PROPERTYGET, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImagesSwitch, HidingThenShowingLeavesSilentModeOn) {
    auto options = VisibleBrowserStartOptions();
    bool shown = true;

    auto hidden = ToggleImages(options, shown);
    EXPECT_FALSE(hidden.imagesShown);
    EXPECT_EQ(DownloadOptionsValue(hidden.options), 0x40004780);
    EXPECT_TRUE(SilentModeChecked(hidden.options));
    EXPECT_FALSE(JavaScriptChecked(hidden.options));

    auto again = ToggleImages(hidden.options, hidden.imagesShown);
    EXPECT_TRUE(again.imagesShown);
    EXPECT_EQ(DownloadOptionsValue(again.options), 0x40004070);
    EXPECT_TRUE(SilentModeChecked(again.options));
    EXPECT_TRUE(JavaScriptChecked(again.options));
}

TEST(ImagesSwitch, ShowingTurnsScriptsOnWhateverTheJavaScriptEntrySaid) {
    auto options = ToggleJavaScript(VisibleBrowserStartOptions(), true); // scripts off
    EXPECT_FALSE(JavaScriptChecked(options));
    auto hidden = ToggleImages(options, true);
    auto shown = ToggleImages(hidden.options, false);
    EXPECT_TRUE(JavaScriptChecked(shown.options));
}

TEST(DropDown, JavaScriptEntryTurnsScriptsOffWhenCheckedAndOnWhenNot) {
    auto options = VisibleBrowserStartOptions();
    ASSERT_TRUE(JavaScriptChecked(options));
    options = ToggleJavaScript(options, JavaScriptChecked(options));
    EXPECT_FALSE(JavaScriptChecked(options));
    EXPECT_EQ(DownloadOptionsValue(options), 0x40F0);
    options = ToggleJavaScript(options, JavaScriptChecked(options));
    EXPECT_TRUE(JavaScriptChecked(options));
    EXPECT_EQ(DownloadOptionsValue(options), 0x4070);
}

TEST(DropDown, SilentEntryTogglesSilentMode) {
    auto options = VisibleBrowserStartOptions();
    ASSERT_FALSE(SilentModeChecked(options));
    options = ToggleSilentMode(options, SilentModeChecked(options));
    EXPECT_TRUE(SilentModeChecked(options));
    EXPECT_EQ(DownloadOptionsValue(options), 0x40004070);
    options = ToggleSilentMode(options, SilentModeChecked(options));
    EXPECT_FALSE(SilentModeChecked(options));
    EXPECT_EQ(DownloadOptionsValue(options), 0x4070);
}

struct SettingsCase {
    const char* name;
    std::uint32_t word;
    WebEngineSettings expected;
};

class EngineSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(EngineSettings, FlagWordBecomesEngineSettings) {
    EXPECT_EQ(DownloadControlSettings(static_cast<std::int32_t>(GetParam().word)),
              GetParam().expected);
}

// images, scripts, plugins, media, noCacheHeaders, silent
INSTANTIATE_TEST_SUITE_P(
    Words, EngineSettings,
    ::testing::Values(
        SettingsCase{"visibleBrowser", 0x4070, {true, true, true, true, true, false}},
        SettingsCase{"assistant", 0x40004780, {false, false, false, false, true, true}},
        SettingsCase{"serviceBrowser", 0x40000600, {false, true, false, false, false, true}},
        SettingsCase{"soundOnly", 0x40, {false, true, true, true, false, false}},
        SettingsCase{"javaOnly", 0x100, {false, true, false, false, false, false}},
        SettingsCase{"empty", 0, {false, true, true, false, false, false}},
        SettingsCase{"noAnswer", DLCTL_DEFAULT, {true, true, true, true, false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
