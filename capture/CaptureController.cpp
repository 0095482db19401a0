#include "capture/CaptureController.h"

#include "capture/Columns.h"
#include "capture/GridEditing.h"
#include "lingo/uLingo.h"
#include "platform/Dialogs.h"
#include "platform/SysFolders.h"
#include "platform/Ticks.h"
#include "plugins/DeclarativeTemplate.h"
#include "plugins/IPlugins.h"

#include <orvo/PluginBase.h>

#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace capture {

// The run's view of the controller. Every template call goes to the template current at
// that moment, held for the length of the call: the call may let other commands run, one
// of which may load another template.
class CaptureController::Host final : public ICaptureHost {
public:
    explicit Host(CaptureController& c) : m_c(c) {}

    bool PluginIsOK() override { return m_c.templateLoaded(); }
    int GetColumnCount() override { return current()->Instance()->GetColumnCount(); }
    QString GetColumnNames() override {
        const auto p = current();
        return FromTemplateText(p->Instance()->GetColumnNames());
    }
    QString GetColumnWidths() override {
        const auto p = current();
        return FromTemplateText(p->Instance()->GetColumnWidths());
    }
    QString GetDupeColumns() override {
        const auto p = current();
        return FromTemplateText(p->Instance()->GetDupeColumns());
    }
    bool GetIsSlow() override {
        const std::shared_ptr<TPlugin> p = m_c.m_template();
        return p && p->Instance()->GetIsSlow() != 0;
    }
    void SetStop(bool stop) override {
        if (const std::shared_ptr<TPlugin> p = m_c.m_template())
            p->Instance()->SetStop(stop ? 1 : 0);
    }
    void SetWantsEmail(bool wants) override {
        if (const std::shared_ptr<TPlugin> p = m_c.m_template())
            p->Instance()->SetWantsEmail(wants ? 1 : 0);
    }
    QString GetData() override {
        const auto p = current();
        const auto doc = document();
        return reported([&] { return FromTemplateText(p->Instance()->GetData(doc.get())); });
    }
    bool GetNextPage(QString& url) override {
        const auto p = current();
        const auto doc = document();
        const char16_t* next = nullptr;
        const bool more =
            reported([&] { return p->Instance()->GetNextPage(doc.get(), &next) != 0; });
        url = FromTemplateText(next);
        return more;
    }

    TGridModel& grid() override { return *m_c.m_grid; }
    QString pageAddress() override { return m_c.m_pages.address(); }

    void waitUntilReady(Browser b) override {
        // Asked afresh on every pass: the browsers are not the controller's to keep.
        while (!platform::isShuttingDown()) {
            if (m_c.m_pages.isReady(b))
                return;
            platform::tickwait(2);
        }
    }
    void spinwait() override {
        platform::tickwait(static_cast<std::uint32_t>(std::max(0, m_c.m_pauseSeconds)) * 1000u);
    }
    void scrollcaption(const QString& text) override { m_c.m_display->scrollCaption(text); }
    void processMessages() override { platform::processMessages(); }
    bool isShuttingDown() override {
        return platform::isShuttingDown() || m_c.m_display->closing();
    }

    void navigate(Browser b, const QString& url) override { m_c.m_pages.navigate(b, url); }
    void runAt(const QString& pageAddress) override {
        if (!pageAddress.isEmpty() && m_c.m_journal.isOpen())
            m_c.noteJournal(m_c.m_journal.runAt(pageAddress));
    }
    void rowsCaptured(std::span<const TGridModel::RowId> rows) override {
        m_c.journalRowsAdded(rows);
    }
    void runCompleted() override {
        if (m_c.m_journal.isOpen())
            m_c.noteJournal(m_c.m_journal.runCompleted());
    }
    void TrimWorkingSet() override { platform::TrimWorkingSet(); }

