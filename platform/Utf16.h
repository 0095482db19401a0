// UTF-16 text as files can hold it.
#pragma once

#include <QString>

namespace platform {

// The text with every unpaired surrogate replaced by U+FFFD, as UTF-8 encoding and
// decoding turn them: readers refuse such text otherwise, and two texts that differ only
// in their unpaired surrogates come out equal.
QString PairedSurrogates(QString text);

// UTF-8 bytes as the text they hold. Unlike QString::fromUtf8, a leading U+FEFF stays:
// here it is the start of a stored cell, not a byte order mark, and dropping it would
// change the cell.
QString Utf8Text(const char* data, qsizetype size);

} // namespace platform
