// Shaping the grid's columns from the current template: how many, their alignment and
// captions (WriteColumnHeaders), then their widths (GetColWidths). Template loading calls
// both, in that order, after each template has been opened.
#pragma once

#include "capture/GridModel.h"
#include "capture/TemplateAccess.h"

#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace capture {

// A template asking for more columns than this gets kCappedColumnCount instead.
inline constexpr int kMaxColumnCount = 254;
inline constexpr int kCappedColumnCount = 33;

// Appends the columns the template needs (left-justified, empty caption), centres and
// captions "--" those it does not use, then captions columns from the names text, split
// at "|". Never fails: a template failure or a caption piece for a column the grid does
// not have ends it where it is, keeping what was changed. A template with no columns
// (count 0 or below) leaves the grid as it is.
void WriteColumnHeaders(TGridModel& grid, ITemplateAccess& plugin);

using TColWidths = std::vector<std::int32_t>;

enum class ColWidthsError {
    None,
    NoTemplate,     // no template loaded: its message was shown, nothing changed
    TemplateFailed, // the template failed while asked; no width applied
    BadWidth,       // a "|"-terminated piece is not a decimal integer; no width applied
    MissingColumn,  // the count exceeds the grid's columns; the widths before it applied
};

struct ColWidthsResult {
    TColWidths widths;
    ColWidthsError error = ColWidthsError::None;
    // A failure the caller reports (template loading shows its own message).
    bool failed() const {
        return error != ColWidthsError::None && error != ColWidthsError::NoTemplate;
    }
};

// One width per template column (the count is not capped), 100 unless the widths text
// gives one: each piece followed by "|" is the width of the next column; a tail without
// "|" and pieces beyond the count are not used. The widths are applied to columns 0 to
// count - 1 in order. A template with no columns changes nothing.
ColWidthsResult GetColWidths(TGridModel& grid, ITemplateAccess& plugin);

// Optional sign and decimal digits, within 32 bits; anything else is no integer.
std::optional<std::int32_t> ParseWidth(QStringView piece);

} // namespace capture
