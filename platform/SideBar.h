#pragma once

#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

class QVBoxLayout;

namespace platform {

// A round badge with a number or a short text on a coloured fill.
class Badge : public QLabel {
    Q_OBJECT
public:
    explicit Badge(QWidget* parent = nullptr);
    void setFill(const QColor& color);
    QColor fill() const { return m_fill; }
    void setCaption(const QString& text);
    QString caption() const { return text(); }

private:
    void restyle();
    QColor m_fill{255, 0, 0};
};

// A group header of the side bar, with its own fill and caption colours.
class SideBarHeader : public QLabel {
    Q_OBJECT
public:
    explicit SideBarHeader(const QString& caption, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString caption() const { return text(); }
    void setFillColor(const QColor& color);
    void setCaptionColor(const QColor& color);
    QColor fillColor() const { return m_fill; }
    QColor captionColor() const { return m_caption; }

private:
    void restyle();
    QColor m_fill{Qt::black};
    QColor m_caption{Qt::white};
};

// A clickable side-bar entry (a flat push button, so keyboard and accessibility users
// press it like any button); it may carry a small badge at its right end that is shown
// or hidden on its own.
class SideBarItem : public QPushButton {
    Q_OBJECT
public:
    explicit SideBarItem(const QString& caption, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString caption() const { return text(); }

    Badge* badge() const { return m_badge; }
    void setBadgeVisible(bool visible);
    bool isBadgeVisible() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeBadge();
    Badge* m_badge;
};

// The side bar: a fixed-width column of headers, items and free widgets.
class SideBar : public QWidget {
    Q_OBJECT
public:
    explicit SideBar(QWidget* parent = nullptr);
    SideBarHeader* addHeader(const QString& objectName, const QString& caption);
    SideBarItem* addItem(const QString& objectName, const QString& caption);
    void addWidget(QWidget* widget, Qt::Alignment alignment = {});
    void addStretch();

private:
    QVBoxLayout* m_layout;
};

} // namespace platform
