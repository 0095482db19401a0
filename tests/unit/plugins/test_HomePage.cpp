#include "HomePage.h"
#include "PrintQt.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

QString stamp(const QString&) {
    return QStringLiteral("20240131");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QString kOpening = QStringLiteral(R"(<div id="list3"><ul>)");

QString closing(int n) {
    return QStringLiteral("<hr><strong>%1 templates found</strong><br></ul></div>").arg(n);
}

QString heading(const QString& dir, const QString& code, const QString& name) {
    return QStringLiteral(R"(<br><h2><img src=")") + dir + u"flags/"_s + code +
           QStringLiteral(
               R"(.png" width="30" height="20" border="1">&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;)") +
           code.toUpper() + u" = "_s + name + u"</h2>"_s;
}

QString line(const QString& href, const QString& display, const QString& stampText) {
    return QStringLiteral(R"(<li class="lien"><a href=")") + href + u"\">"_s + display +
           u"</a>&nbsp;&nbsp;&nbsp;[datestamp: "_s + stampText + u"]</li><br>"_s;
}

TEST(TemplateFileList, MatchesTheMasksIgnoringCaseAndSortsIgnoringCase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name :
         {"us_b.orp", "AU_z.ORP", "au_a.orp", "fr.op", "de.opx", ".orp", ".other",
          "it_shop.orp.bak", "readme.txt", "orp", "es_x.or", "Us_a.orp", "us_c.orp.json"})
        writeFile(dir.filePath(QString::fromUtf8(name)), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.orp")));

    const QStringList expected = {QStringLiteral(".orp"),
                                  QStringLiteral(".other"),
                                  QStringLiteral("au_a.orp"),
                                  QStringLiteral("AU_z.ORP"),
                                  QStringLiteral("de.opx"),
                                  QStringLiteral("fr.op"),
                                  QStringLiteral("it_shop.orp.bak"),
                                  QStringLiteral("Us_a.orp"),
                                  QStringLiteral("us_b.orp"),
                                  QStringLiteral("us_c.orp.json")};
    EXPECT_EQ(TemplateFileList(dir.path()), expected);
    EXPECT_TRUE(TemplateFileList(dir.filePath(QStringLiteral("missing"))).isEmpty());
}

struct DataHomeCase {
    const char* xdgDataHome; // null: unset
    const char* expected;    // "~" stands for the home folder
};
class UserFolder : public ::testing::TestWithParam<DataHomeCase> {
protected:
    void SetUp() override {
        hadValue = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        saved = qgetenv("XDG_DATA_HOME");
    }
    void TearDown() override {
        if (hadValue)
            qputenv("XDG_DATA_HOME", saved);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    QByteArray saved;
    bool hadValue = false;
};
TEST_P(UserFolder, FollowsTheXdgDataHome) {
    if (GetParam().xdgDataHome)
        qputenv("XDG_DATA_HOME", GetParam().xdgDataHome);
    else
        qunsetenv("XDG_DATA_HOME");
    QString expected = QString::fromUtf8(GetParam().expected);
    expected.replace(u'~', QDir::homePath());
    EXPECT_EQ(UserTemplateFolder(), expected);
}
INSTANTIATE_TEST_SUITE_P(
    HomePage, UserFolder,
    ::testing::Values(DataHomeCase{"/data/me", "/data/me/trawlex/templates"},
                      DataHomeCase{"/data/me/", "/data/me/trawlex/templates"},
                      DataHomeCase{nullptr, "~/.local/share/trawlex/templates"},
                      DataHomeCase{"", "~/.local/share/trawlex/templates"},
                      DataHomeCase{"relative/dir", "~/.local/share/trawlex/templates"}));

TEST(CountryTable, CodesAndNames) {
    EXPECT_EQ(CountryCode(QStringLiteral("AU_shops.orp")), u"au"_s);
    EXPECT_EQ(CountryCode(QStringLiteral("\u00C9s.orp")), QStringLiteral("\u00C9s"));
    EXPECT_EQ(CountryName(QStringLiteral("za")), u"South Africa"_s);
    EXPECT_EQ(CountryName(QStringLiteral("us")), u"USA"_s);
    EXPECT_TRUE(CountryName(QStringLiteral("ZA")).isEmpty());
    EXPECT_TRUE(CountryName(QStringLiteral("xx")).isEmpty());
}

struct ListCase {
    const char* what;
    QStringList files;
    QString expected; // built with dir "/opt/trawlex/" and every stamp 20240131
};

class BuildTemplateListCases : public ::testing::TestWithParam<ListCase> {};

TEST_P(BuildTemplateListCases, ListText) {
    EXPECT_EQ(BuildTemplateList(GetParam().files, QStringLiteral("/opt/trawlex/"), stamp),
              GetParam().expected)
        << GetParam().what;
}

const QString kDir = QStringLiteral("/opt/trawlex/");
const QString kStamp = QStringLiteral("20240131");

INSTANTIATE_TEST_SUITE_P(
    Fragments, BuildTemplateListCases,
    ::testing::Values(
        ListCase{"no templates", {}, kOpening + closing(0)},
        ListCase{"upper and lower case codes share one heading",
                 {QStringLiteral("AU_north.orp"), QStringLiteral("au_south.orp")},
                 kOpening + heading(kDir, QStringLiteral("au"), QStringLiteral("Australia")) +
                     line(kDir + u"AU_north.orp"_s, QStringLiteral("AU&nbsp;&nbsp;north"), kStamp) +
                     line(kDir + u"au_south.orp"_s, QStringLiteral("au&nbsp;&nbsp;south"), kStamp) +
                     closing(2)},
        ListCase{"a first file starting yy gets no heading, the next country does",
                 {QStringLiteral("YY_test.orp"), QStringLiteral("za_cape.orp")},
                 kOpening +
                     line(kDir + u"YY_test.orp"_s, QStringLiteral("YY&nbsp;&nbsp;test"), kStamp) +
                     heading(kDir, QStringLiteral("za"), QStringLiteral("South Africa")) +
                     line(kDir + u"za_cape.orp"_s, QStringLiteral("za&nbsp;&nbsp;cape"), kStamp) +
                     closing(2)},
        ListCase{"each underscore becomes two entities and the extension goes",
                 {QStringLiteral("au_shops_north.orp")},
                 kOpening + heading(kDir, QStringLiteral("au"), QStringLiteral("Australia")) +
                     line(kDir + u"au_shops_north.orp"_s,
                          QStringLiteral("au&nbsp;&nbsp;shops&nbsp;&nbsp;north"), kStamp) +
                     closing(1)},
        ListCase{"an unknown code gets an empty name; only the last extension goes",
                 {QStringLiteral("xx.shop.orp"), QStringLiteral("us.orp")},
                 kOpening + heading(kDir, QStringLiteral("xx"), QString()) +
                     line(kDir + u"xx.shop.orp"_s, QStringLiteral("xx.shop"), kStamp) +
                     heading(kDir, QStringLiteral("us"), QStringLiteral("USA")) +
                     line(kDir + u"us.orp"_s, QStringLiteral("us"), kStamp) + closing(2)}));

TEST(BuildTemplateList, FileNamesAndFolderCannotBreakOutOfThePage) {
    const QString dir = QStringLiteral("/home/a&b/\"q\" <x>/");
    const QString file = QStringLiteral("us_<script>alert('x')</script>&_\"#1?.orp");
    const QString list = BuildTemplateList({file}, dir, stamp);
    EXPECT_FALSE(list.contains(u"<script>"_s));
    EXPECT_FALSE(list.contains(u"<x>"_s));
    const QString escapedDir = QStringLiteral("/home/a&amp;b/&quot;q&quot; &lt;x&gt;/");
    // The link target stays one attribute value; "#" and "?" cannot cut the path short.
    EXPECT_TRUE(list.contains(
        u"<a href=\""_s + escapedDir +
        u"us_&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;_&quot;%231%3F.orp\">"_s))
        << list.toStdString();
    // The entities for "_" are put in after escaping, so they stay entities.
    EXPECT_TRUE(list.contains(
        u"\">us&nbsp;&nbsp;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&nbsp;&nbsp;&quot;#1?</a>"_s))
        << list.toStdString();
    EXPECT_TRUE(list.contains(u"<img src=\""_s + escapedDir + u"flags/us.png\""_s));
}

TEST(BuildTemplateList, UserFolderFollowsTheProgramFolderUnderOneCount) {
    const QString user = QStringLiteral("/home/u/.local/share/trawlex/templates/");
    const QList<TemplateFolder> folders{
        {kDir, {QStringLiteral("au_a.orp"), QStringLiteral("us_b.orp")}},
        {user, {QStringLiteral("us_mine.orp.json"), QStringLiteral("za_x.orp")}}};
    // Each link names its own folder; the stamp is asked for the full path; flags always
    // come from the program folder; a user file of the country just listed joins its
    // heading.
    QStringList asked;
    const QString list = BuildTemplateList(folders, kDir, [&](const QString& path) {
        asked << path;
        return kStamp;
    });
    EXPECT_EQ(list, kOpening + heading(kDir, QStringLiteral("au"), QStringLiteral("Australia")) +
                        line(kDir + u"au_a.orp"_s, QStringLiteral("au&nbsp;&nbsp;a"), kStamp) +
                        heading(kDir, QStringLiteral("us"), QStringLiteral("USA")) +
                        line(kDir + u"us_b.orp"_s, QStringLiteral("us&nbsp;&nbsp;b"), kStamp) +
                        line(user + u"us_mine.orp.json"_s, QStringLiteral("us&nbsp;&nbsp;mine.orp"),
                             kStamp) +
                        heading(kDir, QStringLiteral("za"), QStringLiteral("South Africa")) +
                        line(user + u"za_x.orp"_s, QStringLiteral("za&nbsp;&nbsp;x"), kStamp) +
                        closing(4));
    EXPECT_EQ(asked, (QStringList{kDir + u"au_a.orp"_s, kDir + u"us_b.orp"_s,
                                  user + u"us_mine.orp.json"_s, user + u"za_x.orp"_s}));
    // One folder through either form gives the same text.
    EXPECT_EQ(BuildTemplateList(QList<TemplateFolder>{folders[0]}, kDir,
                                [](const QString&) { return kStamp; }),
              BuildTemplateList(folders[0].files, kDir, stamp));
}

TEST(FillPageTemplate, ReplacesEveryPlaceholderInBothForms) {
    const QString page = QStringLiteral(
        "<html><§LIST§>|<$LIST$>|<§LIST§>|<§ProgDir§>|<$ProgDir$>|<§IMAGE§>|<$IMAGE$>"
        "|<$IMAGE$>|<§list§></html>");
    EXPECT_EQ(FillPageTemplate(page, QStringLiteral("L"), QStringLiteral("/opt/t x/")),
              QStringLiteral("<html>L|L|L|/opt/t x/|/opt/t x/|/opt/t x/index.png|/opt/t "
                             "x/index.png|/opt/t x/index.png|<§list§></html>"));
}

TEST(FillPageTemplate, PageWithoutPlaceholdersStaysUnchanged) {
    const QString page = QStringLiteral("<html><body>No list here: <$LIST <§ $></body></html>");
    EXPECT_EQ(FillPageTemplate(page, QStringLiteral("L"), QStringLiteral("/opt/")), page);
}

TEST(FillPageTemplate, AFileNamedLikeAPlaceholderIsNotExpandedLater) {
    const QString list =
        BuildTemplateList({QStringLiteral("<$ProgDir$>.orp")}, QStringLiteral("/p/"), stamp);
    const QString page = FillPageTemplate(QStringLiteral("<$LIST$>"), list, QStringLiteral("/p/"));
    EXPECT_EQ(page, list);
}

TEST(DateStamp, LocalDateOfTheModificationTime) {
    EXPECT_EQ(DateStamp(QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59))), u"20240131"_s);
    EXPECT_EQ(DateStamp(QDateTime(QDate(987, 5, 6), QTime(12, 0))), u"09870506"_s);
    EXPECT_EQ(DateStamp(QDateTime()), u"18991230"_s);
    EXPECT_TRUE(DateStamp(QDateTime(QDate(10000, 1, 1), QTime(12, 0))).isEmpty());
    // A moment is written as the local calendar date it falls on.
    const QDateTime utc(QDate(2023, 6, 30), QTime(23, 30), QTimeZone::utc());
    EXPECT_EQ(DateStamp(utc), utc.toLocalTime().date().toString(u"yyyyMMdd"_s));
}

