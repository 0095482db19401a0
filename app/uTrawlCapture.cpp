// The window's side of capture: the grid view, the capture commands forwarded to the
// capture controller, and what a run shows in the window's elements.
#include "app/uTrawlMain.h"

#include "browser/OrvoBrowser.h"
#include "capture/CaptureController.h"
#include "capture/GridView.h"
#include "capture/WebCapturePages.h"
#include "platform/AlertServer.h"
#include "platform/SideBar.h"
#include "platform/StatusBar.h"
#include "platform/Widgets.h"

#include <QDir>
#include <QLocale>
#include <QStyle>

// What a capture run shows, in the window's elements.
class TfrmTrawl::CaptureView final : public capture::CaptureDisplay {
public:
    explicit CaptureView(TfrmTrawl& w) : m_w(w) {}

    QString indicatorText() override { return m_w.mmIndic->text(); }
    void setIndicatorText(const QString& text) override { m_w.setIndicator(text); }
    void setRunningShown(bool shown) override { m_w.itiCapture->setBadgeVisible(shown); }
    void setWaitAnimation(bool running) override {
        if (running)
            m_w.ImgWait2->start();
        else
            m_w.ImgWait2->stop();
    }
    void setAddressText(const QString& text) override { m_w.edURL->setText(text); }
    void setTitleStatus(const QString& text) override { m_w.setWindowTitle(m_w.AppName + text); }
    void scrollCaption(const QString& text) override { m_w.scrollcaption(text); }
    void showSlowProcess() override {
        m_w.osb->setText(2, lingo::sSlowProcess.isEmpty()
                                ? QStringLiteral("Slow Process. Please wait...")
                                : lingo::sSlowProcess);
    }
    void showCount(int) override { m_w.updatecount(); }
    void resetDisplays() override {
        m_w.edURL->setText(QStringLiteral("No next page accessible..."));
        m_w.ImgWait2->stop();
        m_w.ImgLogo->setPixmap(m_w.ImgTrawlex2);
        m_w.mmControl->setPlainText(QStringLiteral("EXTRA DATA..."));
    }
    void setExtraNavCount(int value) override { m_w.ExtraNavCount = value; }
    void playSound() override { m_w.playNotificationSound(); }
    void showNotAccessible() override { m_w.showAlertServer(); }
    void pageSnapshot(const QString& label) override { m_w.WebBrowserScreenShot(m_w.WB, label); }
    bool closing() override { return m_w.isClosing(); }

private:
    TfrmTrawl& m_w;
};

namespace {

class ExtrasButton final : public capture::ExtrasSwitch {
public:
    ExtrasButton(QAction& command, QToolButton& button, const QWidget& window)
        : m_command(command), m_button(button), m_window(window) {}
    void setPressed(bool pressed) override {
        m_command.setChecked(pressed);
        m_button.setChecked(pressed);
    }
    void setImageIndex(int index) override {
        m_command.setIcon(m_window.style()->standardIcon(index == capture::kExtrasOnImage
                                                             ? QStyle::SP_DialogYesButton
                                                             : QStyle::SP_MessageBoxInformation));
    }

private:
    QAction& m_command;
    QToolButton& m_button;
    const QWidget& m_window;
};

} // namespace

void TfrmTrawl::CaptureViewDeleter::operator()(CaptureView* view) const {
    delete view;
}

void TfrmTrawl::CreateCapture() {
    m_capturePages = std::make_unique<capture::WebCapturePages>();
    m_capture = new capture::CaptureController(
        *m_capturePages, [this] { return m_templates.current(); }, this);
    m_capture->setObjectName(QStringLiteral("capture"));
    m_captureView.reset(new CaptureView(*this));
    m_capture->setDisplay(m_captureView.get());
    connect(m_capture.data(), &capture::CaptureController::journalFailed, this,
            [this] { showJournalWarning(); });
    connect(m_capture.data(), &capture::CaptureController::resumeChanged, this, [this] {
        if (!acResumeCapture) // not built yet
            return;
        const bool can = m_capture && m_capture->canResume();
        acResumeCapture->setEnabled(can);
        itiResume->setEnabled(can);
        tbbResume->setEnabled(can);
    });
}

namespace {
constexpr int kJournalPanel = 4;

QString messageOr(const QString& translated, const char* builtIn) {
    return translated.isEmpty() ? QString::fromUtf8(builtIn) : translated;
}
} // namespace

