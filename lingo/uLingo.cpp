#include "lingo/uLingo.h"

#include "platform/IniFile.h"

#include <QDir>
#include <QFileInfo>

namespace lingo {

QString sNosaveExcel1;
QString sNosaveExcel2;
QString sNoValidTemplate;
QString sBrowserReady;
QString sNoTemplate;
QString sSlowProcess;
QString sLinesInGrid;
QString sRestoredLines;
QString sJournalNotKept;
QString sJournalMovedAside;
QString sJournalSecondWindow;

namespace {

constexpr Key kButtons[] = {
    {u"Buttons", u"tbbBack.hint", u"Go Back", "tbbBack", Apply::Hint},
    {u"Buttons", u"tbbForward.hint", u"Go Forward", "tbbForward", Apply::Hint},
    {u"Buttons", u"tbbRefresh.hint", u"Refresh Page", "tbbRefresh", Apply::Hint},
    {u"Buttons", u"tbbCSV.hint", u"Save as CSV text file", "tbbcsv", Apply::Hint},
    {u"Buttons", u"tbbOpen.hint", u"Open Page Template", "tbbOpen", Apply::Hint},
    {u"Buttons", u"tbbStop.hint", u"Stop Loading Page", "tbbStop", Apply::Hint},
    {u"Buttons", u"tbbSaveXLS.hint", u"Save as Excel data file", "tbbSaveXLS", Apply::Hint},
    {u"Buttons", u"tbbClear.hint", u"Empty Grid", "tbbClear", Apply::Hint},
    {u"Buttons", u"tbbDelete.hint", u"Delete selected lines", "tbbDelete", Apply::Hint},
    {u"Buttons", u"tbbHome.hint", u"Go to Start Page", "mnBtnHome", Apply::Hint},
    {u"Buttons", u"tbbCapture.hint", u"Capture Data from current Page", "tbbCapture", Apply::Hint},
    {u"Buttons", u"tbbArobase.hint", u"Capture Emails and other Extras (On/Off)", "tbbArobase",
     Apply::Hint},
    {u"Buttons", u"tbbDuplicates.hint", u"Delete Duplicates", "tbbDuplicates", Apply::Hint},
    {u"Buttons", u"tbbNoImg.hint", u"Show Images in Browser (On/Off)", "tbbNoImg", Apply::Hint},
};

constexpr Key kLeftBar[] = {
    {u"LeftBar", u"hiBrowse.headercolor", u"clBlack", "hiBrowse", Apply::HeaderFill},
    {u"LeftBar", u"hiBrowse.CaptionColor", u"clWhite", "hiBrowse", Apply::HeaderCaption},
    {u"LeftBar", u"itiCapture.Caption", u"Capture", "itiCapture", Apply::Caption},
    {u"LeftBar", u"itiSaveGrid.Caption", u"My Grid", "itiSaveGrid", Apply::Caption},
    {u"LeftBar", u"itiClose.Caption", u"Close Application", "itiClose", Apply::Caption},
    {u"LeftBar", u"hiBrowse.Caption", u"Browsing", "hiBrowse", Apply::Caption},
    {u"LeftBar", u"hiFeedback.Caption", u"Feedback", "hiFeedback", Apply::Caption},
    {u"LeftBar", u"cbAutoTurn.Caption", u"Automatic Page Turn", "cbAutoTurn", Apply::Caption},
    {u"LeftBar", u"spSpeed.Caption", u"                  Speed (seconds)", "spSpeed",
     Apply::SpeedLabel},
    {u"LeftBar", u"opWeb.Caption", u"Web Navigation", "opWeb", Apply::Caption},
    {u"LeftBar", u"opData.Caption", u"Data Grid", "opData", Apply::Caption},
    {u"LeftBar", u"mmIndic.text", u"Progress Indicator", "mmIndic", Apply::IndicatorText},
};

constexpr Key kMessages[] = {
    {u"inStrings", u"sNosaveExcel1", u"Problem saving to Excel!", "sNosaveExcel1", Apply::Message},
    {u"inStrings", u"sNosaveExcel2", u"Saved to CSV instead...", "sNosaveExcel2", Apply::Message},
    {u"inStrings", u"sNoValidTemplate", u"Not a valid ORPG file!", "sNoValidTemplate",
     Apply::Message},
    {u"inStrings", u"sBrowserReady", u"Browser ready", "sBrowserReady", Apply::Message},
    {u"inStrings", u"sNoTemplate", u"No template currently selected!", "sNoTemplate",
     Apply::Message},
    {u"inStrings", u"sSlowProcess", u"Slow Process. Please wait...", "sSlowProcess",
     Apply::Message},
    {u"inStrings", u"sLinesInGrid", u"lines in grid", "sLinesInGrid", Apply::Message},
    {u"inStrings", u"sRestoredLines", u"Restored %1 lines from the last session", "sRestoredLines",
     Apply::Message},
    {u"inStrings", u"sJournalNotKept",
     u"Warning: rows are not being kept (the journal cannot be written)", "sJournalNotKept",
     Apply::Message},
    {u"inStrings", u"sJournalMovedAside",
     u"The last session's journal could not be read. It was kept as %1 and the grid starts empty.",
     "sJournalMovedAside", Apply::Message},
    {u"inStrings", u"sJournalSecondWindow",
     u"Another Trawlex window keeps the last session. This one keeps its rows apart",
     "sJournalSecondWindow", Apply::Message},
};

QString* messageVariable(std::string_view name) {
    static const std::pair<std::string_view, QString*> vars[] = {
        {"sNosaveExcel1", &sNosaveExcel1},
        {"sNosaveExcel2", &sNosaveExcel2},
        {"sNoValidTemplate", &sNoValidTemplate},
        {"sBrowserReady", &sBrowserReady},
        {"sNoTemplate", &sNoTemplate},
        {"sSlowProcess", &sSlowProcess},
        {"sLinesInGrid", &sLinesInGrid},
        {"sRestoredLines", &sRestoredLines},
        {"sJournalNotKept", &sJournalNotKept},
        {"sJournalMovedAside", &sJournalMovedAside},
        {"sJournalSecondWindow", &sJournalSecondWindow},
    };
    for (const auto& [n, v] : vars)
        if (n == name)
            return v;
    return nullptr;
}

struct NamedColor {
    const char16_t* name;
    unsigned bgr; // 0x00BBGGRR
};

constexpr NamedColor kColors[] = {
    {u"clBlack", 0x000000},  {u"clMaroon", 0x000080},     {u"clGreen", 0x008000},
    {u"clOlive", 0x008080},  {u"clNavy", 0x800000},       {u"clPurple", 0x800080},
    {u"clTeal", 0x808000},   {u"clGray", 0x808080},       {u"clSilver", 0xC0C0C0},
    {u"clRed", 0x0000FF},    {u"clLime", 0x00FF00},       {u"clYellow", 0x00FFFF},
    {u"clBlue", 0xFF0000},   {u"clFuchsia", 0xFF00FF},    {u"clAqua", 0xFFFF00},
    {u"clWhite", 0xFFFFFF},  {u"clMoneyGreen", 0xC0DCC0}, {u"clSkyBlue", 0xF0CAA6},
    {u"clCream", 0xF0FBFF},  {u"clMedGray", 0xA4A0A0},    {u"clDkGray", 0x808080},
    {u"clLtGray", 0xC0C0C0},
};

Rgb fromBgr(quint32 v) {
    return Rgb{int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)};
}

QString text(const Key& k) {
    return QString::fromUtf16(k.defaultText);
}

} // namespace