    InPageTurn inPageTurn() override {
        const auto p = m_c.m_template();
        const declarative::DeclarativeTemplate* d = p ? p->Declarative() : nullptr;
        if (!d)
            return {};
        const declarative::NextAction action = d->nextAction();
        InPageTurn turn;
        turn.max = action.max;
        switch (action.kind) {
        case declarative::NextKind::Click:
            turn.kind = InPageTurn::Kind::Click;
            break;
        case declarative::NextKind::Scroll:
            turn.kind = InPageTurn::Kind::Scroll;
            break;
        default:
            return {};
        }
        // The scripts of this template, for the rounds of this page.
        m_countScript = declarative::RecordCountScript(d->description().records);
        m_actionScript = declarative::InPageActionScript(action.kind, action.selector);
        return turn;
    }
    std::optional<int> liveRecordCount() override {
        if (m_countScript.isEmpty())
            return std::nullopt;
        const std::optional<QVariant> answer = m_c.m_pages.evaluate(m_countScript);
        bool ok = false;
        const int count = answer ? answer->toInt(&ok) : -1;
        if (!ok || count < 0)
            return std::nullopt;
        return count;
    }
    bool actInPage() override {
        if (m_actionScript.isEmpty())
            return false;
        const std::optional<QVariant> answer = m_c.m_pages.evaluate(m_actionScript);
        return answer && answer->typeId() == QMetaType::Bool && answer->toBool();
    }
    bool pageLoading() override { return !m_c.m_pages.isReady(Browser::WB); }
    void pause(int ms) override { platform::tickwait(static_cast<std::uint32_t>(std::max(0, ms))); }
    bool autoTurn() override { return m_c.m_autoTurn; }

    bool captureBadgeShown() override { return m_c.m_running; }
    void setCaptureBadgeShown(bool shown) override { m_c.setRunning(shown); }
    void setWaitAnimation(bool running) override { m_c.m_display->setWaitAnimation(running); }
    QString indicatorText() override { return m_c.m_display->indicatorText(); }
    void setIndicatorText(const QString& text) override { m_c.m_display->setIndicatorText(text); }
    void setEdURL(const QString& text) override { m_c.m_display->setAddressText(text); }
    void setTitleStatus(const QString& text) override { m_c.m_display->setTitleStatus(text); }
    void showSlowProcess() override { m_c.m_display->showSlowProcess(); }
    void updatecount() override { m_c.updatecount(); }
    void resetbuttons() override { m_c.resetbuttons(); }
    int pageCounter() override { return m_c.m_pageCounter; }
    void setPageCounter(int value) override { m_c.m_pageCounter = value; }
    void setExtraNavCount(int value) override { m_c.m_display->setExtraNavCount(value); }
    void playSound() override { m_c.m_display->playSound(); }
    void showAlertServer() override { m_c.m_display->showNotAccessible(); }
    void WebBrowserScreenShot(const QString& label) override { m_c.m_display->pageSnapshot(label); }
    void showMessage(const QString& text) override { platform::dialogs().message(text); }

private:
    std::shared_ptr<TPlugin> current() {
        std::shared_ptr<TPlugin> p = m_c.m_template();
        if (!p)
            throw std::runtime_error("no template");
        return p;
    }
    // A call into the template: what it throws is told to the display, then goes on to
    // the run, whose rules decide what a failing page means.
    template <class Call> auto reported(Call call) -> decltype(call()) {
        try {
            return call();
        } catch (const std::exception& e) {
            m_c.m_display->templateFailed(QString::fromLocal8Bit(e.what()));
            throw;
        } catch (...) {
            m_c.m_display->templateFailed(QStringLiteral("an exception of unknown type"));
            throw;
        }
    }
    orvo::Ref<IHTMLDocument2> document() {
        auto doc = orvo::Ref<IHTMLDocument2>::adopt(m_c.m_pages.document());
        if (!doc)
            throw std::runtime_error("no document");
        return doc;
    }

    CaptureController& m_c;
    QString m_countScript;
    QString m_actionScript;
};

CaptureController::CaptureController(CapturePages& pages, TemplateSource currentTemplate,
                                     QObject* parent)
    : QObject(parent), m_pages(pages), m_template(std::move(currentTemplate)),
      m_grid(new TGridModel(this)) {
    m_grid->setObjectName(QStringLiteral("lvModel"));
    // A header sort reorders the rows: the journal keeps the new order.
    connect(m_grid, &QAbstractItemModel::layoutChanged, this,
            [this](const QList<QPersistentModelIndex>&, QAbstractItemModel::LayoutChangeHint hint) {
                if (hint == QAbstractItemModel::VerticalSortHint)
                    journalOrder();
            });
}

CaptureController::~CaptureController() = default;

void CaptureController::setDisplay(CaptureDisplay* display) {
    m_display = display ? display : &m_headless;
}

void CaptureController::setRunning(bool running) {
    const bool changed = m_running != running;
    m_running = running;
    m_display->setRunningShown(running);
    if (changed) {
        emit runningChanged(running);
        emit resumeChanged();
    }
}

void CaptureController::capture() {
    if (!m_running)
        forgetResume(); // a new run takes the interrupted one's place
    Host host(*this);
    CaptureCommand(host);
}

