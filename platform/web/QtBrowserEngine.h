#pragma once

#include "platform/web/QtPageEngine.h"

#include <QPointer>

class QWebEngineView;

namespace platform {

// The window's engine: the page engine shown in a view.
class QtBrowserEngine : public QtPageEngine {
    Q_OBJECT
public:
    explicit QtBrowserEngine(QWidget* parent);
    ~QtBrowserEngine() override;

    QWidget* view() override;
    void setRendererName(const QString& name) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A load may bring a new render surface with it.
    void loadingChanged() override { nameRenderers(); }

private:
    void nameRenderers();

    QPointer<QWebEngineView> m_view;
    QString m_rendererName;
};

} // namespace platform
