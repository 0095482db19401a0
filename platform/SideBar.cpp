#include "platform/SideBar.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace platform {

Badge::Badge(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setMinimumSize(22, 22);
    restyle();
}

void Badge::setFill(const QColor& color) {
    m_fill = color;
    restyle();
}

void Badge::setCaption(const QString& text) {
    setText(text);
    setAccessibleName(text);
    // Wide texts get a pill instead of a circle.
    setMinimumWidth(std::max(22, fontMetrics().horizontalAdvance(text) + 12));
}

void Badge::restyle() {
    setStyleSheet(QStringLiteral("QLabel{background:%1;color:white;border-radius:11px;"
                                 "font-weight:bold;padding:0 4px;}")
                      .arg(m_fill.name()));
}

SideBarHeader::SideBarHeader(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setMinimumHeight(28);
    setIndent(10);
    setAccessibleName(caption);
    restyle();
}

void SideBarHeader::setCaption(const QString& caption) {
    setText(caption);
    setAccessibleName(caption);
}

void SideBarHeader::setFillColor(const QColor& color) {
    m_fill = color;
    restyle();
}

void SideBarHeader::setCaptionColor(const QColor& color) {
    m_caption = color;
    restyle();
}

void SideBarHeader::restyle() {
    setStyleSheet(QStringLiteral("QLabel{background:%1;color:%2;font-weight:bold;}")
                      .arg(m_fill.name(), m_caption.name()));
}

SideBarItem::SideBarItem(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), m_badge(new Badge(this)) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(30);
    setStyleSheet(QStringLiteral("QPushButton{text-align:left;padding:4px 12px;border:none;}"
                                 "QPushButton:hover,QPushButton:focus{background:#dbe6f4;}"));
    m_badge->hide();
}

void SideBarItem::setCaption(const QString& caption) {
    setText(caption);
}

void SideBarItem::setBadgeVisible(bool visible) {
    m_badge->setVisible(visible);
    placeBadge();
}

bool SideBarItem::isBadgeVisible() const {
    return !m_badge->isHidden();
}

void SideBarItem::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    placeBadge();
}

void SideBarItem::placeBadge() {
    m_badge->adjustSize();
    const QSize s = m_badge->sizeHint().expandedTo(m_badge->minimumSize());
    m_badge->setGeometry(width() - s.width() - 6, (height() - s.height()) / 2, s.width(),
                         s.height());
}

SideBar::SideBar(QWidget* parent) : QWidget(parent), m_layout(new QVBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(2);
    setAutoFillBackground(true);
}

SideBarHeader* SideBar::addHeader(const QString& objectName, const QString& caption) {
    auto* h = new SideBarHeader(caption, this);
    h->setObjectName(objectName);
    m_layout->addWidget(h);
    return h;
}

SideBarItem* SideBar::addItem(const QString& objectName, const QString& caption) {
    auto* i = new SideBarItem(caption, this);
    i->setObjectName(objectName);
    i->badge()->setObjectName(objectName + QStringLiteral("Badge"));
    m_layout->addWidget(i);
    return i;
}

void SideBar::addWidget(QWidget* widget, Qt::Alignment alignment) {
    m_layout->addWidget(widget, 0, alignment);
}

void SideBar::addStretch() {
    m_layout->addStretch(1);
}

} // namespace platform
