// The status feedback of the main window: counts, idle state, waits, the notification
// window and sound.
#include "app/uSystools.h"
#include "app/uTrawlMain.h"
#include "capture/CaptureController.h"

#include "platform/AlertServer.h"
#include "platform/SideBar.h"
#include "platform/Sound.h"
#include "platform/StatusBar.h"
#include "platform/Ticks.h"
#include "platform/Widgets.h"

void TfrmTrawl::updatecount() {
    const QString c = QString::number(gridRowCount());
    osb->setText(2, systools::lineCountText(gridRowCount(), lingo::sLinesInGrid));
    indicGrid->setFill(c == u"0" ? QColor(255, 0, 0) : QColor(0, 128, 0));
    indicGrid->setCaption(c);
}

void TfrmTrawl::resetbuttons() {
    if (m_capture)
        m_capture->resetbuttons();
}

void TfrmTrawl::spinwait() {
    platform::tickwait(static_cast<std::uint32_t>(spSpeed->value()) * 1000u);
}

void TfrmTrawl::scrollcaption(const QString& Text) {
    const QString remembered = windowTitle();
    for (const QString& frame : systools::scrollCaptionFrames(Text)) {
        if (platform::isShuttingDown())
            break;
        setWindowTitle(frame);
        platform::processMessages();
        platform::tickwait(systools::kScrollStepMs);
    }
    setWindowTitle(remembered);
}

void TfrmTrawl::mmIndicClick() {
    pg->setCurrentIndex(1);
}

void TfrmTrawl::showAlertServer() {
    AlertServer->showAlert();
}

void TfrmTrawl::playNotificationSound() {
    platform::playQuestionSound();
}

void TfrmTrawl::setIndicator(const QString& text) {
    mmIndic->setText(text);
}

void TfrmTrawl::setCaptureBadgeVisible(bool visible) {
    if (m_capture)
        m_capture->setRunning(visible);
}

bool TfrmTrawl::isCaptureBadgeVisible() const {
    return m_capture && m_capture->isRunning();
}

// ------------------------------------------------------------------------------------
// Language table targets

namespace {

QWidget* findElement(QObject* root, const char* name) {
    return root->findChild<QWidget*>(QString::fromLatin1(name));
}

} // namespace

void TfrmTrawl::setHint(const char* element, const QString& text) {
    auto* button = qobject_cast<QAbstractButton*>(findElement(this, element));
    if (!button)
        return;
    button->setToolTip(text);
    // Icon-only buttons are announced by their hint.
    if (button->text().isEmpty())
        button->setAccessibleName(text);
}

void TfrmTrawl::setHeaderColors(const lingo::Rgb& caption, const lingo::Rgb& fill) {
    const QColor c(caption.red, caption.green, caption.blue);
    const QColor f(fill.red, fill.green, fill.blue);
    for (platform::SideBarHeader* h : {hiBrowse, hiFeedback}) {
        h->setCaptionColor(c);
        h->setFillColor(f);
    }
}

void TfrmTrawl::setCaption(const char* element, const QString& text) {
    const QString name = QString::fromLatin1(element);
    if (name == u"opWeb" || name == u"opData") {
        QWidget* page = name == u"opWeb" ? opWeb : opData;
        pg->setTabText(pg->indexOf(page), text);
        return;
    }
    QWidget* w = findElement(this, element);
    if (auto* item = qobject_cast<platform::SideBarItem*>(w))
        item->setCaption(text);
    else if (auto* header = qobject_cast<platform::SideBarHeader*>(w))
        header->setCaption(text);
    else if (auto* box = qobject_cast<QCheckBox*>(w))
        box->setText(text);
}

void TfrmTrawl::setSpeedLabel(const QString& text) {
    spSpeedLabel->setText(text);
    spSpeed->setAccessibleName(text.trimmed());
}

void TfrmTrawl::setIndicatorText(const QString& text) {
    mmIndic->setText(text);
}
