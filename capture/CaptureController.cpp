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
        return FromTemplateText(p->Instance()->GetData(doc.get()));
    }
    bool GetNextPage(QString& url) override {
        const auto p = current();
        const auto doc = document();
        const char16_t* next = nullptr;
        const bool more = p->Instance()->GetNextPage(doc.get(), &next) != 0;
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
}

CaptureController::~CaptureController() = default;

void CaptureController::setDisplay(CaptureDisplay* display) {
    m_display = display ? display : &m_headless;
}

void CaptureController::setRunning(bool running) {
    const bool changed = m_running != running;
    m_running = running;
    m_display->setRunningShown(running);
    if (changed)
        emit runningChanged(running);
}

void CaptureController::capture() {
    Host host(*this);
    CaptureCommand(host);
}

void CaptureController::setWantsEmail(bool pressed, ExtrasSwitch& button) {
    Host host(*this);
    SetWantsEmailCommand(host, button, pressed);
}

void CaptureController::deleteRows(const std::vector<int>& rows) {
    DeleteSelectedRows(*m_grid, rows, [this] { updatecount(); });
}

void CaptureController::clear() {
    ClearGrid(*m_grid, [this] { updatecount(); });
}

void CaptureController::deleteDuplicates() {
    Host host(*this);
    DeleteDuplicates(*m_grid, host, [this] { updatecount(); });
}

void CaptureController::writeColumnHeaders() {
    Host host(*this);
    WriteColumnHeaders(*m_grid, host);
}

bool CaptureController::readColumnWidths() {
    Host host(*this);
    return !GetColWidths(*m_grid, host).failed();
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

void CaptureController::updatecount() {
    m_display->showCount(m_grid->rows());
    emit countChanged(m_grid->rows());
}

} // namespace capture
