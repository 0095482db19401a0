// How the journal stores a row's fields: one blob per row, each field as its UTF-8 length
// (an unsigned LEB128 number) followed by its UTF-8 bytes. Fields may hold any character,
// the grid's own separator U+00A4 included, so no separator could join them safely.
#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace journal {

QByteArray EncodeFields(const QStringList& fields);
// Nothing when the bytes are not a list of fields in this form: a length running past the
// end, a number longer than a field can be, or a truncated number.
std::optional<QStringList> DecodeFields(const char* data, qsizetype size);

} // namespace journal
