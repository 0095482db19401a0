#include "platform/SysFolders.h"

#include "platform/Ticks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString withSlash(QString path) {
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

// Accepts `dir` when it is (or has just been made) a private folder of `uid`.
bool acceptFolder(const QString& dir, unsigned uid, int* err) {
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *err = errno;
        return false;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        *err = errno;
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != uid) {
        *err = EACCES; // someone else's folder or a link: never write there
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *err = errno;
        return false;
    }
    if (::access(native.constData(), W_OK | X_OK) != 0) {
        *err = errno;
        return false;
    }
    return true;
}

} // namespace

TempFolderCandidates defaultTempFolderCandidates() {
    TempFolderCandidates c;
    c.uid = ::getuid();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        c.folders << withSlash(runtime) + QStringLiteral("trawlex");
    c.folders << withSlash(QDir::tempPath()) + QStringLiteral("trawlex-") + QString::number(c.uid);
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString home = QDir::homePath();
    if (cache.isEmpty())
        cache = withSlash(home) + QStringLiteral(".cache");
    c.folders << withSlash(cache) + QStringLiteral("trawlex");
    c.folders << withSlash(home) + QStringLiteral(".trawlex-tmp");
    return c;
}

QString GetTempFolder(const TempFolderCandidates& candidates, QString* error) {
    int err = ENOENT;
    for (const QString& dir : candidates.folders) {
        if (dir.isEmpty())
            continue;
        QString path = dir;
        while (path.size() > 1 && path.endsWith(u'/'))
            path.chop(1);
        if (acceptFolder(path, candidates.uid, &err))
            return withSlash(path);
    }
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(err));
    return {};
}

QString GetTempFolder(QString* error) {
    return GetTempFolder(defaultTempFolderCandidates(), error);
}

void TrimWorkingSet() {
    ::malloc_trim(0);
    processMessages();
}

QString ProgramFolder(const QString& executableFolder, const QString& installedRelative) {
    if (!installedRelative.isEmpty()) {
        const QString installed = QDir::cleanPath(executableFolder + u'/' + installedRelative);
        if (QFileInfo(installed).isDir())
            return withSlash(installed);
    }
    return withSlash(executableFolder);
}

QString ProgramFolder() {
    return ProgramFolder(QCoreApplication::applicationDirPath(),
                         QStringLiteral(TRAWLEX_INSTALLED_DATA_DIR));
}

} // namespace platform
