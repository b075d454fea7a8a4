#include "flat_btn_accessible.h"

#include "flat_btn.h"

#include <QAccessibleWidget>
#include <QMetaObject>
#include <QPointer>

namespace {

class TFlatBtnAccessible : public QAccessibleWidget {
public:
    explicit TFlatBtnAccessible(TFMXFlatBtn* AButton)
        : QAccessibleWidget(AButton, QAccessible::Button) {}

    QString text(QAccessible::Text AText) const override {
        switch (AText) {
        case QAccessible::Name: {
            const QString name = Button()->accessibleName();
            return name.isEmpty() ? Button()->Text() : name;
        }
        case QAccessible::Description: {
            const QString description = Button()->accessibleDescription();
            return description.isEmpty() ? Button()->toolTip() : description;
        }
        default:
            return QAccessibleWidget::text(AText);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state(); // disabled, invisible, ...
        if (Button()->isToggle()) {
            s.checkable = true;
            s.checked = Button()->isDown();
        }
        s.pressed = Button()->isPressed();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (Button()->OnExecuteL() || Button()->isToggle())
            names << pressAction();
        if (Button()->OnExecuteR())
            names << FlatBtnRightClickAction();
        return names;
    }

    QString localizedActionName(const QString& AAction) const override {
        if (AAction == FlatBtnRightClickAction())
            return QStringLiteral("Right click");
        return QAccessibleWidget::localizedActionName(AAction);
    }

    QString localizedActionDescription(const QString& AAction) const override {
        if (AAction == pressAction())
            return QStringLiteral("Runs what a click runs");
        if (AAction == FlatBtnRightClickAction())
            return QStringLiteral("Runs what a right click or a long press runs");
        return QAccessibleWidget::localizedActionDescription(AAction);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // Later, from the event loop, as Qt's own buttons do: an action may open a modal dialog,
    // which must not run inside the assistive technology's call.
    void doAction(const QString& AAction) override {
        if (!Button()->isEnabled())
            return;
        const bool right = AAction == FlatBtnRightClickAction();
        if (!right && AAction != pressAction())
            return;
        QMetaObject::invokeMethod(
            Button(),
            [button = QPointer<TFMXFlatBtn>(Button()), right] {
                if (button)
                    button->PerformClick(right);
            },
            Qt::QueuedConnection);
    }

private:
    TFMXFlatBtn* Button() const { return static_cast<TFMXFlatBtn*>(widget()); }
};

} // namespace

QString FlatBtnRightClickAction() {
    return QStringLiteral("RightClick");
}

QAccessibleInterface* FlatBtnAccessibleFactory(const QString& AClassName, QObject* AObject) {
    if (AClassName == QLatin1String(TFMXFlatBtn::staticMetaObject.className()) && AObject &&
        AObject->isWidgetType())
        if (auto* button = qobject_cast<TFMXFlatBtn*>(AObject))
            return new TFlatBtnAccessible(button);
    return nullptr;
}

void InstallFlatBtnAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(FlatBtnAccessibleFactory);
        return true;
    }();
    (void)installed;
}
