#include "support/Snapshot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace support {

QImage SnapshotImage(const QImage& page, const QSize& size, const QString& label) {
    if (page.isNull() || size.isEmpty())
        return {};
    QImage shot = page.convertToFormat(QImage::Format_RGB32)
                      .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shot.setDevicePixelRatio(1.0);
    const int w = shot.width();
    const int h = shot.height();

    QPainter p(&shot);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.drawLine(w - 1, h - 1, 0, h - 1);
    p.drawLine(0, h - 1, 0, 0);

    QFont font = p.font();
    font.setPointSize(12);
    p.setFont(font);
    const QString text = QChar(0x00A0) + label + QChar(0x00A0);
    // Both coordinates come from the width: the box is square.
    const int at = w / 2 - 5;
    const QFontMetrics metrics(font, &shot);
    const QRect box(at, at, metrics.horizontalAdvance(text), metrics.height());
    p.fillRect(box, Qt::red);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    return shot;
}

QImage ViewSnapshot(QWidget* view, const QSize& size, const QString& label) {
    if (!view)
        return {};
    const QPixmap picture = view->grab();
    if (picture.isNull())
        return {};
    return SnapshotImage(picture.toImage(), size, label);
}

} // namespace support
