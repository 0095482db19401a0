// The page snapshot shown in the logo box while a capture run turns pages.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QWidget;

namespace support {

// page squeezed to size without keeping its proportions, framed with a one-pixel black
// line along its edge, and label written between two no-break spaces in 12-point text on
// red at ((width / 2) - 5, (width / 2) - 5). A null page or an empty size gives a null
// image.
QImage SnapshotImage(const QImage& page, const QSize& size, const QString& label);

// The snapshot of what view shows now; null when there is no view or it draws nothing.
QImage ViewSnapshot(QWidget* view, const QSize& size, const QString& label);

} // namespace support