TEST(DateStamp, OfAFileAndOfAMissingFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("us_x.orp"));
    writeFile(path, "x");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(10, 0)),
                              QFileDevice::FileModificationTime));
    f.close();
    EXPECT_EQ(FileDateStamp(path), u"20210304"_s);
    EXPECT_EQ(FileDateStamp(dir.filePath(QStringLiteral("gone.orp"))), u"18991230"_s);
}

class WriteIndexToDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        ASSERT_TRUE(temp.isValid());
        programDir = program.path() + u'/';
        tempDir = temp.path() + u'/';
    }
    QTemporaryDir program;
    QTemporaryDir temp;
    QString programDir;
    QString tempDir;
};

TEST_F(WriteIndexToDiskTest, WritesTheFilledPageAsUtf8WithByteOrderMark) {
    writeFile(programDir + u"index.tpl.html"_s,
              QStringLiteral("<p>Caf\u00E9 <§LIST§></p><img src=\"<$IMAGE$>\">").toUtf8());
    writeFile(programDir + u"au_x.orp"_s, "x");
    writeFile(tempDir + u"index.html"_s, "an earlier page, longer than the new one will be ....");

    const IndexPage page = WriteIndexToDisk({QStringLiteral("au_x.orp")}, programDir, {}, tempDir);
    ASSERT_TRUE(page.ok()) << page.error.message.toStdString();
    EXPECT_EQ(page.path, tempDir + u"index.html"_s);
    const QString list =
        BuildTemplateList({QStringLiteral("au_x.orp")}, programDir,
                          [&](const QString& f) { return FileDateStamp(programDir + f); });
    const QString expected =
        u"<p>Caf\u00E9 "_s + list + u"</p><img src=\""_s + programDir + u"index.png\">"_s;
    EXPECT_EQ(page.html, expected);
    EXPECT_EQ(readFile(page.path), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());
}

