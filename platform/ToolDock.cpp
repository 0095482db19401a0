#include "platform/ToolDock.h"

#include <QHBoxLayout>
#include <QSettings>
#include <QVBoxLayout>

namespace platform {

ToolDock::ToolDock(const QString& settingsApplication, const QString& section, QWidget* parent)
    : QWidget(parent), m_settingsApplication(settingsApplication), m_section(section),
      m_rowsLayout(new QVBoxLayout(this)) {
    m_rowsLayout->setContentsMargins(2, 2, 2, 2);
    m_rowsLayout->setSpacing(0);
}

QToolBar* ToolDock::addToolBar(const QString& objectName, const QString& title) {
    auto* bar = new QToolBar(title, this);
    bar->setObjectName(objectName);
    bar->setAccessibleName(title);
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The overflow button that appears when the bar is cut short needs a name of its own.
    if (auto* more = bar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More tools"));
    m_bars.append(bar);
    m_rows.append(0);
    relayout();
    return bar;
}

void ToolDock::moveToTop(QToolBar* bar) {
    const qsizetype i = m_bars.indexOf(bar);
    if (i < 0)
        return;
    m_bars.move(i, 0);
    m_rows.move(i, 0);
    m_rows[0] = 0;
    relayout();
}

int ToolDock::rowOf(const QToolBar* bar) const {
    const qsizetype i = m_bars.indexOf(const_cast<QToolBar*>(bar));
    return i < 0 ? -1 : m_rows.at(i);
}

void ToolDock::saveArrangement() const {
    QSettings s(QStringLiteral("OrvoPages"), m_settingsApplication);
    s.beginGroup(m_section);
    QStringList order;
    for (const QToolBar* b : m_bars)
        order << b->objectName();
    s.setValue(QStringLiteral("order"), order);
    s.endGroup();
}

void ToolDock::restoreArrangement() {
    QSettings s(QStringLiteral("OrvoPages"), m_settingsApplication);
    const QStringList order = s.value(m_section + QStringLiteral("/order")).toStringList();
    int target = 0;
    for (const QString& name : order) {
        for (qsizetype i = target; i < m_bars.size(); ++i) {
            if (m_bars[i]->objectName() == name) {
                m_bars.move(i, target);
                m_rows.move(i, target);
                ++target;
                break;
            }
        }
    }
    relayout();
}

void ToolDock::relayout() {
    while (QLayoutItem* item = m_rowsLayout->takeAt(0)) {
        if (QLayout* l = item->layout()) {
            while (QLayoutItem* inner = l->takeAt(0))
                delete inner;
        }
        delete item;
    }
    int maxRow = 0;
    for (int r : m_rows)
        maxRow = std::max(maxRow, r);
    for (int row = 0; row <= maxRow; ++row) {
        auto* line = new QHBoxLayout;
        line->setSpacing(6);
        for (qsizetype i = 0; i < m_bars.size(); ++i)
            if (m_rows[i] == row)
                line->addWidget(m_bars[i]);
        line->addStretch(1);
        m_rowsLayout->addLayout(line);
    }
}

} // namespace platform
