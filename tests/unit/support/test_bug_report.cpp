#include "support/BugReport.h"

#include "tests/support/QtPrinters.h"

#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace support;

namespace {

const QString kMail = QStringLiteral("support@trawlex.example");
const QString kVersion = QStringLiteral("1.3.3");

// What the mail program shows: the link's subject and body, decoded.
struct Draft {
    QString to, subject, body;
};
Draft open(const QString& link) {
    const QUrl url(link, QUrl::TolerantMode);
    const QUrlQuery query(url);
    return {url.path(), query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
            query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)};
}

TEST(BugReport, NamesTheTemplateAndTheProgram) {
    const QString link =
        BugReportLink(kMail, QStringLiteral("AU-YP"), QStringLiteral("Trawlex - "), kVersion);
    EXPECT_EQ(link,
              QStringLiteral("mailto:support@trawlex.example?subject=Your TRX PlugIn doesn't "
                             "work!&body=Extraction with AU-YP doesn't seem to be working. "
                             "%0A%0AApplication name and version is Trawlex - 1.3.3. Please fix "
                             "it!%0A%0AGive details (and specific web pages if applicable)."
                             "%0A%0ADon't forget to leave your full name..."));
    const Draft d = open(link);
    EXPECT_EQ(d.to, kMail);
    EXPECT_EQ(d.subject, QStringLiteral("Your TRX PlugIn doesn't work!"));
    EXPECT_EQ(d.body, QStringLiteral("Extraction with AU-YP doesn't seem to be working. \n\n"
                                     "Application name and version is Trawlex - 1.3.3. Please "
                                     "fix it!\n\nGive details (and specific web pages if "
                                     "applicable).\n\nDon't forget to leave your full name..."));
}

TEST(BugReport, KeepsTheWholeBodyWhateverTheNamesHold) {
    struct Case {
        QString name, prefix, expectedInLink;
    };
    const Case cases[] = {
        // A changed title prefix goes in as it is, the version right after it.
        {QStringLiteral("AU-YP"), QStringLiteral("MyTrawl v"),
         QStringLiteral("version is MyTrawl v1.3.3. Please")},
        {QStringLiteral("Smith & Sons #2"), QStringLiteral("Trawlex - "),
         QStringLiteral("with Smith %26 Sons %232 doesn't")},
        {QStringLiteral("A+B? 100%"), QStringLiteral("T&T #1 + ? % "),
         QStringLiteral("with A%2BB%3F 100%25 doesn't")},
        {QStringLiteral("Zürich Gelbe Seiten"), QStringLiteral("T&T #1 + ? % "),
         QStringLiteral("version is T%26T %231 %2B %3F %25 1.3.3. Please")},
        {QString(), QStringLiteral("Trawlex - "), QStringLiteral("with  doesn't")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " / " + c.prefix.toStdString());
        const QString link = BugReportLink(kMail, c.name, c.prefix, kVersion);
        EXPECT_TRUE(link.contains(c.expectedInLink)) << link.toStdString();
        EXPECT_EQ(link.count(QStringLiteral("%0A")), 6);
        const Draft d = open(link);
        EXPECT_EQ(d.subject, QStringLiteral("Your TRX PlugIn doesn't work!"));
        EXPECT_TRUE(d.body.startsWith(QStringLiteral("Extraction with ") + c.name +
                                      QStringLiteral(" doesn't seem to be working. \n\n")))
            << d.body.toStdString();
        EXPECT_TRUE(d.body.contains(QStringLiteral("version is ") + c.prefix + kVersion +
                                    QStringLiteral(". Please fix it!")))
            << d.body.toStdString();
        EXPECT_TRUE(d.body.endsWith(QStringLiteral("Don't forget to leave your full name...")));
    }
}

} // namespace
