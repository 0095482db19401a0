#include "platform/StatusBar.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStackedLayout>

namespace platform {

namespace {

const QRegularExpression& markupTag() {
    static const QRegularExpression re(QStringLiteral("<(/?B|BR)>"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

} // namespace

QString statusMarkupToHtml(const QString& markup) {
    QString html;
    qsizetype pos = 0;
    auto it = markupTag().globalMatch(markup);
    while (it.hasNext()) {
        const auto m = it.next();
        html += markup.mid(pos, m.capturedStart() - pos).toHtmlEscaped();
        const QString tag = m.captured(1).toUpper();
        html += tag == u"BR" ? QStringLiteral("<br>")
                             : (tag == u"B" ? QStringLiteral("<b>") : QStringLiteral("</b>"));
        pos = m.capturedEnd();
    }
    html += markup.mid(pos).toHtmlEscaped();
    return html;
}

QString statusMarkupToPlain(const QString& markup) {
    QString plain;
    qsizetype pos = 0;
    auto it = markupTag().globalMatch(markup);
    while (it.hasNext()) {
        const auto m = it.next();
        plain += markup.mid(pos, m.capturedStart() - pos);
        if (m.captured(1).toUpper() == u"BR")
            plain += u'\n';
        pos = m.capturedEnd();
    }
    plain += markup.mid(pos);
    return plain;
}

StatusBar::StatusBar(const QList<PanelSpec>& panels, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(3);
    int index = 0;
    for (const PanelSpec& spec : panels) {
        Panel p{};
        p.box = new QWidget(this);
        p.box->setObjectName(QStringLiteral("osbPanel%1").arg(index));
        p.box->setFixedWidth(spec.width);
        p.stack = new QStackedLayout(p.box);
        p.stack->setContentsMargins(0, 0, 0, 0);
        p.label = new QLabel(p.box);
        p.label->setObjectName(QStringLiteral("osbText%1").arg(index));
        p.label->setAlignment(spec.alignment | Qt::AlignVCenter);
        p.label->setTextFormat(Qt::RichText);
        p.label->setFrameShape(QFrame::StyledPanel);
        p.label->setTextInteractionFlags(Qt::NoTextInteraction);
        p.bar = new QProgressBar(p.box);
        p.bar->setObjectName(QStringLiteral("osbProgress%1").arg(index));
        p.bar->setRange(0, 100);
        p.bar->setValue(0);
        p.bar->setTextVisible(true);
        p.bar->setAlignment(Qt::AlignCenter);
        p.stack->addWidget(p.label);
        p.stack->addWidget(p.bar);
        p.stack->setCurrentWidget(spec.kind == Kind::Text ? static_cast<QWidget*>(p.label) : p.bar);
        row->addWidget(p.box);
        m_panels.append(p);
        ++index;
    }
    row->addStretch(1);
}

StatusBar::Kind StatusBar::kind(int panel) const {
    const Panel& p = m_panels.at(panel);
    return p.stack->currentWidget() == p.bar ? Kind::Progress : Kind::Text;
}

void StatusBar::setText(int panel, const QString& markup) {
    Panel& p = m_panels[panel];
    p.markup = markup;
    p.label->setText(statusMarkupToHtml(markup));
    p.label->setAccessibleName(statusMarkupToPlain(markup));
    p.stack->setCurrentWidget(p.label);
}

QString StatusBar::text(int panel) const {
    return m_panels.at(panel).markup;
}

void StatusBar::setProgress(int panel, int position, int maximum) {
    Panel& p = m_panels[panel];
    // Engines report 0 of 0 before they know the size; show an empty bar, not a busy one.
    p.bar->setRange(0, std::max(1, maximum));
    p.bar->setValue(std::clamp(position, 0, std::max(1, maximum)));
    p.stack->setCurrentWidget(p.bar);
}

int StatusBar::progressValue(int panel) const {
    return m_panels.at(panel).bar->value();
}
int StatusBar::progressMaximum(int panel) const {
    return m_panels.at(panel).bar->maximum();
}
QLabel* StatusBar::label(int panel) const {
    return m_panels.at(panel).label;
}
QProgressBar* StatusBar::progressBar(int panel) const {
    return m_panels.at(panel).bar;
}

} // namespace platform
