// A strict reader of one line of the JSON Lines the writer promises: one object whose
// members are all strings, in valid UTF-8, control characters escaped. Written apart from
// the writer and from Qt's JSON classes, which drop a leading U+FEFF of a string and miss
// some keys when looked up.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace fuzzread {

using JsonMembers = std::vector<std::pair<QString, QString>>;

// The object's members in their order, or nothing with `error` set.
std::optional<JsonMembers> ReadJsonObjectLine(const QByteArray& line, QString& error);

} // namespace fuzzread
