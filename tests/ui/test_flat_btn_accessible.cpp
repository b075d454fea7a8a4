// What assistive technology reads from a flat button through its accessible interface.
#include "flat_btn.h"
#include "flat_btn_accessible.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct TAccessibleRig {
    QWidget Parent;
    int Left = 0, Right = 0;
    TFMXFlatBtn* Button;
    QAccessibleInterface* Face;

    TAccessibleRig(bool ARight, bool AToggle = false) {
        Button = TFMXFlatBtn::CreateParam(
            &Parent, mtFluentSingle, "M0,0 L1,1", "Open", 0, 0, 0, [this](QObject*) { ++Left; },
            ARight ? TNotifyEvent([this](QObject*) { ++Right; }) : TNotifyEvent(), false, AToggle);
        Button->setToolTip("Open (Ctrl+O)");
        Face = QAccessible::queryAccessibleInterface(Button);
    }
    QAccessibleActionInterface* Actions() const { return Face ? Face->actionInterface() : nullptr; }
    // The actions run from the event loop.
    void Do(const QString& AAction) {
        Actions()->doAction(AAction);
        QCoreApplication::processEvents();
    }
};

TEST(FlatBtnAccessible, APushButtonNamedByItsCaptionAndDescribedByItsTooltip) {
    TAccessibleRig rig(false);
    ASSERT_NE(rig.Face, nullptr);
    EXPECT_EQ(rig.Face->object(), rig.Button);
    EXPECT_EQ(rig.Face->role(), QAccessible::Button);
    EXPECT_EQ(rig.Face->text(QAccessible::Name), "Open");
    EXPECT_EQ(rig.Face->text(QAccessible::Description), "Open (Ctrl+O)");
    rig.Button->setText("Save"); // a new caption renames it
    EXPECT_EQ(rig.Face->text(QAccessible::Name), "Save");
    // Still no keyboard focus, as the tool-bar buttons never take it, and so no focus action.
    EXPECT_EQ(rig.Button->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(rig.Face->state().focusable);
    EXPECT_FALSE(rig.Face->state().checkable);
    ASSERT_NE(rig.Actions(), nullptr);
    EXPECT_EQ(rig.Actions()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
}

TEST(FlatBtnAccessible, PressRunsWhatAClickRunsAndNothingWhileDisabled) {
    TAccessibleRig rig(true);
    EXPECT_EQ(rig.Actions()->actionNames(),
              (QStringList{QAccessibleActionInterface::pressAction(), FlatBtnRightClickAction()}));
    rig.Actions()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(rig.Left, 0); // not inside the assistive technology's call
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.Left, 1);
    rig.Do(FlatBtnRightClickAction());
    EXPECT_EQ(rig.Right, 1);
    rig.Do("NoSuchAction");
    EXPECT_EQ(rig.Left + rig.Right, 2);

    rig.Button->setEnabled(false); // as during a conversion
    EXPECT_TRUE(rig.Face->state().disabled);
    rig.Do(QAccessibleActionInterface::pressAction());
    rig.Do(FlatBtnRightClickAction());
    EXPECT_EQ(rig.Left + rig.Right, 2);
    rig.Button->setEnabled(true);
    EXPECT_FALSE(rig.Face->state().disabled);
}

TEST(FlatBtnAccessible, AToggleIsCheckable) {
    TAccessibleRig rig(false, true);
    EXPECT_TRUE(rig.Face->state().checkable);
    EXPECT_FALSE(rig.Face->state().checked);
    rig.Do(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(rig.Button->isDown());
    EXPECT_TRUE(rig.Face->state().checked);
    EXPECT_EQ(rig.Left, 1);
}

// A button that goes while a press waits in the event loop runs nothing.
TEST(FlatBtnAccessible, APressForAButtonThatWentRunsNothing) {
    auto rig = std::make_unique<TAccessibleRig>(false);
    rig->Actions()->doAction(QAccessibleActionInterface::pressAction());
    int left = 0;
    rig->Button->setOnExecuteL([&left](QObject*) { ++left; });
    delete rig->Button;
    QCoreApplication::processEvents();
    EXPECT_EQ(left, 0);
}

} // namespace
