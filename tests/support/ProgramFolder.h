#pragma once

// A private program folder for one window test: the files of the built program folder
// copied over (or only those a test names), so a test may add, break or remove them.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

class ProgramFolder {
public:
    // Copies the built program folder's data files (not the executable).
    explicit ProgramFolder(bool copyBuiltFiles = true) {
        if (copyBuiltFiles)
            copyTree(QStringLiteral(TRAWLEX_PROGRAM_DIR));
    }
    QString path() const { return m_dir.path() + u'/'; }
    QString file(const QString& rel) const { return path() + rel; }

    void write(const QString& rel, const QByteArray& content) const {
        const QString p = file(rel);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
    }
    void remove(const QString& rel) const {
        QFileInfo info(file(rel));
        if (info.isDir())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }

private:
    void copyTree(const QString& from) {
        QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString src = it.next();
            const QString rel = QDir(from).relativeFilePath(src);
            if (rel == u"trawlex")
                continue;
            const QString dst = file(rel);
            QDir().mkpath(QFileInfo(dst).absolutePath());
            QFile::copy(src, dst);
        }
    }
    QTemporaryDir m_dir;
};
