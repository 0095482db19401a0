#include "capture/GridView.h"

#include "capture/GridModel.h"
#include "platform/UrlOpener.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QUrl>

#include <algorithm>

namespace capture {

namespace {

// Cells holding an address are drawn as links.
class LinkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(TGridModel::LinkRole).toBool())
            return;
        option->font.setUnderline(true);
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Link));
    }
};

// The address in a link cell: from its scheme to the next blank. Only web and mail
// addresses are handed to the desktop; a captured page decides what the cells hold, and
// a file or script address must not start anything.
QUrl linkOf(const QString& text) {
    qsizetype start = text.indexOf(u"mailto:");
    if (start < 0) {
        const qsizetype sep = text.indexOf(u"://");
        if (sep < 0)
            return {};
        start = sep;
        while (start > 0 && text[start - 1].isLetterOrNumber())
            --start;
    }
    qsizetype end = start;
    while (end < text.size() && !text[end].isSpace())
        ++end;
    QUrl url(text.mid(start, end - start), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() ||
        (scheme != u"http" && scheme != u"https" && scheme != u"ftp" && scheme != u"mailto"))
        return {};
    return url;
}

void applyWidths(QTreeView* view, const TGridModel& model, int first, int last) {
    for (int i = std::max(0, first); i <= last && i < model.columns(); ++i)
        view->header()->resizeSection(i, std::max(0, model.column(i).width));
}

} // namespace

void attachGridView(QTreeView& view, TGridModel& model) {
    QTreeView* lv = &view;
    TGridModel* grid = &model;
    lv->setModel(grid);
    lv->setItemDelegate(new LinkDelegate(lv));
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The grid starts ordered by caption; a header click sorts by that column and a
    // second click on it reverses, the header showing the direction.
    lv->header()->setSortIndicator(0, Qt::AscendingOrder);
    lv->header()->setSortIndicatorShown(true);
    lv->header()->setSectionsClickable(true);
    lv->setSortingEnabled(true);
    applyWidths(lv, *grid, 0, grid->columns() - 1);
    QObject::connect(grid, &QAbstractItemModel::headerDataChanged, lv,
                     [lv, grid](Qt::Orientation o, int first, int last) {
                         if (o == Qt::Horizontal)
                             applyWidths(lv, *grid, first, last);
                     });
    QObject::connect(grid, &QAbstractItemModel::columnsInserted, lv,
                     [lv, grid](const QModelIndex&, int first, int last) {
                         applyWidths(lv, *grid, first, last);
                     });
    QObject::connect(lv, &QAbstractItemView::clicked, lv, [](const QModelIndex& index) {
        if (!index.data(TGridModel::LinkRole).toBool())
            return;
        const QUrl url = linkOf(index.data(TGridModel::RawRole).toString());
        if (url.isValid())
            platform::openUrl(url);
    });
}

} // namespace capture
