#include "platform/web/QtBrowserEngine.h"

#include <QQuickWidget>
#include <QQuickWindow>
#include <QTimer>
#include <QWebEngineView>

namespace platform {

QtBrowserEngine::QtBrowserEngine(QWidget* parent) : QtPageEngine(parent) {
    m_view = new QWebEngineView(parent);
    m_view->setPage(page());
    m_view->installEventFilter(this);
}

QtBrowserEngine::~QtBrowserEngine() {
    // The view lets go of the page, which the page engine deletes after it.
    if (m_view)
        m_view->setPage(nullptr);
    delete m_view.data();
}

QWidget* QtBrowserEngine::view() {
    return m_view;
}

void QtBrowserEngine::setRendererName(const QString& name) {
    m_rendererName = name;
    nameRenderers();
}

bool QtBrowserEngine::eventFilter(QObject* watched, QEvent* event) {
    // The render surface is added to the view when the page first gets one, with or
    // without a load; it is complete only once the event that announces it is over.
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        QTimer::singleShot(0, this, &QtBrowserEngine::nameRenderers);
    return QtPageEngine::eventFilter(watched, event);
}

void QtBrowserEngine::nameRenderers() {
    // The view draws through a quick widget whose off-screen window is a top-level of its
    // own; untitled, it shows up as an anonymous "Offscreen" frame of the program.
    if (!m_view || m_rendererName.isEmpty())
        return;
    for (QQuickWidget* surface : m_view->findChildren<QQuickWidget*>()) {
        QQuickWindow* window = surface->quickWindow();
        if (window && window->title() != m_rendererName)
            window->setTitle(m_rendererName);
    }
}

} // namespace platform