std::span<const Key> buttonKeys() {
    return kButtons;
}
std::span<const Key> leftBarKeys() {
    return kLeftBar;
}
std::span<const Key> messageKeys() {
    return kMessages;
}

void clearMessages() {
    for (const Key& k : kMessages)
        messageVariable(k.element)->clear();
}

std::optional<Rgb> parseColor(const QString& value) {
    const QString v = value.trimmed();
    for (const NamedColor& c : kColors)
        if (v.compare(QString::fromUtf16(c.name), Qt::CaseInsensitive) == 0)
            return fromBgr(c.bgr);
    bool ok = false;
    qlonglong n = 0;
    if (v.startsWith(u'$'))
        n = v.mid(1).toLongLong(&ok, 16);
    else if (v.startsWith(u"0x", Qt::CaseInsensitive))
        n = v.mid(2).toLongLong(&ok, 16);
    else
        n = v.toLongLong(&ok, 10);
    // A colour is a 32-bit value; the high byte selects system colours, which have no
    // meaning here, so only plain RGB values are accepted.
    if (!ok || n < 0 || n > 0xFFFFFF)
        return std::nullopt;
    return fromBgr(static_cast<quint32>(n));
}

QString languageFilePath(const QString& progDir, const QString& folder) {
    QString dir = progDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    QStringList parts = QString(folder).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
    parts << QStringLiteral("trawlex.ini");
    for (const QString& part : parts) {
        QString found;
        if (part == u"." || part == u"..") {
            found = part;
        } else {
            const QStringList entries =
                QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            for (const QString& e : entries) {
                if (e == part) {
                    found = e;
                    break;
                }
                if (found.isEmpty() && e.compare(part, Qt::CaseInsensitive) == 0)
                    found = e;
            }
            if (found.isEmpty())
                found = part.toLower();
        }
        dir += found + u'/';
    }
    dir.chop(1);
    return dir;
}

void ApplyLingo(const QString& fileName, Target& window) {
    const platform::IniFile ini(fileName);
    const auto read = [&](const Key& k) {
        return ini.value(QString::fromUtf16(k.section), QString::fromUtf16(k.key), text(k));
    };
    for (const Key& k : kButtons)
        window.setHint(k.element, read(k));

    const Rgb fill = parseColor(read(kLeftBar[0])).value_or(*parseColor(text(kLeftBar[0])));
    const Rgb caption = parseColor(read(kLeftBar[1])).value_or(*parseColor(text(kLeftBar[1])));
    window.setHeaderColors(caption, fill);

    for (const Key& k : std::span(kLeftBar).subspan(2)) {
        const QString value = read(k);
        switch (k.apply) {
        case Apply::SpeedLabel:
            window.setSpeedLabel(QString(18, u' ') + value);
            break;
        case Apply::IndicatorText:
            window.setIndicatorText(value);
            break;
        default:
            window.setCaption(k.element, value);
            break;
        }
    }
    for (const Key& k : kMessages)
        *messageVariable(k.element) = read(k);
}

} // namespace lingo
