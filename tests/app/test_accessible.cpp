// The window as a screen reader finds it: the accessible tree from the window down, in which the
// five tool-bar buttons are push buttons with a press action and the four lists have names.
#include "app_test_support.h"
#include "flat_btn.h"
#include "flat_btn_accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Every interface below AFace, depth first.
void Collect(QAccessibleInterface* AFace, QList<QAccessibleInterface*>& AOut) {
    for (int i = 0; i < AFace->childCount(); ++i)
        if (QAccessibleInterface* child = AFace->child(i)) {
            AOut << child;
            Collect(child, AOut);
        }
}

class AccessibleTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Frm = std::make_unique<TFrmMain>(Dir.filePath("vorm.ini"));
        Frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frm.get()));
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(Frm.get());
        ASSERT_NE(root, nullptr);
        Collect(root, Tree);
    }
    QAccessibleInterface* Find(QObject* AObject) const {
        for (QAccessibleInterface* face : Tree)
            if (face->object() == AObject)
                return face;
        return nullptr;
    }
    QTemporaryDir Dir;
    std::unique_ptr<TFrmMain> Frm;
    QList<QAccessibleInterface*> Tree;
};

TEST_F(AccessibleTest, EveryButtonIsAPushButtonWithItsCaptionTooltipAndPressAction) {
    QStringList names;
    for (QAccessibleInterface* face : Tree) {
        if (!qobject_cast<TFMXFlatBtn*>(face->object()))
            continue;
        const QString name = face->text(QAccessible::Name);
        SCOPED_TRACE(name.toStdString());
        names << name;
        EXPECT_EQ(face->role(), QAccessible::Button);
        // The description is the tooltip: the caption, what else it does and its key.
        EXPECT_TRUE(face->text(QAccessible::Description).startsWith(name));
        EXPECT_FALSE(face->state().disabled);
        EXPECT_FALSE(face->state().focusable);
        ASSERT_NE(face->actionInterface(), nullptr);
        EXPECT_TRUE(face->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
    }
    EXPECT_EQ(names, (QStringList{"Open", "Save", "Preview", "bgColor", "About"}));
    EXPECT_EQ(Find(Frm->fbOpen)->text(QAccessible::Description), "Open (Ctrl+O)");
    EXPECT_EQ(Find(Frm->fbBgCol)->actionInterface()->actionNames(),
              (QStringList{QAccessibleActionInterface::pressAction(), FlatBtnRightClickAction()}));
}

// Named by what they choose, their value the entry chosen; Qt 6.4 alone names a combo box on
// Linux by its entry. The Tiles panel's palette list is one of them, hidden or not.
TEST_F(AccessibleTest, TheListsAreNamedAndValuedByTheirEntry) {
    QStringList names, values;
    for (QAccessibleInterface* face : Tree)
        if (auto* list = qobject_cast<QComboBox*>(face->object())) {
            EXPECT_EQ(face->role(), QAccessible::ComboBox);
            names << face->text(QAccessible::Name);
            values << face->text(QAccessible::Value);
            EXPECT_EQ(face->text(QAccessible::Value), list->currentText());
            // The drop-down list is its child, and an action opens it.
            ASSERT_EQ(face->childCount(), 1);
            EXPECT_EQ(face->child(0)->object(), static_cast<QObject*>(list->view()));
            EXPECT_EQ(face->indexOfChild(face->child(0)), 0);
            ASSERT_NE(face->actionInterface(), nullptr);
            EXPECT_TRUE(face->actionInterface()->actionNames().contains(
                QAccessibleActionInterface::showMenuAction()));
        }
    EXPECT_EQ(names, (QStringList{"Tile shape", "Colour", "Cell size", "Opacity", "Palette"}));
    EXPECT_EQ(values, (QStringList{"Equilateral Triangle 1", "Color", "16px", "100%", "None"}));
    Frm->cbInit->setCurrentIndex(6);
    EXPECT_EQ(Find(Frm->cbInit)->text(QAccessible::Value), "Hexagon");
    EXPECT_EQ(Find(Frm->cbInit)->text(QAccessible::Name), "Tile shape");
}

TEST_F(AccessibleTest, PressActionsRunTheButtonsCommands) {
    QAccessibleActionInterface* bg = Find(Frm->fbBgCol)->actionInterface();
    bg->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE_WITH_TIMEOUT(Frm->gImage2Index, 1, 5000);
    bg->doAction(FlatBtnRightClickAction()); // back to the checkerboard
    QTRY_COMPARE_WITH_TIMEOUT(Frm->gImage2Index, 0, 5000);
}

TEST_F(AccessibleTest, TheRefusedButtonsAreDisabledDuringAConversion) {
    const QString picture = Dir.filePath("big.png");
    MakePicture(picture, 300, 200);
    ASSERT_TRUE(Frm->OpenFile(picture));
    TProgressGate gate;
    Frm->ProgressObserver = &gate;
    Frm->Preview();
    ASSERT_TRUE(Frm->IsConverting());
    for (QObject* refused : {Frm->fbOpen, Frm->fbSave, Frm->fbPrev})
        EXPECT_TRUE(Find(refused)->state().disabled);
    EXPECT_FALSE(Find(Frm->fbBgCol)->state().disabled);
    // A press of a refused button does nothing.
    Find(Frm->fbPrev)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    gate.Open();
    ASSERT_TRUE(WaitConversion(*Frm));
    Frm->ProgressObserver = nullptr;
    QCoreApplication::processEvents();
    EXPECT_FALSE(Frm->IsConverting());
    EXPECT_FALSE(Find(Frm->fbPrev)->state().disabled);
}

} // namespace
