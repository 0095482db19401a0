#pragma once

#include <QString>
#include <QStringView>

// The text with every carriage return and line feed removed; nothing else changes.
QString StripCRLF(QStringView value);
