#include "list_accessible.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace {

class TNamedListAccessible : public QAccessibleWidget {
public:
    explicit TNamedListAccessible(QComboBox* AList)
        : QAccessibleWidget(AList, QAccessible::ComboBox) {}

    QString text(QAccessible::Text AText) const override {
        switch (AText) {
        case QAccessible::Name:
            return List()->accessibleName().isEmpty() ? Current() : List()->accessibleName();
        case QAccessible::Value:
            return Current();
        default:
            return QAccessibleWidget::text(AText);
        }
    }

    int childCount() const override { return List()->isEditable() ? 2 : 1; }

    QAccessibleInterface* child(int AIndex) const override {
        if (AIndex == 0)
            return QAccessible::queryAccessibleInterface(List()->view());
        if (AIndex == 1 && List()->isEditable())
            return QAccessible::queryAccessibleInterface(List()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* AChild) const override {
        if (AChild->object() == List()->view())
            return 0;
        if (List()->isEditable() && AChild->object() == List()->lineEdit())
            return 1;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        if (List()->isEditable() && List()->lineEdit()->rect().contains(x, y))
            return child(1);
        return nullptr;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    QString localizedActionDescription(const QString& AAction) const override {
        if (AAction == showMenuAction() || AAction == pressAction())
            return QComboBox::tr("Open the combo box selection popup");
        return {};
    }

    void doAction(const QString& AAction) override {
        if (AAction != showMenuAction() && AAction != pressAction())
            return;
        if (List()->view()->isVisible())
            List()->hidePopup();
        else
            List()->showPopup();
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
    QString Current() const {
        return List()->isEditable() ? List()->lineEdit()->text() : List()->currentText();
    }
};

} // namespace

QAccessibleInterface* NamedListAccessibleFactory(const QString& AClassName, QObject* AObject) {
    if (AClassName == QLatin1String("QComboBox"))
        if (auto* list = qobject_cast<QComboBox*>(AObject);
            list && !list->accessibleName().isEmpty())
            return new TNamedListAccessible(list);
    return nullptr;
}

void InstallNamedListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(NamedListAccessibleFactory);
        return true;
    }();
    (void)installed;
}
