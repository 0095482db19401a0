#include "platform/SysFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using platform::GetTempFolder;
using platform::TempFolderCandidates;

namespace {

class TempFolder : public testing::Test {
protected:
    QString path(const char* rel) const { return root.filePath(QString::fromLatin1(rel)); }
    TempFolderCandidates candidates(QStringList folders) const {
        return TempFolderCandidates{std::move(folders), static_cast<unsigned>(::getuid())};
    }
    static int mode(const QString& p) {
        struct stat st {};
        ::lstat(QFile::encodeName(p).constData(), &st);
        return st.st_mode & 0777;
    }
    QTemporaryDir root;
};

TEST_F(TempFolder, CreatesTheFirstCandidatePrivateWithTrailingSlash) {
    QString error;
    const QString got = GetTempFolder(candidates({path("a"), path("b")}), &error);
    EXPECT_EQ(got, path("a") + QStringLiteral("/"));
    EXPECT_EQ(mode(path("a")), 0700);
    EXPECT_FALSE(QFileInfo::exists(path("b")));
}

TEST_F(TempFolder, FallsBackOneAttemptEachWithoutMakingParents) {
    QFile file(path("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QString error;
    const QString got =
        GetTempFolder(candidates({path("missing/parent/x"), path("file"), path("ok")}), &error);
    EXPECT_EQ(got, path("ok") + QStringLiteral("/"));
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
}

TEST_F(TempFolder, NeverUsesALinkOrAFileOrAFolderOpenToOthers) {
    ASSERT_TRUE(QDir().mkdir(path("target")));
    ASSERT_EQ(::symlink(QFile::encodeName(path("target")).constData(),
                        QFile::encodeName(path("link")).constData()),
              0);
    QFile f(path("plainfile"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(QDir().mkdir(path("open")));
    ::chmod(QFile::encodeName(path("open")).constData(), 0777);

    QString error;
    EXPECT_EQ(GetTempFolder(candidates({path("link"), path("plainfile")}), &error), QString());
    EXPECT_FALSE(error.isEmpty());
    // An existing folder of ours that others may enter is closed before use.
    EXPECT_EQ(GetTempFolder(candidates({path("open")}), &error),
              path("open") + QStringLiteral("/"));
    EXPECT_EQ(mode(path("open")), 0700);
}

TEST_F(TempFolder, RefusesAFolderOfAnotherUser) {
    ASSERT_TRUE(QDir().mkdir(path("theirs")));
    QString error;
    const unsigned otherUid = ::getuid() + 1;
    EXPECT_EQ(GetTempFolder(TempFolderCandidates{{path("theirs")}, otherUid}, &error), QString());
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(TempFolder, NoUsableCandidateGivesTheSystemText) {
    QString error;
    EXPECT_EQ(GetTempFolder(candidates({path("no/such/parent")}), &error), QString());
    EXPECT_EQ(error, QString::fromLocal8Bit(strerror(ENOENT)));
}

TEST_F(TempFolder, DefaultCandidatesArePerUser) {
    qputenv("XDG_RUNTIME_DIR", path("run").toLocal8Bit());
    const TempFolderCandidates c = platform::defaultTempFolderCandidates();
    qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_GE(c.folders.size(), 3);
    EXPECT_EQ(c.folders[0], path("run") + QStringLiteral("/trawlex"));
    EXPECT_TRUE(c.folders[1].endsWith(QStringLiteral("/trawlex-") + QString::number(::getuid())));
}

} // namespace

// The program folder of a build lies beside the executable; an installation's is found
// from the executable's folder, wherever the prefix was put.
TEST(ProgramFolder, FoundFromTheExecutablesFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString base = root.path();
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("build/bin")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("usr/bin")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("usr/share/trawlex")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("opt/app/bin")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("opt/app/share")));
    QFile notAFolder(base + QStringLiteral("/opt/app/share/trawlex"));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    // A prefix moved after installation: the same layout under another name.
    ASSERT_TRUE(QDir(base).rename(QStringLiteral("usr"), QStringLiteral("moved")));

    const struct {
        const char* what;
        QString executableFolder;
        QString relative;
        QString expected;
    } cases[] = {
        {"build: no data folder beside bin", base + QStringLiteral("/build/bin"),
         QStringLiteral("../share/trawlex"), base + QStringLiteral("/build/bin/")},
        {"moved installation", base + QStringLiteral("/moved/bin"),
         QStringLiteral("../share/trawlex"), base + QStringLiteral("/moved/share/trawlex/")},
        {"executable folder given with a slash", base + QStringLiteral("/moved/bin/"),
         QStringLiteral("../share/trawlex"), base + QStringLiteral("/moved/share/trawlex/")},
        {"a file where the data folder would be", base + QStringLiteral("/opt/app/bin"),
         QStringLiteral("../share/trawlex"), base + QStringLiteral("/opt/app/bin/")},
        {"no installed layout", base + QStringLiteral("/moved/bin"), QString(),
         base + QStringLiteral("/moved/bin/")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ProgramFolder(c.executableFolder, c.relative), c.expected) << c.what;
}