void CaptureController::setWantsEmail(bool pressed, ExtrasSwitch& button) {
    Host host(*this);
    SetWantsEmailCommand(host, button, pressed);
}

void CaptureController::deleteRows(const std::vector<int>& rows) {
    std::vector<TGridModel::RowId> ids;
    for (int row : rows)
        if (row >= 0 && row < m_grid->rows())
            ids.push_back(m_grid->rowIdAt(row));
    DeleteSelectedRows(*m_grid, rows, [&] {
        journalRemovedRows(ids);
        updatecount();
    });
}

void CaptureController::clear() {
    ClearGrid(*m_grid, [this] {
        if (m_grid->rows() == 0 && m_journal.isOpen()) {
            m_keys.clear();
            if (m_journal.inStep()) {
                noteJournal(m_journal.clearRows());
            } else {
                // An empty grid is the cheapest moment to get the journal back in step.
                journal::State empty;
                for (int c = 0; c < m_grid->columns(); ++c)
                    empty.columns.push_back({m_grid->column(c).caption, m_grid->column(c).width});
                empty.templateName = templateFileName();
                noteJournal(m_journal.rewrite(empty).status);
            }
        }
        forgetResume();
        updatecount();
    });
}

void CaptureController::deleteDuplicates() {
    Host host(*this);
    const std::vector<TGridModel::RowId> before = m_grid->rowIdsInOrder();
    DeleteDuplicates(*m_grid, host, [&] {
        journalRemovedRows(before);
        updatecount();
    });
}

void CaptureController::writeColumnHeaders() {
    Host host(*this);
    WriteColumnHeaders(*m_grid, host);
    journalColumns();
    emit resumeChanged(); // another template may be loaded now
}

bool CaptureController::readColumnWidths() {
    Host host(*this);
    const bool ok = !GetColWidths(*m_grid, host).failed();
    journalColumns();
    return ok;
}

void CaptureController::resetbuttons() {
    setRunning(false);
    if (const std::shared_ptr<TPlugin> current = m_template()) {
        try {
            current->Instance()->SetStop(0);
        } catch (...) {
            // Outside code: whatever it throws, the next run sets the flag again before
            // asking for a page, so the failure is only noted.
            qWarning("The template failed to clear its stop flag.");
        }
    }
    m_pageCounter = 1;
    m_display->resetDisplays();
}

bool CaptureController::templateLoaded() {
    if (m_template())
        return true;
    platform::dialogs().message(lingo::sNoTemplate.isEmpty()
                                    ? QStringLiteral("No template currently selected!")
                                    : lingo::sNoTemplate);
    return false;
}

journal::OpenReport CaptureController::openJournal(const QString& folder,
                                                   const journal::Options& options) {
    journal::OpenReport report = m_journal.open(folder, options);
    m_restoredRows = 0;
    const journal::State& state = report.restored;
    if (report.status.ok() && (!state.rows.empty() || !state.interruptedPage.isEmpty())) {
        try {
            restoreGrid(state);
        } catch (const std::exception& e) {
            // Out of memory for the rows: the grid starts empty, and the journal keeps
            // them for a start with more room, adding the new rows after them.
            m_keys.clear();
            qWarning("The last grid could not be restored: %s", e.what());
        }
    }
    return report;
}

void CaptureController::restoreGrid(const journal::State& state) {
    // No template gives more columns than this; a journal that has more is damaged, and
    // the rest are left out rather than built by the thousand.
    const int columns = int(std::min<std::size_t>(state.columns.size(), kMaxColumnCount));
    if (columns > m_grid->columns())
        m_grid->appendColumns(columns - m_grid->columns());
    for (int c = 0; c < columns; ++c) {
        m_grid->setColumnCaption(c, state.columns[std::size_t(c)].caption);
        m_grid->setColumnWidth(c, state.columns[std::size_t(c)].width);
    }
    const journal::RowList& rows = state.rows;
    TGridModel::OriginId origin = TGridModel::kNoOrigin;
    m_grid->loadRows(rows.size(), state.sortColumn, state.sortOrder,
                     [&](std::size_t i, QStringList& fields, TGridModel::OriginId& o) {
                         fields = rows.fieldsAt(i);
                         if (i == 0 || !rows.samePage(i, i - 1))
                             origin = m_grid->addOrigin(rows.pageUrlAt(i), rows.capturedAtAt(i));
                         o = origin;
                     });
    // Row i of the load has the id i.
    m_keys.assign(rows.size(), 0);
    for (std::size_t i = 0; i < rows.size(); ++i)
        m_keys[i] = rows.keyAt(i);
    m_restoredRows = int(rows.size());
    m_restoredTemplate = state.templateName;
    m_resumePage = state.interruptedPage;
    updatecount();
    emit resumeChanged();
}

