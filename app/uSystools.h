#pragma once

#include <QString>
#include <QStringList>

// Small shared helpers of the application shell, free of widgets.
namespace systools {

// The text before the last full stop that follows the last "/", "\" or ":"; the text
// unchanged when there is none.
QString StripExtension(const QString& fileName);

// "index.ini" in the program folder, section "Application"; each read opens the file
// afresh. Defaults: "Trawlex - ", empty, "INTL".
QString ReadAppName(const QString& progDir);
QString ReadDistrib(const QString& progDir);
QString ReadLingo(const QString& progDir);
QString iniPath(const QString& progDir);

// The folder of the running program, ending in "/".
QString programFolder(const QString& applicationDirPath);

// The captions shown while a text scrolls through the title: 23 blanks before the text,
// one character dropped per step, starting over when nothing is left; 50 steps.
QStringList scrollCaptionFrames(const QString& text);
constexpr int kScrollSteps = 50;
constexpr unsigned kScrollStepMs = 50;

// Status panel 2: the count, a blank and the translated words (no singular form).
QString lineCountText(qsizetype rows, const QString& linesInGrid);

} // namespace systools
