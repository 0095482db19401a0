#include "support/UpdateCheck.h"

#include "platform/IniFile.h"
#include "platform/Ticks.h"
#include "plugins/HomePage.h"

#include <QThread>
#include <QUrl>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace support {

namespace {

QString readKey(const QString& progDir, const QString& key, const char16_t* fallback) {
    return platform::IniFile::read(progDir + u"index.ini"_s, u"Application"_s, key,
                                   QString::fromUtf16(fallback));
}

QString joinLines(std::initializer_list<QString> lines) {
    QString text;
    bool first = true;
    for (const QString& line : lines) {
        if (!first)
            text += u'\n';
        text += line;
        first = false;
    }
    return text;
}

} // namespace

QString BaseUrlOrDefault(const QString& value, const QString& fallback) {
    const QString v = value.trimmed();
    const QUrl url(v, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (v.isEmpty() || !url.isValid() || (scheme != u"http"_s && scheme != u"https"_s) ||
        url.host().isEmpty())
        return fallback;
    return v.endsWith(u'/') ? v : v + u'/';
}

QString ReadUpdateServer(const QString& progDir) {
    return BaseUrlOrDefault(readKey(progDir, u"UpdateServer"_s, kDefaultUpdateServer),
                            QString::fromUtf16(kDefaultUpdateServer));
}

QString ReadWebSite(const QString& progDir) {
    return BaseUrlOrDefault(readKey(progDir, u"WebSite"_s, kDefaultWebSite),
                            QString::fromUtf16(kDefaultWebSite));
}

QString ReadSupportMail(const QString& progDir) {
    const QString mail = readKey(progDir, u"SupportMail"_s, kDefaultSupportMail).trimmed();
    return mail.isEmpty() ? QString::fromUtf16(kDefaultSupportMail) : mail;
}

QString TemplateFileName(const QString& path) {
    const qsizetype sep = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(sep + 1);
}

QString ProgramQueryUrl(const QString& server, const QString& distrib) {
    return server + distrib + u"progdate.php?prog=self"_s;
}

QString ProgramDownloadUrl(const QString& site, const QString& distrib) {
    QString url = site + distrib + u"trxsetup.exe"_s;
    url.replace(u'\\', u'/');
    return url;
}

QString TemplateQueryUrl(const QString& server, const QString& templatePath) {
    return server + u"filedate.php?plugin="_s + TemplateFileName(templatePath);
}

QString TemplateDownloadUrl(const QString& server, const QString& templatePath) {
    return server + u"templates/"_s + TemplateFileName(templatePath);
}

std::int32_t StampNumber(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return 0;
    // Accumulated as a negative number so that the smallest 32-bit value fits.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 - (c - u'0');
        if (value < std::numeric_limits<std::int32_t>::min())
            return 0;
    }
    if (!negative) {
        if (-value > std::numeric_limits<std::int32_t>::max())
            return 0;
        return static_cast<std::int32_t>(-value);
    }
    return static_cast<std::int32_t>(value);
}

QString TrimStampAnswer(const QString& answer) {
    qsizetype begin = 0;
    qsizetype end = answer.size();
    while (begin < end && answer[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && answer[end - 1].unicode() <= 0x20)
        --end;
    return answer.mid(begin, end - begin);
}

bool IsNewerStamp(const QString& localStamp, const QString& answer) {
    return StampNumber(localStamp) < StampNumber(TrimStampAnswer(answer));
}

QString UpgradeMessage(const QString& site, const QString& localStamp, const QString& answer) {
    return joinLines({QString(), QStringLiteral("UPGRADE WARNING"),
                      QStringLiteral("This software has been updated."),
                      QStringLiteral("Please download the newer file at your earliest"),
                      QStringLiteral("convenience from: ") + site + QStringLiteral("..."),
                      QString(), QStringLiteral("Or click on the button on my left..."), QString(),
                      localStamp + QStringLiteral(" f-w ") + answer});
}

QString TemplateUpdateMessage(const QString& downloadUrl, const QString& localStamp,
                              const QString& answer) {
    return joinLines(
        {QStringLiteral("There is an update for this plugin:"), downloadUrl,
         QStringLiteral("Datestamps: ") + localStamp + QStringLiteral(" f-w ") + answer});
}

QString NoUpgradesCaption(const QString& appName) {
    return appName + QStringLiteral(" - No online upgrades detected...");
}

QString ProgramDownloadMessage(const QString& url) {
    return joinLines({QStringLiteral("Attempting to download your update: "), url,
                      QStringLiteral("Please save the file to a temporary folder...")});
}

QString ProgramDownloadFailedMessage(const QString& url) {
    return joinLines({QStringLiteral("Can't download! Please do it manually"),
                      QStringLiteral("from our web site, file:") + url});
}

QString TemplateDownloadMessage(const QString& url) {
    return joinLines({QStringLiteral("Attempting to download plugin: "), url,
                      QStringLiteral("Please save this file to the Trawlex folder,"),
                      QStringLiteral("or to a folder where you may easily find it again...")});
}

QString BlinkShortName(const QString& downloadUrl) {
    QString name = downloadUrl.mid(downloadUrl.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString NextBlinkCaption(const QString& currentCaption, const QString& downloadUrl) {
    const QString own = QString::fromUtf16(kUpdatePluginCaption);
    if (currentCaption == own)
        return BlinkShortName(downloadUrl).left(18) + QStringLiteral("...");
    return own;
}

QString ServiceQuery(ServiceBrowser& browser, const QString& url, std::uint32_t limitMs) {
    if (platform::isShuttingDown())
        return {};
    const std::uint32_t start = platform::GetTickCount();
    browser.navigate(url);
    // Unsigned subtraction gives the elapsed ticks modulo 2^32.
    const auto elapsed = [start] {
        return static_cast<std::uint32_t>(platform::GetTickCount() - start);
    };
    for (;;) {
        platform::processMessages();
        if (platform::isShuttingDown())
            return {};
        if (browser.isComplete() || elapsed() >= limitMs)
            break;
        QThread::msleep(1);
    }
    const std::uint32_t used = elapsed();
    const std::uint32_t left = used < limitMs ? limitMs - used : 0;
    return browser.sourceText(std::max(left, kMinimumReadMs));
}

StampCheck CheckStamp(ServiceBrowser& browser, const QString& queryUrl, const QString& localFile,
                      std::uint32_t limitMs) {
    StampCheck check;
    check.answer = ServiceQuery(browser, queryUrl, limitMs);
    check.localStamp = FileDateStamp(localFile);
    check.newer = IsNewerStamp(check.localStamp, check.answer);
    return check;
}

} // namespace support
