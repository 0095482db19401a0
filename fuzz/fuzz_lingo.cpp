// Applying a language file of any content: every interface text gets the file's value or
// its default, once, and a colour the file spoils keeps the default colour.
#include "FuzzSupport.h"

#include "lingo/uLingo.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <string>

namespace {

struct Recorder final : lingo::Target {
    std::map<std::string, QString> hints, captions;
    int hintCalls = 0, captionCalls = 0, colourCalls = 0, speedCalls = 0, indicatorCalls = 0;
    lingo::Rgb caption, fill;
    QString speed, indicator;

    void setHint(const char* element, const QString& text) override {
        ++hintCalls;
        hints[element] = text;
    }
    void setHeaderColors(const lingo::Rgb& c, const lingo::Rgb& f) override {
        ++colourCalls;
        caption = c;
        fill = f;
    }
    void setCaption(const char* element, const QString& text) override {
        ++captionCalls;
        captions[element] = text;
    }
    void setSpeedLabel(const QString& text) override {
        ++speedCalls;
        speed = text;
    }
    void setIndicatorText(const QString& text) override {
        ++indicatorCalls;
        indicator = text;
    }
};

const QString& languageFile() {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("trawlex.ini"));
    return path;
}

QString expected(const platform::IniFile& ini, const lingo::Key& k) {
    return ini.value(QString::fromUtf16(k.section), QString::fromUtf16(k.key),
                     QString::fromUtf16(k.defaultText));
}

bool inRange(const lingo::Rgb& c) {
    return c.red >= 0 && c.red <= 255 && c.green >= 0 && c.green <= 255 && c.blue >= 0 &&
           c.blue <= 255;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(languageFile());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            fuzz::fail("cannot write the language file", __FILE__, __LINE__);
    }
    lingo::clearMessages();
    Recorder window;
    lingo::ApplyLingo(languageFile(), window);
    const platform::IniFile ini = platform::IniFile::fromBytes(bytes);

    FUZZ_CHECK(window.hintCalls == int(lingo::buttonKeys().size()));
    for (const lingo::Key& k : lingo::buttonKeys())
        FUZZ_CHECK(window.hints[k.element] == expected(ini, k));

    FUZZ_CHECK(window.colourCalls == 1);
    FUZZ_CHECK(inRange(window.fill) && inRange(window.caption));
    const auto left = lingo::leftBarKeys();
    const lingo::Rgb defaultFill = *lingo::parseColor(QString::fromUtf16(left[0].defaultText));
    const lingo::Rgb defaultCaption = *lingo::parseColor(QString::fromUtf16(left[1].defaultText));
    FUZZ_CHECK(window.fill == lingo::parseColor(expected(ini, left[0])).value_or(defaultFill));
    FUZZ_CHECK(window.caption ==
               lingo::parseColor(expected(ini, left[1])).value_or(defaultCaption));

    int captionKeys = 0;
    for (const lingo::Key& k : left.subspan(2)) {
        const QString value = expected(ini, k);
        switch (k.apply) {
        case lingo::Apply::SpeedLabel:
            FUZZ_CHECK(window.speed == QString(18, u' ') + value);
            break;
        case lingo::Apply::IndicatorText:
            FUZZ_CHECK(window.indicator == value);
            break;
        default:
            ++captionKeys;
            FUZZ_CHECK(window.captions[k.element] == value);
            break;
        }
    }
    FUZZ_CHECK(window.captionCalls == captionKeys);
    FUZZ_CHECK(window.speedCalls == 1 && window.indicatorCalls == 1);

    const QString* messages[] = {
        &lingo::sNosaveExcel1,      &lingo::sNosaveExcel2,       &lingo::sNoValidTemplate,
        &lingo::sBrowserReady,      &lingo::sNoTemplate,         &lingo::sSlowProcess,
        &lingo::sLinesInGrid,       &lingo::sRestoredLines,      &lingo::sJournalNotKept,
        &lingo::sJournalMovedAside, &lingo::sJournalSecondWindow};
    const auto keys = lingo::messageKeys();
    FUZZ_CHECK(keys.size() == std::size(messages));
    for (std::size_t i = 0; i < keys.size(); ++i)
        FUZZ_CHECK(*messages[i] == expected(ini, keys[i]));

    // A colour, once read, reads the same written as a decimal number.
    for (const QString& v :
         ini.value(QStringLiteral("LeftBar"), QStringLiteral("hiBrowse.headercolor")).split(u','))
        if (const auto c = lingo::parseColor(v))
            FUZZ_CHECK(lingo::parseColor(QString::number(c->red | c->green << 8 | c->blue << 16)) ==
                       c);
    return 0;
}
