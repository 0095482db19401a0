#include "platform/Widgets.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace platform {

UpperCaseMemo::UpperCaseMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void UpperCaseMemo::setText(const QString& text) {
    const QString upper = text.toUpper();
    setPlainText(upper);
    setAccessibleDescription(upper.left(200));
}

void UpperCaseMemo::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

void UpperCaseMemo::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

WaitAnimation::WaitAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(100, 11);
    m_timer.setInterval(60);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % 20;
        update();
    });
}

void WaitAnimation::start() {
    if (!m_timer.isActive())
        m_timer.start();
}

void WaitAnimation::stop() {
    m_timer.stop();
    m_phase = 0;
    update();
}

void WaitAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0xe9, 0xee, 0xf4));
    for (int i = 0; i < 10; ++i) {
        const bool lit = isRunning() && (i == m_phase % 10 || i == (m_phase + 1) % 10);
        p.setBrush(lit ? QColor(0x2a, 0x6f, 0xdb) : QColor(0xb8, 0xc4, 0xd4));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3 + i * 9.7, 2.5, 6, 6));
    }
}

} // namespace platform
