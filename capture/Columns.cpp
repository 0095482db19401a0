#include "capture/Columns.h"

using namespace Qt::StringLiterals;

namespace capture {

namespace {
constexpr int kDefaultTemplateWidth = 100;
}

std::optional<std::int32_t> ParseWidth(QStringView piece) {
    qsizetype i = 0;
    bool negative = false;
    if (i < piece.size() && (piece[i] == u'+' || piece[i] == u'-')) {
        negative = piece[i] == u'-';
        ++i;
    }
    if (i == piece.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > std::int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return std::int32_t(value);
}

void WriteColumnHeaders(TGridModel& grid, ITemplateAccess& plugin) {
    if (!plugin.PluginIsOK())
        return;
    try {
        int n = plugin.GetColumnCount();
        if (n <= 0)
            return;
        if (n > kMaxColumnCount)
            n = kCappedColumnCount;
        const int c = grid.columns();
        if (c < n) {
            grid.appendColumns(n - c);
        } else {
            for (int i = c - 1; i >= n; --i) {
                grid.setColumnAlignment(i, ColumnAlignment::Centre);
                grid.setColumnCaption(i, u"--"_s);
            }
        }
        const QString names = plugin.GetColumnNames();
        int column = 0;
        qsizetype start = 0;
        for (qsizetype i = 0;; ++i) {
            if (i < names.size() && names[i] != u'|')
                continue;
            if (column >= grid.columns())
                return; // a piece for a column the grid does not have ends the step
            grid.setColumnCaption(column++, names.mid(start, i - start));
            if (i >= names.size())
                break;
            start = i + 1;
        }
    } catch (...) {
        // A failing template leaves the columns as far as they got.
    }
}

ColWidthsResult GetColWidths(TGridModel& grid, ITemplateAccess& plugin) {
    ColWidthsResult result;
    if (!plugin.PluginIsOK()) {
        result.error = ColWidthsError::NoTemplate;
        return result;
    }
    int n = 0;
    QString text;
    try {
        n = plugin.GetColumnCount();
        if (n <= 0)
            return result;
        text = plugin.GetColumnWidths();
    } catch (...) {
        result.error = ColWidthsError::TemplateFailed;
        return result;
    }
    // Only the pieces the text holds are kept: a count of millions must not become an
    // array of millions before the grid, which has at most 254 columns, refuses it.
    std::vector<std::int32_t> given;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size() && given.size() < std::size_t(n); ++i) {
        if (text[i] != u'|')
            continue;
        const auto width = ParseWidth(QStringView(text).mid(start, i - start));
        if (!width) {
            result.error = ColWidthsError::BadWidth;
            return result;
        }
        given.push_back(*width);
        start = i + 1;
    }
    const auto widthOf = [&](int i) {
        return std::size_t(i) < given.size() ? given[std::size_t(i)] : kDefaultTemplateWidth;
    };
    for (int i = 0; i < n; ++i) {
        if (i >= grid.columns()) {
            result.error = ColWidthsError::MissingColumn;
            return result;
        }
        grid.setColumnWidth(i, widthOf(i));
    }
    result.widths.resize(std::size_t(n));
    for (int i = 0; i < n; ++i)
        result.widths[std::size_t(i)] = widthOf(i);
    return result;
}

} // namespace capture
