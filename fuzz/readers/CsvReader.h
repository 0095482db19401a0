// A strict reader of the delimited text the CSV writer promises: a UTF-8 byte-order mark,
// every field in double quotes with inner quotes doubled, every line ended by CR LF.
// Written apart from the writer, so the round trip checks one against the other.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace fuzzread {

// The lines' fields, or nothing with `error` set when the text breaks the rules above.
std::optional<std::vector<QStringList>> ReadCsv(const QByteArray& bytes, char separator,
                                                QString& error);

} // namespace fuzzread