TEST_F(WriteIndexToDiskTest, ReadsTheTemplateBehindTheDistributionPrefix) {
    ASSERT_TRUE(QDir(programDir).mkdir(QStringLiteral("dist")));
    writeFile(programDir + u"index.tpl.html"_s, "main <$LIST$>");
    writeFile(programDir + u"dist/index.tpl.html"_s, "dist <$LIST$>");
    // A prefix written with a Windows separator names the same sub-folder.
    const IndexPage page = WriteIndexToDisk({}, programDir, QStringLiteral("dist\\"), tempDir);
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.html, u"dist "_s + kOpening + closing(0));
}

TEST_F(WriteIndexToDiskTest, TemplateInWindows1252WithSectionSigns) {
    // "<§LIST§>" with § as the single byte 0xA7, and an "é" as 0xE9.
    writeFile(programDir + u"index.tpl.html"_s, "caf\xE9 <\xA7LIST\xA7>");
    const IndexPage page = WriteIndexToDisk({}, programDir, {}, tempDir);
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.html, u"caf\u00E9 "_s + kOpening + closing(0));
}

TEST_F(WriteIndexToDiskTest, TemplateInUtf16WithByteOrderMark) {
    const QString text = QStringLiteral("<§LIST§> \u0141\u00F3d\u017A");
    QByteArray bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    writeFile(programDir + u"index.tpl.html"_s, bytes);
    const IndexPage page = WriteIndexToDisk({}, programDir, {}, tempDir);
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.html, kOpening + closing(0) + u" \u0141\u00F3d\u017A"_s);
}

