#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

namespace platform {

// A read-only text box that turns every text put into it into capitals, so reading it
// back gives the converted text; a click on it is reported.
class UpperCaseMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit UpperCaseMemo(QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return toPlainText(); }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The small "busy" strip of the side bar: still until started.
class WaitAnimation : public QWidget {
    Q_OBJECT
public:
    explicit WaitAnimation(QWidget* parent = nullptr);
    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {100, 11}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_phase = 0;
};

} // namespace platform
