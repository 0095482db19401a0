// The start page: the template files of the program folder, grouped by country, filled
// into the page template "index.tpl.html" and written as "index.html".
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

// The masks a template file name matches, ";" between them.
inline constexpr char16_t kTemplateMasks[] = u"*.orp*;*.op*;.o*";

// The files (not folders) directly in folder whose names match kTemplateMasks without
// regard to letter case, as bare names, sorted alphabetically without regard to letter
// case. An unreadable or missing folder gives an empty list.
QStringList TemplateFileList(const QString& folder);

// The user's own template folder, listed after the program folder so that templates can be
// added without write access there: $XDG_DATA_HOME/trawlex/templates, or
// ~/.local/share/trawlex/templates when XDG_DATA_HOME is unset, empty or relative (as the
// XDG base directory rules say). Not created here.
QString UserTemplateFolder();

struct TCountryCode {
    const char16_t* Name;
    const char16_t* Code;
};

// Searched in this order.
extern const std::array<TCountryCode, 13> CountryCodes;

// The first two characters of fileName, ASCII letters in lower case.
QString CountryCode(const QString& fileName);
// The name of the first country whose code equals code exactly; empty when none does.
QString CountryName(const QString& code);

// "yyyymmdd" of a modification time in local time: "18991230" (the zero date) for an
// invalid time, empty when the year cannot be written with four digits.
QString DateStamp(const QDateTime& modified);
// The stamp of a file's last modification; a file whose date cannot be read gives
// "18991230".
QString FileDateStamp(const QString& path);

// Text made safe for an HTML text node or a quoted attribute value.
QString HtmlEscape(const QString& text);

// A file name without its extension, HTML-escaped, each "_" as "&nbsp;&nbsp;".
QString TemplateDisplayName(const QString& fileName);

// The list text of the start page: a heading per country and a link per file, in list
// order. programDir ends in "/"; dateStamp answers the stamp of a file name (of
// programDir + name unless the caller decides otherwise).
QString BuildTemplateList(const QStringList& files, const QString& programDir,
                          const std::function<QString(const QString& fileName)>& dateStamp);

// The template files of one folder, as TemplateFileList gives them; path ends in "/".
struct TemplateFolder {
    QString path;
    QStringList files;
};

// The same list over several folders, one after the other, with one count at the end:
// each link names its own folder, the flags always come from programDir. dateStamp
// answers the stamp of a full path.
QString BuildTemplateList(const QList<TemplateFolder>& folders, const QString& programDir,
                          const std::function<QString(const QString& path)>& dateStamp);

// Replaces every occurrence of the six placeholders, case-sensitively, in this order:
// "<§LIST§>", "<$LIST$>" by listText, "<§ProgDir§>", "<$ProgDir$>" by the program
// folder, "<§IMAGE§>", "<$IMAGE$>" by the path of "index.png" in it.
QString FillPageTemplate(QString page, const QString& listText, const QString& programDir);

enum class IndexErrorCode {
    None,
    TemplateUnreadable, // the page template is missing or cannot be read
    PageUnwritable,     // "index.html" cannot be written
};

struct IndexError {
    IndexErrorCode code = IndexErrorCode::None;
    QString message; // the file system's text
};

struct IndexPage {
    QString path; // the written "index.html"
    QString html; // the filled page, as written
    IndexError error;
    bool ok() const { return error.code == IndexErrorCode::None; }
};

// The text of a page template file: a byte-order mark names its encoding; without one,
// UTF-8, or Windows-1252 when the bytes are not valid UTF-8.
QString DecodePageTemplate(const QByteArray& bytes);

// Builds the list text of files, fills the page template programDir + distrib +
// "index.tpl.html" and writes the page as "index.html" into tempFolder (which exists),
// replacing an earlier page. The page is written in UTF-8 with a byte-order mark, which
// the browser honours above any charset the page template declares. On an error nothing
// is written. The user's templates, when there are any, are listed after the program
// folder's.
IndexPage WriteIndexToDisk(const QStringList& files, const QString& programDir,
                           const QString& distrib, const QString& tempFolder,
                           const TemplateFolder& user = {});