void CaptureController::closeJournal() {
    m_journal.close();
    m_keys.clear();
}

bool CaptureController::canResume() const {
    return !m_resumePage.isEmpty() && !m_running && !m_restoredTemplate.isEmpty() &&
           templateFileName() == m_restoredTemplate;
}

void CaptureController::resume() {
    if (!canResume())
        return;
    const QString page = m_resumePage;
    forgetResume(); // once resumed, the run is an ordinary one
    m_pages.navigate(Browser::WB, page);
    Host host(*this);
    host.waitUntilReady(Browser::WB);
    if (host.isShuttingDown())
        return;
    capture();
}

void CaptureController::forgetResume() {
    if (m_resumePage.isEmpty())
        return;
    m_resumePage.clear();
    emit resumeChanged();
}

QString CaptureController::templateFileName() const {
    const std::shared_ptr<TPlugin> p = m_template();
    return p ? QFileInfo(p->FileName()).fileName() : QString();
}

journal::RowKey& CaptureController::keyOf(TGridModel::RowId id) {
    if (id >= m_keys.size())
        m_keys.resize(std::max<std::size_t>(id + 1, m_grid->idLimit()), 0);
    return m_keys[id];
}

void CaptureController::noteJournal(const journal::Status& status) {
    // The first failure puts the journal out of step; later changes fail at once with
    // OutOfStep, and the warning is already showing.
    if (status.code == journal::ErrorCode::Unwritable)
        emit journalFailed(status.message);
}

void CaptureController::journalRowsAdded(std::span<const TGridModel::RowId> rows) {
    if (rows.empty() || !m_journal.isOpen())
        return;
    std::vector<QStringList> fields;
    fields.reserve(rows.size());
    for (TGridModel::RowId id : rows) {
        QStringList f;
        const int n = m_grid->fieldCountOf(id);
        f.reserve(n);
        for (int i = 0; i < n; ++i)
            f.append(m_grid->fieldOf(id, i).toString());
        fields.push_back(std::move(f));
    }
    // A page's rows share one origin.
    const QDateTime at = m_grid->capturedOf(rows.front());
    const journal::Appended appended =
        m_journal.appendPage(m_grid->sourceOf(rows.front()),
                             at.isValid() ? at : QDateTime::currentDateTimeUtc(), fields);
    noteJournal(appended.status);
    if (!appended.status.ok())
        return;
    for (std::size_t i = 0; i < rows.size(); ++i)
        keyOf(rows[i]) = appended.firstKey + journal::RowKey(i);
}

void CaptureController::journalRemovedRows(const std::vector<TGridModel::RowId>& ids) {
    if (ids.empty())
        return;
    // Only the rows that are really gone: a removal that failed half-way left the rest.
    const std::vector<int> positions = m_grid->positionsById();
    std::vector<journal::RowKey> keys;
    for (TGridModel::RowId id : ids) {
        if (id < positions.size() && positions[id] >= 0)
            continue;
        if (id < m_keys.size() && m_keys[id] != 0) {
            keys.push_back(m_keys[id]);
            m_keys[id] = 0;
        }
    }
    if (!keys.empty() && m_journal.isOpen())
        noteJournal(m_journal.removeRows(keys));
}

void CaptureController::journalColumns() {
    if (!m_journal.isOpen())
        return;
    std::vector<journal::Column> columns;
    for (int c = 0; c < m_grid->columns(); ++c)
        columns.push_back({m_grid->column(c).caption, m_grid->column(c).width});
    noteJournal(m_journal.setColumns(columns, templateFileName()));
}

void CaptureController::journalOrder() {
    if (!m_journal.isOpen())
        return;
    std::vector<journal::RowKey> keys;
    keys.reserve(std::size_t(m_grid->rows()));
    for (TGridModel::RowId id : m_grid->rowIdsInOrder())
        if (id < m_keys.size() && m_keys[id] != 0)
            keys.push_back(m_keys[id]);
    noteJournal(m_journal.setOrder(keys, m_grid->sortColumn(), m_grid->sortOrder()));
}

void CaptureController::updatecount() {
    m_display->showCount(m_grid->rows());
    emit countChanged(m_grid->rows());
}

} // namespace capture
