// The window's side of capture and the data grid: the grid view over the model, the
// Capture command and its run, the extras switch, Delete, Clear, Delete Duplicates and
// "My Grid", and the column shaping that template loading calls.
#include "app/uTrawlMain.h"

#include "browser/OrvoBrowser.h"
#include "capture/CaptureRun.h"
#include "capture/Columns.h"
#include "capture/GridEditing.h"
#include "capture/GridModel.h"
#include "orvo/PluginBase.h"
#include "platform/Dialogs.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/SysFolders.h"
#include "platform/Ticks.h"
#include "platform/UrlOpener.h"
#include "platform/Widgets.h"
#include "plugins/IPlugins.h"

#include <QHeaderView>
#include <QPointer>
#include <QStyle>
#include <QStyledItemDelegate>

#include <stdexcept>

namespace {

// Cells holding an address are drawn as links.
class LinkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(capture::TGridModel::LinkRole).toBool())
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
    const QUrl url(text.mid(start, end - start), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() ||
        (scheme != u"http" && scheme != u"https" && scheme != u"ftp" && scheme != u"mailto"))
        return {};
    return url;
}

platform::TWebBrowser* browserOf(TfrmTrawl& w, capture::Browser b) {
    switch (b) {
    case capture::Browser::WB:
        return w.WB;
    case capture::Browser::wb2:
        return w.wb2;
    case capture::Browser::WBassist:
        return w.WBassist;
    }
    return nullptr;
}

// The run's view of the window. Every template call goes to the template current at
// that moment, held for the length of the call: the call may let other commands run,
// one of which may load another template.
class WindowCaptureHost final : public capture::ICaptureHost {
public:
    explicit WindowCaptureHost(TfrmTrawl& w) : m_w(w) {}

    bool PluginIsOK() override { return m_w.PluginIsOK(); }
    int GetColumnCount() override { return plugin()->GetColumnCount(); }
    QString GetColumnNames() override { return FromTemplateText(plugin()->GetColumnNames()); }
    QString GetColumnWidths() override { return FromTemplateText(plugin()->GetColumnWidths()); }
    QString GetDupeColumns() override { return FromTemplateText(plugin()->GetDupeColumns()); }
    bool GetIsSlow() override {
        const std::shared_ptr<TPlugin> p = m_w.fPlugin;
        return p && p->Instance()->GetIsSlow() != 0;
    }
    void SetStop(bool stop) override {
        if (const std::shared_ptr<TPlugin> p = m_w.fPlugin)
            p->Instance()->SetStop(stop ? 1 : 0);
    }
    void SetWantsEmail(bool wants) override {
        if (const std::shared_ptr<TPlugin> p = m_w.fPlugin)
            p->Instance()->SetWantsEmail(wants ? 1 : 0);
    }
    QString GetData() override {
        const std::shared_ptr<TPlugin> p = current();
        const auto doc = document();
        return FromTemplateText(p->Instance()->GetData(doc.get()));
    }
    bool GetNextPage(QString& url) override {
        const std::shared_ptr<TPlugin> p = current();
        const auto doc = document();
        const char16_t* next = nullptr;
        const bool more = p->Instance()->GetNextPage(doc.get(), &next) != 0;
        url = FromTemplateText(next);
        return more;
    }

    capture::TGridModel& grid() override { return *m_w.fGrid; }

    void waitUntilReady(capture::Browser b) override {
        // Asked afresh on every pass: the browser is the window's, not ours to keep.
        while (!platform::isShuttingDown()) {
            const platform::TWebBrowser* browser = browserOf(m_w, b);
            if (!browser || browser->ReadyState() == platform::READYSTATE_COMPLETE)
                return;
            platform::tickwait(2);
        }
    }
    void spinwait() override { m_w.spinwait(); }
    void scrollcaption(const QString& text) override { m_w.scrollcaption(text); }
    void processMessages() override { platform::processMessages(); }
    bool isShuttingDown() override { return platform::isShuttingDown() || m_w.isClosing(); }

    void navigate(capture::Browser b, const QString& url) override {
        if (platform::TWebBrowser* browser = browserOf(m_w, b))
            browser->Navigate(url);
    }
    void TrimWorkingSet() override { platform::TrimWorkingSet(); }
    bool autoTurn() override { return m_w.cbAutoTurn->isChecked(); }