TEST_F(WriteIndexToDiskTest, MissingTemplateWritesNothing) {
    const IndexPage page = WriteIndexToDisk({}, programDir, {}, tempDir);
    EXPECT_EQ(page.error.code, IndexErrorCode::TemplateUnreadable);
    EXPECT_FALSE(page.error.message.isEmpty());
    EXPECT_FALSE(QFile::exists(tempDir + u"index.html"_s));
}

TEST_F(WriteIndexToDiskTest, UnwritableTargetIsReported) {
    writeFile(programDir + u"index.tpl.html"_s, "<$LIST$>");
    // A plain file where the temporary folder should be: nothing can be created in it.
    writeFile(tempDir + u"not_a_folder"_s, "x");
    const IndexPage page = WriteIndexToDisk({}, programDir, {}, tempDir + u"not_a_folder/"_s);
    EXPECT_EQ(page.error.code, IndexErrorCode::PageUnwritable);
    EXPECT_FALSE(page.error.message.isEmpty());
}

TEST_F(WriteIndexToDiskTest, UserTemplatesAreListedAfterTheProgramFolders) {
    QTemporaryDir userDir;
    ASSERT_TRUE(userDir.isValid());
    const QString user = userDir.path() + u'/';
    writeFile(programDir + u"index.tpl.html"_s, "<$LIST$>");
    writeFile(programDir + u"us_b.orp"_s, "x");
    writeFile(user + u"au_mine.orp.json"_s, "{}");

    const IndexPage without =
        WriteIndexToDisk({QStringLiteral("us_b.orp")}, programDir, {}, tempDir);
    ASSERT_TRUE(without.ok());
    // An empty user folder leaves the page exactly as it is without one.
    const IndexPage empty = WriteIndexToDisk({QStringLiteral("us_b.orp")}, programDir, {}, tempDir,
                                             TemplateFolder{user, {}});
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.html, without.html);

    const IndexPage page = WriteIndexToDisk({QStringLiteral("us_b.orp")}, programDir, {}, tempDir,
                                            TemplateFolder{user, TemplateFileList(user)});
    ASSERT_TRUE(page.ok());
    const qsizetype program = page.html.indexOf(u"href=\""_s + programDir + u"us_b.orp\""_s);
    const qsizetype mine = page.html.indexOf(u"href=\""_s + user + u"au_mine.orp.json\""_s);
    ASSERT_GE(program, 0) << page.html.toStdString();
    EXPECT_GT(mine, program) << page.html.toStdString();
    EXPECT_TRUE(
        page.html.contains(u"[datestamp: "_s + FileDateStamp(user + u"au_mine.orp.json"_s)));
    EXPECT_TRUE(page.html.endsWith(closing(2)));
}

} // namespace
