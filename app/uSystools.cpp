#include "app/uSystools.h"

#include "platform/IniFile.h"

namespace systools {

QString StripExtension(const QString& fileName) {
    qsizetype sep = -1;
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName[i];
        if (c == u'/' || c == u'\\' || c == u':') {
            sep = i;
            break;
        }
    }
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= sep)
        return fileName;
    return fileName.left(dot);
}

QString iniPath(const QString& progDir) {
    return progDir + QStringLiteral("index.ini");
}

QString ReadAppName(const QString& progDir) {
    return platform::IniFile::read(iniPath(progDir), QStringLiteral("Application"),
                                   QStringLiteral("AppName"), QStringLiteral("Trawlex - "));
}

QString ReadDistrib(const QString& progDir) {
    return platform::IniFile::read(iniPath(progDir), QStringLiteral("Application"),
                                   QStringLiteral("Distrib"), QString());
}

QString ReadLingo(const QString& progDir) {
    return platform::IniFile::read(iniPath(progDir), QStringLiteral("Application"),
                                   QStringLiteral("Lingo"), QStringLiteral("INTL"));
}

QString programFolder(const QString& applicationDirPath) {
    QString dir = applicationDirPath;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QStringList scrollCaptionFrames(const QString& text) {
    const QString t = QString(23, u' ') + text;
    QString u = t;
    QStringList frames;
    frames.reserve(kScrollSteps);
    for (int i = 0; i < kScrollSteps; ++i) {
        if (u.isEmpty())
            u = t;
        u.remove(0, 1);
        frames << u;
    }
    return frames;
}

QString lineCountText(qsizetype rows, const QString& linesInGrid) {
    return QString::number(rows) + u' ' + linesInGrid;
}

} // namespace systools
