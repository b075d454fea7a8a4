// The window's option lists as screen readers find them. Qt 6.4 gives a combo box on Linux its
// current entry for a name, ignoring the accessible name set on it (it expects a label whose
// buddy it is, and the window has none). A combo box with an accessible name therefore gets an
// interface of its own: named by that name, the current entry as its value, and otherwise what
// Qt's own gives (its drop-down list and, when editable, its line edit as children; actions that
// open and close the list).
#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

// The factory that QAccessible asks for each object; it answers for named combo boxes only.
QAccessibleInterface* NamedListAccessibleFactory(const QString& AClassName, QObject* AObject);

// Installs the factory, once.
void InstallNamedListAccessibility();