void TfrmTrawl::OpenJournal() {
    if (m_options.journalFolder.isEmpty())
        return;
    const journal::OpenReport report =
        m_capture->openJournal(m_options.journalFolder, {m_options.journalMaxBytes});
    if (!report.status.ok()) {
        showJournalWarning();
        osb->label(kJournalPanel)->setToolTip(report.status.message);
    } else if (report.secondProcess) {
        osb->setText(kJournalPanel,
                     messageOr(lingo::sJournalSecondWindow,
                               "Another Trawlex window keeps the last session. This one keeps "
                               "its rows apart"));
    } else if (m_capture->restoredRows() > 0) {
        // English digit grouping, as the line count the user sees in the message.
        const QString count = QLocale(QLocale::English).toString(m_capture->restoredRows());
        osb->setText(
            kJournalPanel,
            messageOr(lingo::sRestoredLines, "Restored %1 lines from the last session").arg(count));
        // The status bar shows all but its bold and line-break tags literally, so a
        // damaged journal's name can at most make itself bold.
        if (!m_capture->restoredTemplate().isEmpty())
            osb->setText(1, m_capture->restoredTemplate());
    }
    if (!report.movedAsideTo.isEmpty())
        platform::dialogs().message(messageOr(lingo::sJournalMovedAside,
                                              "The last session's journal could not be read. "
                                              "It was kept as %1 and the grid starts empty.")
                                        .arg(QDir::toNativeSeparators(report.movedAsideTo)));
}

void TfrmTrawl::showJournalWarning() {
    osb->setText(kJournalPanel,
                 QStringLiteral("<B>") +
                     messageOr(lingo::sJournalNotKept,
                               "Warning: rows are not being kept (the journal cannot be written)") +
                     QStringLiteral("</B>"));
}

void TfrmTrawl::acResumeCaptureExecute() {
    m_capture->resume();
}

void TfrmTrawl::CreateGrid() {
    capture::attachGridView(*lv, m_capture->grid());
    // The run reads the switches when it needs them; the elements keep them current.
    m_capture->setAutoTurn(cbAutoTurn->isChecked());
    m_capture->setPauseSeconds(spSpeed->value());
    connect(cbAutoTurn, &QCheckBox::toggled, m_capture.data(),
            &capture::CaptureController::setAutoTurn);
    connect(spSpeed, &QSpinBox::valueChanged, m_capture.data(),
            &capture::CaptureController::setPauseSeconds);
}

void TfrmTrawl::AttachCaptureBrowsers() {
    m_capturePages->setBrowser(capture::Browser::WB, WB);
    m_capturePages->setBrowser(capture::Browser::wb2, wb2);
    m_capturePages->setBrowser(capture::Browser::WBassist, WBassist);
}

capture::CaptureController& TfrmTrawl::captureController() {
    return *m_capture;
}

void TfrmTrawl::acCaptureExecute() {
    itiCaptureItemClick();
}

void TfrmTrawl::itiCaptureItemClick() {
    m_capture->capture();
}

void TfrmTrawl::acSetWantsEmailExecute() {
    ExtrasButton button(*acSetWantsEmail, *tbbArobase, *this);
    m_capture->setWantsEmail(acSetWantsEmail->isChecked(), button);
}

void TfrmTrawl::acDeleteExecute() {
    std::vector<int> selected;
    if (const QItemSelectionModel* s = lv->selectionModel()) {
        for (const QItemSelectionRange& r : s->selection())
            for (int row = r.top(); row <= r.bottom(); ++row)
                selected.push_back(row);
    }
    m_capture->deleteRows(selected);
}

void TfrmTrawl::acClearGridExecute() {
    m_capture->clear();
    // An empty grid has nothing restored, and Empty Grid puts a journal that had failed
    // back in step: what the journal panel said no longer holds.
    if (m_capture->rowCount() == 0 && m_capture->journalKept())
        osb->setText(kJournalPanel, {});
}

void TfrmTrawl::adDeduplicateExecute() {
    m_capture->deleteDuplicates();
}

void TfrmTrawl::itiSaveGridItemClick() {
    pg->setCurrentIndex(1);
}

int TfrmTrawl::gridRowCount() const {
    return m_capture ? m_capture->rowCount() : 0;
}

bool TfrmTrawl::isCaptureRunning() const {
    return isCaptureBadgeVisible();
}

bool TfrmTrawl::PluginIsOK() {
    return m_capture->templateLoaded();
}

void TfrmTrawl::WriteColumnHeaders() {
    m_capture->writeColumnHeaders();
}

bool TfrmTrawl::GetColWidths() {
    return m_capture->readColumnWidths();
}
