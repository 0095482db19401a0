// Update checks: where the update server and the product web site are, the addresses
// asked and downloaded, how a server's date stamp is compared with a local file's, the
// texts the window shows, and the bounded wait for the service browser's answer.
#pragma once

#include <QString>

#include <cstdint>

namespace support {

// Defaults for the keys of "index.ini", section "Application": addresses under the
// reserved ".example" domain, so an unconfigured copy never asks a real host.
inline constexpr char16_t kDefaultUpdateServer[] = u"http://updates.trawlex.example/";
inline constexpr char16_t kDefaultWebSite[] = u"http://www.trawlex.example/";
inline constexpr char16_t kDefaultSupportMail[] = u"support@trawlex.example";

// "UpdateServer" and "WebSite": absolute http or https addresses, read afresh at each
// call. A value that is missing, empty or not such an address gives the default; one
// without a trailing "/" gets one, since file names are appended to it directly.
QString ReadUpdateServer(const QString& progDir);
QString ReadWebSite(const QString& progDir);
// "SupportMail": the address problem reports go to; an empty value gives the default.
QString ReadSupportMail(const QString& progDir);

// The base-address rule above, applied to a value already read.
QString BaseUrlOrDefault(const QString& value, const QString& fallback);

// The template's file name without its folder ("/" and "\" both end a folder).
QString TemplateFileName(const QString& path);

// server + distrib + "progdate.php?prog=self"; backslashes in distrib stay as they are.
QString ProgramQueryUrl(const QString& server, const QString& distrib);
// site + distrib + "trxsetup.exe", every backslash of the result turned into "/".
QString ProgramDownloadUrl(const QString& site, const QString& distrib);
// server + "filedate.php?plugin=" + the file name, inserted as it is (not encoded).
QString TemplateQueryUrl(const QString& server, const QString& templatePath);
// server + "templates/" + the file name.
QString TemplateDownloadUrl(const QString& server, const QString& templatePath);

// A stamp or answer read as a 32-bit signed decimal number with an optional sign;
// anything else (letters, an empty text, a number out of range) reads as 0.
std::int32_t StampNumber(const QString& text);
// Characters up to U+0020 dropped from both ends, as the answer is compared.
QString TrimStampAnswer(const QString& answer);
// The server's file is newer when the local stamp's number is strictly smaller than the
// trimmed answer's.
bool IsNewerStamp(const QString& localStamp, const QString& answer);

// The window's texts, lines joined by line feeds; the answer is shown as received.
QString UpgradeMessage(const QString& site, const QString& localStamp, const QString& answer);
QString TemplateUpdateMessage(const QString& downloadUrl, const QString& localStamp,
                              const QString& answer);
QString NoUpgradesCaption(const QString& appName);
inline constexpr char16_t kUpToDateMessage[] = u"Your software is up to date!";
QString ProgramDownloadMessage(const QString& url);
QString ProgramDownloadFailedMessage(const QString& url);
QString TemplateDownloadMessage(const QString& url);
inline constexpr char16_t kTemplateDownloadFailedMessage[] = u"Can't download this plugin!";

// The blinking of the template update button.
inline constexpr char16_t kUpdatePluginCaption[] = u"Update this plugin?";
// What follows the URL's last "/" (all of it without one), up to its first "." (all of
// it without one).
QString BlinkShortName(const QString& downloadUrl);
// The caption after currentCaption: the first 18 characters of the short name and "..."
// while the caption is the button's own, its own caption otherwise.
QString NextBlinkCaption(const QString& currentCaption, const QString& downloadUrl);

// What the service query needs of a browser.
class ServiceBrowser {
public:
    virtual ~ServiceBrowser() = default;
    virtual void navigate(const QString& url) = 0;
    virtual bool isComplete() const = 0; // the ready state is READYSTATE_COMPLETE
    // The source text of the document held now; may process events, but returns within
    // roughly `limitMs` milliseconds.
    virtual QString sourceText(std::uint32_t limitMs) = 0;
};

inline constexpr std::uint32_t kServiceQueryLimitMs = 5000;
// Least time left for reading the document once the wait is over: a page that
// completes at the last moment is still read.
inline constexpr std::uint32_t kMinimumReadMs = 500;

// Navigates the browser to url and processes events until it reports completion or
// limitMs ticks have passed on the tick counter (measured modulo 2^32, so the limit
// holds however long the system has run), then returns the document's source text,
// whatever the browser holds at that moment. Returns at once, with an empty answer,
// when shutdown begins.
QString ServiceQuery(ServiceBrowser& browser, const QString& url,
                     std::uint32_t limitMs = kServiceQueryLimitMs);

// One check: the local stamp, the server's answer and the verdict.
struct StampCheck {
    QString localStamp;
    QString answer; // as received
    bool newer = false;
};
// Asks queryUrl through browser and compares the answer with the stamp of localFile
// ("18991230" when its date cannot be read).
StampCheck CheckStamp(ServiceBrowser& browser, const QString& queryUrl, const QString& localFile,
                      std::uint32_t limitMs = kServiceQueryLimitMs);

} // namespace support
