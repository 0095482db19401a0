#pragma once

#include <QToolBar>
#include <QWidget>

class QVBoxLayout;
class QHBoxLayout;

namespace platform {

// A dock of tool bars in rows; the arrangement (row order) is kept in the per-user
// settings under the dock's section.
class ToolDock : public QWidget {
    Q_OBJECT
public:
    ToolDock(const QString& settingsApplication, const QString& section, QWidget* parent = nullptr);
    QToolBar* addToolBar(const QString& objectName, const QString& title);
    // Puts `bar` at the start of the top row.
    void moveToTop(QToolBar* bar);
    int rowOf(const QToolBar* bar) const;
    QList<QToolBar*> toolBars() const { return m_bars; }
    void saveArrangement() const;
    void restoreArrangement();

private:
    void relayout();
    QString m_settingsApplication;
    QString m_section;
    QList<QToolBar*> m_bars;
    QList<int> m_rows;
    QVBoxLayout* m_rowsLayout;
};

} // namespace platform
