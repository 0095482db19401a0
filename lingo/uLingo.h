#pragma once

#include <QString>

#include <optional>
#include <span>

// The translatable interface texts: one table of keys with their built-in defaults,
// read once at start-up from the language file.
namespace lingo {

// A plain RGB colour, so the table needs no graphics library.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Where a key's text goes.
enum class Apply {
    Hint,          // tool tip of a tool bar button
    HeaderFill,    // fill colour of both side-bar headers
    HeaderCaption, // caption colour of both side-bar headers
    Caption,       // caption of a side-bar item, header, check box or page tab
    SpeedLabel,    // label of the speed spin box: 18 blanks + the text
    IndicatorText, // first text of the progress indicator
    Message,       // one of the message variables
};

struct Key {
    const char16_t* section;
    const char16_t* key;
    const char16_t* defaultText;
    const char* element; // object name of the element, or the message variable
    Apply apply;
};

std::span<const Key> buttonKeys();
std::span<const Key> leftBarKeys();
std::span<const Key> messageKeys();

// The message variables; empty until ApplyLingo has filled them.
extern QString sNosaveExcel1;
extern QString sNosaveExcel2;
extern QString sNoValidTemplate;
extern QString sBrowserReady;
extern QString sNoTemplate;
extern QString sSlowProcess;
extern QString sLinesInGrid;
// The capture journal; %1 stands for a number or a file path.
extern QString sRestoredLines;
extern QString sJournalNotKept;
extern QString sJournalMovedAside;
extern QString sJournalSecondWindow;
void clearMessages();

// A colour name ("clRed", any letter case), a decimal number, or "$" and hexadecimal
// digits, read as 0x00BBGGRR. Nothing for anything else.
std::optional<Rgb> parseColor(const QString& value);

// What ApplyLingo writes to; the main window implements it.
class Target {
public:
    virtual ~Target() = default;
    virtual void setHint(const char* element, const QString& text) = 0;
    virtual void setHeaderColors(const Rgb& caption, const Rgb& fill) = 0;
    virtual void setCaption(const char* element, const QString& text) = 0;
    virtual void setSpeedLabel(const QString& text) = 0;
    virtual void setIndicatorText(const QString& text) = 0;
};

// Finds `folder`/"trawlex.ini" below `progDir` without regard to the letter case of the
// folder and the file name; the lower-case path when nothing matches.
QString languageFilePath(const QString& progDir, const QString& folder);

// Applies the language file in table order: the button hints, the header colours, the
// other side-bar texts, then the messages. A colour that is neither a name nor a number
// keeps the default colour and the rest still applies.
void ApplyLingo(const QString& fileName, Target& window);

} // namespace lingo
