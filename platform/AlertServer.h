#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>

class QLabel;
class QToolButton;
class QPropertyAnimation;

namespace platform {

// An always-on-top notification window holding several messages (status markup), shown
// one at a time with Previous/Next, a "%d of %d" position line and a Close button. It
// fades in, stays until closed, and remembers where the user left it.
class AlertServer : public QWidget {
    Q_OBJECT
public:
    // `settingsKey` names the place its position is kept under (organization "OrvoPages").
    explicit AlertServer(const QString& settingsKey, QWidget* parent = nullptr);

    void setMessages(const QStringList& messages);
    QStringList messages() const { return m_messages; }
    int current() const { return m_current; }
    void setCurrent(int index);
    QString positionText() const;
    void setAlertIcon(const QIcon& icon);

    // Shows the window (fading in) or, when it is already open, keeps the one window.
    void showAlert();
    void next();
    void previous();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void refresh();
    void savePosition();

    QString m_settingsKey;
    QStringList m_messages;
    int m_current = 0;
    QLabel* m_icon;
    QLabel* m_text;
    QLabel* m_position;
    QToolButton* m_prev;
    QToolButton* m_next;
    QToolButton* m_close;
    QPropertyAnimation* m_fade;
    QPoint m_dragOffset;
    bool m_positioned = false;
};

} // namespace platform
