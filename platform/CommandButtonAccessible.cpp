#include "platform/CommandButtonAccessible.h"

#include <QAccessibleWidget>
#include <QMetaObject>
#include <QToolButton>

namespace platform {

namespace {

bool hasOptionsMenu(const QToolButton* button) {
    return button->menu() && button->popupMode() == QToolButton::MenuButtonPopup;
}

class CommandButtonAccessible final : public QAccessibleWidget {
public:
    explicit CommandButtonAccessible(QToolButton* button)
        : QAccessibleWidget(button, QAccessible::PushButton) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        if (!button()->accessibleName().isEmpty())
            return button()->accessibleName();
        QString caption = button()->text();
        caption.remove(u'&');
        return caption.isEmpty() ? button()->toolTip() : caption;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = hasOptionsMenu(button());
        s.checkable = button()->isCheckable();
        s.checked = button()->isChecked();
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (button()->isEnabled()) {
            names << pressAction();
            if (hasOptionsMenu(button()))
                names << showMenuAction();
        }
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (!button()->isEnabled())
            return;
        // Queued: the command may open a modal dialog, and the caller (another process
        // over the bus) must get its answer before that dialog's loop starts.
        if (name == pressAction())
            QMetaObject::invokeMethod(button(), &QToolButton::click, Qt::QueuedConnection);
        else if (name == showMenuAction() && hasOptionsMenu(button()))
            QMetaObject::invokeMethod(button(), &QToolButton::showMenu, Qt::QueuedConnection);
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QToolButton* button() const { return static_cast<QToolButton*>(widget()); }
};

QAccessibleInterface* commandButtonFactory(const QString& className, QObject* object) {
    // Plain tool buttons only: the tool bars' own buttons (overflow, scrolling) are
    // subclasses and keep the toolkit's description.
    if (className != u"QToolButton" || !object ||
        qstrcmp(object->metaObject()->className(), "QToolButton") != 0)
        return nullptr;
    return new CommandButtonAccessible(static_cast<QToolButton*>(object));
}

} // namespace

void installCommandButtonAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(commandButtonFactory);
        return true;
    }();
    (void)installed;
}

} // namespace platform
