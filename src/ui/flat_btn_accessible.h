// What screen readers and other assistive technology see of a flat button (TFMXFlatBtn): a push
// button named by its caption and described by its tooltip, disabled while the button is (during
// a conversion), checkable when it is a toggle. Its press action runs what a left click runs;
// a button with a right action has a second action, "RightClick", for what a right click or a
// long press runs. The button still takes no keyboard focus.
#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

// The name of the second action.
QString FlatBtnRightClickAction();

// The factory that QAccessible asks for each object; it answers for flat buttons only.
QAccessibleInterface* FlatBtnAccessibleFactory(const QString& AClassName, QObject* AObject);

// Installs the factory, once; every flat button calls it when it is made.
void InstallFlatBtnAccessibility();
