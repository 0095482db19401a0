#pragma once

#include <QLabel>
#include <QList>
#include <QString>
#include <QWidget>

class QProgressBar;
class QStackedLayout;

namespace platform {

// Turns the status markup (B for bold, BR for a line break, in either letter case) into
// safe rich text: everything else is shown literally, so text from outside cannot
// inject markup.
QString statusMarkupToHtml(const QString& markup);
// The same text without markup, for the accessibility interface.
QString statusMarkupToPlain(const QString& markup);

// A status bar of fixed-width panels. A panel shows either text (with the markup above)
// or a progress bar; writing one kind switches the panel to it.
class StatusBar : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Text, Progress };
    struct PanelSpec {
        int width;
        Qt::Alignment alignment;
        Kind kind;
    };

    explicit StatusBar(const QList<PanelSpec>& panels, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(m_panels.size()); }
    Kind kind(int panel) const;
    void setText(int panel, const QString& markup);
    QString text(int panel) const; // the markup as written
    void setProgress(int panel, int position, int maximum);
    int progressValue(int panel) const;
    int progressMaximum(int panel) const;
    QLabel* label(int panel) const;
    QProgressBar* progressBar(int panel) const;

private:
    struct Panel {
        QWidget* box;
        QStackedLayout* stack;
        QLabel* label;
        QProgressBar* bar;
        QString markup;
    };
    QList<Panel> m_panels;
};

} // namespace platform