    bool captureBadgeShown() override { return m_w.isCaptureBadgeVisible(); }
    void setCaptureBadgeShown(bool shown) override { m_w.setCaptureBadgeVisible(shown); }
    void setWaitAnimation(bool running) override {
        if (running)
            m_w.ImgWait2->start();
        else
            m_w.ImgWait2->stop();
    }
    QString indicatorText() override { return m_w.mmIndic->text(); }
    void setIndicatorText(const QString& text) override { m_w.setIndicator(text); }
    void setEdURL(const QString& text) override { m_w.edURL->setText(text); }
    void setTitleStatus(const QString& text) override { m_w.setWindowTitle(m_w.AppName + text); }
    void showSlowProcess() override {
        m_w.osb->setText(2, lingo::sSlowProcess.isEmpty()
                                ? QStringLiteral("Slow Process. Please wait...")
                                : lingo::sSlowProcess);
    }
    void updatecount() override { m_w.updatecount(); }
    void resetbuttons() override { m_w.resetbuttons(); }
    int pageCounter() override { return m_w.PageCounter; }
    void setPageCounter(int value) override { m_w.PageCounter = value; }
    void setExtraNavCount(int value) override { m_w.ExtraNavCount = value; }
    void playSound() override { m_w.playNotificationSound(); }
    void showAlertServer() override { m_w.showAlertServer(); }
    void WebBrowserScreenShot(const QString& label) override {
        m_w.WebBrowserScreenShot(m_w.WB, label);
    }
    void showMessage(const QString& text) override { platform::dialogs().message(text); }

private:
    IPlugin* plugin() {
        if (!m_w.fPlugin)
            throw std::runtime_error("no template");
        return m_w.fPlugin->Instance();
    }
    std::shared_ptr<TPlugin> current() {
        std::shared_ptr<TPlugin> p = m_w.fPlugin;
        if (!p)
            throw std::runtime_error("no template");
        return p;
    }
    orvo::Ref<IHTMLDocument2> document() {
        auto doc = orvo::Ref<IHTMLDocument2>::adopt(browser::DocumentOf(m_w.WB));
        if (!doc)
            throw std::runtime_error("no document");
        return doc;
    }

    TfrmTrawl& m_w;
};

class ExtrasButton final : public capture::ExtrasSwitch {
public:
    explicit ExtrasButton(TfrmTrawl& w) : m_w(w) {}
    void setPressed(bool pressed) override {
        m_w.acSetWantsEmail->setChecked(pressed);
        m_w.tbbArobase->setChecked(pressed);
    }
    void setImageIndex(int index) override {
        m_w.acSetWantsEmailImageIndex = index;
        m_w.acSetWantsEmail->setIcon(m_w.style()->standardIcon(
            index == capture::kExtrasOnImage ? QStyle::SP_DialogYesButton
                                             : QStyle::SP_MessageBoxInformation));
    }

private:
    TfrmTrawl& m_w;
};

void applyWidths(QTreeView* view, const capture::TGridModel& model, int first, int last) {
    for (int i = std::max(0, first); i <= last && i < model.columns(); ++i)
        view->header()->resizeSection(i, std::max(0, model.column(i).width));
}

} // namespace

void TfrmTrawl::CreateGrid() {
    fGrid = new capture::TGridModel(this);
    fGrid->setObjectName(QStringLiteral("lvModel"));
    lv->setModel(fGrid);
    lv->setItemDelegate(new LinkDelegate(lv));
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The grid starts ordered by caption; a header click sorts by that column and a
    // second click on it reverses, the header showing the direction.
    lv->header()->setSortIndicator(0, Qt::AscendingOrder);
    lv->header()->setSortIndicatorShown(true);
    lv->header()->setSectionsClickable(true);
    lv->setSortingEnabled(true);
    applyWidths(lv, *fGrid, 0, fGrid->columns() - 1);
    connect(fGrid, &QAbstractItemModel::headerDataChanged, lv,
            [this](Qt::Orientation o, int first, int last) {
                if (o == Qt::Horizontal)
                    applyWidths(lv, *fGrid, first, last);
            });
    connect(
        fGrid, &QAbstractItemModel::columnsInserted, lv,
        [this](const QModelIndex&, int first, int last) { applyWidths(lv, *fGrid, first, last); });
    connect(lv, &QAbstractItemView::clicked, this, [](const QModelIndex& index) {
        if (!index.data(capture::TGridModel::LinkRole).toBool())
            return;
        const QUrl url = linkOf(index.data(capture::TGridModel::RawRole).toString());
        if (url.isValid())
            platform::openUrl(url);
    });
}

void TfrmTrawl::acCaptureExecute() {
    itiCaptureItemClick();
}

void TfrmTrawl::itiCaptureItemClick() {
    WindowCaptureHost host(*this);
    capture::CaptureCommand(host);
}

void TfrmTrawl::acSetWantsEmailExecute() {
    WindowCaptureHost host(*this);
    ExtrasButton button(*this);
    capture::SetWantsEmailCommand(host, button, acSetWantsEmail->isChecked());
}

void TfrmTrawl::acDeleteExecute() {
    std::vector<int> selected;
    if (const QItemSelectionModel* s = lv->selectionModel()) {
        for (const QItemSelectionRange& r : s->selection())
            for (int row = r.top(); row <= r.bottom(); ++row)
                selected.push_back(row);
    }
    capture::DeleteSelectedRows(*fGrid, selected, [this] { updatecount(); });
}

void TfrmTrawl::acClearGridExecute() {
    capture::ClearGrid(*fGrid, [this] { updatecount(); });
}

void TfrmTrawl::adDeduplicateExecute() {
    WindowCaptureHost host(*this);
    capture::DeleteDuplicates(*fGrid, host, [this] { updatecount(); });
}

void TfrmTrawl::itiSaveGridItemClick() {
    pg->setCurrentIndex(1);
}

int TfrmTrawl::gridRowCount() const {
    return fGrid ? fGrid->rows() : 0;
}

bool TfrmTrawl::isCaptureRunning() const {
    return isCaptureBadgeVisible();
}

void TfrmTrawl::WriteColumnHeaders() {
    WindowCaptureHost host(*this);
    capture::WriteColumnHeaders(*fGrid, host);
}

bool TfrmTrawl::GetColWidths() {
    WindowCaptureHost host(*this);
    return !capture::GetColWidths(*fGrid, host).failed();
}
