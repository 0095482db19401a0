#include "platform/AlertServer.h"

#include "platform/StatusBar.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace platform {

AlertServer::AlertServer(const QString& settingsKey, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint),
      m_settingsKey(settingsKey), m_icon(new QLabel(this)), m_text(new QLabel(this)),
      m_position(new QLabel(this)), m_prev(new QToolButton(this)), m_next(new QToolButton(this)),
      m_close(new QToolButton(this)), m_fade(new QPropertyAnimation(this, "windowOpacity", this)) {
    setObjectName(QStringLiteral("AlertServer"));
    setWindowTitle(QStringLiteral("Trawlex"));
    setAccessibleName(QStringLiteral("Trawlex notification"));
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setStyleSheet(QStringLiteral(
        "#AlertServer{background:#fffbe6;border:1px solid #c9a227;border-radius:6px;}"));
    setAttribute(Qt::WA_StyledBackground);

    m_text->setObjectName(QStringLiteral("AlertServerText"));
    m_text->setTextFormat(Qt::RichText);
    m_text->setWordWrap(false);
    m_position->setObjectName(QStringLiteral("AlertServerPosition"));

    const auto setupButton = [](QToolButton* b, const QString& hint, QStyle::StandardPixmap pm) {
        b->setObjectName(QStringLiteral("AlertServer") + hint);
        b->setToolTip(hint);
        b->setAccessibleName(hint);
        b->setIcon(b->style()->standardIcon(pm));
        b->setAutoRaise(true);
    };
    setupButton(m_prev, QStringLiteral("Previous"), QStyle::SP_ArrowLeft);
    setupButton(m_next, QStringLiteral("Next"), QStyle::SP_ArrowRight);
    setupButton(m_close, QStringLiteral("Close"), QStyle::SP_TitleBarCloseButton);
    connect(m_prev, &QToolButton::clicked, this, &AlertServer::previous);
    connect(m_next, &QToolButton::clicked, this, &AlertServer::next);
    connect(m_close, &QToolButton::clicked, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_prev);
    bottom->addWidget(m_position);
    bottom->addWidget(m_next);
    bottom->addStretch(1);
    bottom->addWidget(m_close);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(12, 10, 12, 6);
    col->addLayout(top);
    col->addLayout(bottom);

    m_fade->setDuration(400);
    m_fade->setStartValue(0.0);
    m_fade->setEndValue(1.0);
    setAlertIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    refresh();
}

void AlertServer::setMessages(const QStringList& messages) {
    m_messages = messages;
    m_current = 0;
    refresh();
}

void AlertServer::setCurrent(int index) {
    if (index < 0 || index >= m_messages.size())
        return;
    m_current = index;
    refresh();
}

QString AlertServer::positionText() const {
    return QString::asprintf("%d of %d", m_messages.isEmpty() ? 0 : m_current + 1,
                             static_cast<int>(m_messages.size()));
}

void AlertServer::setAlertIcon(const QIcon& icon) {
    setWindowIcon(icon);
    m_icon->setPixmap(icon.pixmap(32, 32));
}

void AlertServer::next() {
    setCurrent(m_current + 1);
}
void AlertServer::previous() {
    setCurrent(m_current - 1);
}

void AlertServer::refresh() {
    const QString markup = m_messages.value(m_current);
    m_text->setText(statusMarkupToHtml(markup));
    m_text->setAccessibleName(statusMarkupToPlain(markup).simplified());
    m_position->setText(positionText());
    m_position->setAccessibleName(positionText());
    m_prev->setEnabled(m_current > 0);
    m_next->setEnabled(m_current + 1 < m_messages.size());
    adjustSize();
}

void AlertServer::showAlert() {
    if (isVisible()) {
        raise();
        return;
    }
    if (!m_positioned) {
        m_positioned = true;
        QSettings settings(QStringLiteral("OrvoPages"), m_settingsKey);
        const QVariant saved = settings.value(QStringLiteral("AlertServer/pos"));
        adjustSize();
        if (saved.isValid()) {
            move(saved.toPoint());
        } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    setWindowOpacity(0.0);
    show();
    raise();
    m_fade->stop();
    m_fade->start();
}

void AlertServer::closeEvent(QCloseEvent* event) {
    savePosition();
    m_fade->stop();
    QWidget::closeEvent(event);
}

void AlertServer::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible())
        savePosition();
}

void AlertServer::savePosition() {
    QSettings settings(QStringLiteral("OrvoPages"), m_settingsKey);
    settings.setValue(QStringLiteral("AlertServer/pos"), pos());
}

// Frameless, so the body itself moves the window.
void AlertServer::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void AlertServer::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

} // namespace platform
