// Prints the main window's accessible tree as a screen reader finds it: each interface's role,
// name, description, states and actions, indented by depth. For looking at what assistive
// technology gets after changing the window:
//   QT_QPA_PLATFORM=offscreen vorm-accessible-tree [PICTURE]
// The window's settings file is a temporary one; the user's are not touched.
#include "frm_main.h"
#include "theme.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString RoleName(QAccessible::Role ARole) {
    switch (ARole) {
    case QAccessible::Window:
        return QStringLiteral("window");
    case QAccessible::Client:
        return QStringLiteral("client");
    case QAccessible::Pane:
        return QStringLiteral("pane");
    case QAccessible::Grouping:
        return QStringLiteral("grouping");
    case QAccessible::Button:
        return QStringLiteral("push button");
    case QAccessible::ComboBox:
        return QStringLiteral("combo box");
    case QAccessible::List:
        return QStringLiteral("list");
    case QAccessible::ListItem:
        return QStringLiteral("list item");
    case QAccessible::ProgressBar:
        return QStringLiteral("progress bar");
    case QAccessible::Graphic:
        return QStringLiteral("graphic");
    case QAccessible::StaticText:
        return QStringLiteral("label");
    case QAccessible::Dialog:
        return QStringLiteral("dialog");
    default:
        return QStringLiteral("role 0x%1").arg(int(ARole), 0, 16);
    }
}

QString States(const QAccessible::State& AState) {
    QStringList s;
    if (AState.disabled)
        s << QStringLiteral("disabled");
    if (AState.invisible)
        s << QStringLiteral("invisible");
    if (AState.focusable)
        s << QStringLiteral("focusable");
    if (AState.focused)
        s << QStringLiteral("focused");
    if (AState.checkable)
        s << (AState.checked ? QStringLiteral("checked") : QStringLiteral("unchecked"));
    if (AState.pressed)
        s << QStringLiteral("pressed");
    return s.join(u',');
}

void Print(QAccessibleInterface* AFace, int ADepth) {
    QString line = QString(ADepth * 2, u' ') + RoleName(AFace->role());
    const QString name = AFace->text(QAccessible::Name);
    const QString description = AFace->text(QAccessible::Description);
    const QString value = AFace->text(QAccessible::Value);
    if (!name.isEmpty())
        line += QStringLiteral(" \"%1\"").arg(name);
    if (!value.isEmpty())
        line += QStringLiteral(" value=\"%1\"").arg(value);
    if (!description.isEmpty() && description != name)
        line += QStringLiteral(" description=\"%1\"").arg(description);
    if (const QString states = States(AFace->state()); !states.isEmpty())
        line += QStringLiteral(" [%1]").arg(states);
    if (QAccessibleActionInterface* actions = AFace->actionInterface())
        if (!actions->actionNames().isEmpty())
            line += QStringLiteral(" actions: %1").arg(actions->actionNames().join(u','));
    if (QObject* o = AFace->object())
        line += QStringLiteral("  (%1)").arg(QLatin1String(o->metaObject()->className()));
    std::puts(qPrintable(line));
    for (int i = 0; i < AFace->childCount(); ++i)
        if (QAccessibleInterface* child = AFace->child(i))
            Print(child, ADepth + 1);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ThemeInit();
    QTemporaryDir settings;
    TFrmMain frm(settings.filePath(QStringLiteral("vorm.ini")));
    frm.show();
    QCoreApplication::processEvents();
    if (argc > 1)
        frm.OpenFile(QString::fromLocal8Bit(argv[1]));
    QCoreApplication::processEvents();
    Print(QAccessible::queryAccessibleInterface(&frm), 0);
    return 0;
}
