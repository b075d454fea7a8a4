#include "flat_btn.h"
#include "utils.h"
#include "vorm_error.h"

#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(FlatBtnColors, ParseColorCode) {
    const struct {
        const char* Text;
        TAlphaColor Color;
    } cases[] = {
        {"#00ff00", 0xFF00FF00},
        {"#00FF00", 0xFF00FF00},
        {"#8000FF00", 0x8000FF00},
        {"#FFFFFF", 0xFFFFFFFF},
        {"#000000", 0xFF000000},
        {"#00000000", 0x00000000},
        {"#aBcDeF", 0xFFABCDEF},
        {"#FFFFFFFF", FlatBtnColorNone},
        {"#12345", FlatBtnColorNone},
        {"#1234567", FlatBtnColorNone},
        {"#123456789", FlatBtnColorNone},
        {"#GG0000", FlatBtnColorNone},
        {"#-12345", FlatBtnColorNone},
        {"#+12345", FlatBtnColorNone},
        {"# 12345", FlatBtnColorNone},
        {"FF0000F", FlatBtnColorNone},
        {"Open", FlatBtnColorNone},
        {"", FlatBtnColorNone},
        {"#", FlatBtnColorNone},
        {"#\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16", FlatBtnColorNone},
        // Transparent white is the "no colour" value itself, so it cannot be chosen.
        {"#00FFFFFF", FlatBtnColorNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(ParseColorCode(QString::fromUtf8(c.Text)), c.Color);
    }
}

TEST(FlatBtnColors, LuminanceDecidesTheInk) {
    const struct {
        TAlphaColor Color;
        bool White;
    } cases[] = {{0xFF7F7F7F, true}, {0xFF808080, false}, {0xFF1BA1E2, false}, {0xFFFF0000, true},
                 {0xFF0000FF, true}, {0xFF00FF00, false}, {0x00FFFFFF, false}, {0xFF000000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.Color);
        EXPECT_EQ(Luminance(c.Color) < 127.5, c.White);
    }
    EXPECT_NEAR(Luminance(0xFFFFFFFF), 255.0, 0.001);
    EXPECT_EQ(Luminance(0xFF000000), 0.0);
}

TEST(FlatBtnColors, Darken90) {
    const struct {
        TAlphaColor In, Out;
    } cases[] = {
        {0xFFFF0000, 0xFFE60000}, // 229.5 rounds to the even 230
        {0xFFFF6600, 0xFFE65C00}, // 91.8 to 92
        {0x00050F19, 0xFF040E16}, // 4.5, 13.5, 22.5 to even; alpha becomes opaque
        {0xFF000000, 0xFF000000}, {0xFFFFFFFF, 0xFFE6E6E6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.In);
        EXPECT_EQ(Darken90(c.In), c.Out);
    }
}

TEST(FlatBtnColors, ContrastAdjust) {
    const struct {
        TAlphaColor In;
        bool Light;
        TAlphaColor Out;
    } cases[] = {
        {0xFFF09609, true, 0xFFC57B07},  {0xFFF09609, false, 0xFFF8AE3A},
        {0xFF202020, true, 0xFF202020},  // dark enough already
        {0xFFE0E0E0, false, 0xFFE0E0E0}, // light enough already
        {0x80FFFFFF, false, 0x80FFFFFF}, // unchanged means alpha too
        {0x80FFFFFF, true, 0xFF666666},  // grey keeps no hue
        {0xFF000000, false, 0xFF999999}, //
        {0xFF0000FF, true, 0xFF0000CC},  //
        {0xFF0000FF, false, 0xFF3333FF}, //
        {0xFF1BA1E2, true, 0xFF1682B6},  //
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.In << (c.Light ? " light" : " dark"));
        EXPECT_EQ(ContrastAdjust(c.In, c.Light), c.Out);
    }
}

TEST(FlatBtn, CreateParamSizesEveryLook) {
    QWidget parent;
    for (int t = mtMetroSingle; t <= mtiOSDouble; ++t) {
        SCOPED_TRACE(t);
        const auto type = TFMXFlatBtnType(t);
        auto* b = TFMXFlatBtn::CreateParam(&parent, type, {}, {}, 0xFF123456, 10.9, 20.2, {}, {},
                                           false, false);
        const bool wide = t % 2 == 1;
        EXPECT_EQ(b->size(), QSize(wide ? 130 : 60, 60));
        EXPECT_EQ(b->sizeHint(), b->size());
        EXPECT_EQ(b->pos(), QPoint(10, 20));
        EXPECT_EQ(b->parentWidget(), &parent);
        EXPECT_EQ(b->FlatBtnType(), type);
        EXPECT_EQ(b->Color(), 0xFF123456u);
    }
}

TEST(FlatBtn, CreateParamStoresEverything) {
    QWidget parent;
    int left = 0, right = 0;
    auto* b = TFMXFlatBtn::CreateParam(
        &parent, mtFluentSingle, "M0,0 L1,1", "#FF0000", 0xFF00FF00, 0, 0,
        [&](QObject*) { ++left; }, [&](QObject*) { ++right; }, true, true);
    EXPECT_EQ(b->Color(), 0xFF00FF00u); // the colour given wins over the caption's
    EXPECT_TRUE(b->isColorDot());       // while the caption's dot stays
    EXPECT_EQ(b->SVGData(), "M0,0 L1,1");
    EXPECT_EQ(b->Text(), "#FF0000");
    EXPECT_TRUE(b->isDown());
    EXPECT_TRUE(b->isToggle());
    ASSERT_TRUE(b->OnExecuteL() && b->OnExecuteR());
    b->OnExecuteL()(b);
    b->OnExecuteR()(b);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 1);
}

TEST(FlatBtn, DefaultsOfThePlainConstructor) {
    TFMXFlatBtn b;
    EXPECT_EQ(b.FlatBtnType(), mtMetroSingle);
    EXPECT_EQ(b.Color(), 0xFF1BA1E2u);
    EXPECT_EQ(b.size(), QSize(60, 60));
    EXPECT_TRUE(b.Text().isEmpty() && b.SVGData().isEmpty());
    EXPECT_FALSE(b.isDown() || b.isToggle() || b.isColorDot() || b.isEnter() || b.isPressed());
    EXPECT_FALSE(b.OnExecuteL() || b.OnExecuteR());
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(b.cursor().shape(), Qt::PointingHandCursor);
}

TEST(FlatBtn, TextSetter) {
    const struct {
        const char* Text;
        TAlphaColor Color;
        bool Dot;
    } cases[] = {
        {"#00ff00", 0xFF00FF00, true},    {"#8000FF00", 0x8000FF00, true},
        {"#FFFFFFFF", 0xFF123456, false}, {"#12345", 0xFF123456, false},
        {"#GG0000", 0xFF123456, false},   {"Open", 0xFF123456, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TFMXFlatBtn b;
        b.setColor(0xFF123456);
        b.setIsColorDot(!c.Dot);
        b.setText(QString::fromUtf8(c.Text));
        EXPECT_EQ(b.Color(), c.Color);
        EXPECT_EQ(b.isColorDot(), c.Dot);
        // Screen readers and tooltips tell the buttons apart by their captions.
        EXPECT_EQ(b.accessibleName(), QString::fromUtf8(c.Text));
        EXPECT_EQ(b.toolTip(), QString::fromUtf8(c.Text));
    }
}

TEST(FlatBtn, SameTextChangesNothing) {
    TFMXFlatBtn b;
    b.setText("#00ff00");
    b.setColor(0xFF0000FF);
    b.setIsColorDot(false);
    b.setText("#00ff00");
    EXPECT_EQ(b.Color(), 0xFF0000FFu);
    EXPECT_FALSE(b.isColorDot());
}

TEST(FlatBtn, FlatBtnTypeSetter) {
    TFMXFlatBtn b;
    b.setColor(0xFF0000FF);
    b.setFlatBtnType(mtMetroSingle); // the current look: nothing happens
    EXPECT_EQ(b.Color(), 0xFF0000FFu);
    b.resize(90, 70);
    b.setFlatBtnType(mtiOSDouble); // another look brings its own size and colour
    EXPECT_EQ(b.Color(), 0xFF34AADCu);
    EXPECT_EQ(b.size(), QSize(130, 60));
    b.setFlatBtnType(mtFluentSingle);
    EXPECT_EQ(b.Color(), 0x00000000u);
    EXPECT_EQ(b.size(), QSize(60, 60));
}

TEST(FlatBtn, OnExecuteIsOnExecuteL) {
    TFMXFlatBtn b;
    int which = 0;
    b.setOnExecuteL([&](QObject*) { which = 1; });
    b.setOnExecute([&](QObject*) { which = 2; });
    b.OnExecuteL()(&b);
    EXPECT_EQ(which, 2);
    EXPECT_TRUE(b.OnExecute());
}

// A button with a clock the test sets, and counters for its actions.
struct TClickRig {
    TFMXFlatBtn Btn;
    std::uint32_t Now = 1000;
    int Left = 0, Right = 0;
    QObject* Sender = nullptr;

    TClickRig(bool ALeft, bool ARight) {
        Btn.setTickSource([this] { return Now; });
        if (ALeft)
            Btn.setOnExecuteL([this](QObject* s) {
                ++Left;
                Sender = s;
            });
        if (ARight)
            Btn.setOnExecuteR([this](QObject* s) {
                ++Right;
                Sender = s;
            });
    }
    void Click(Qt::MouseButton AButton, std::uint32_t AHeld, QPoint ARelease = {30, 30}) {
        QTest::mousePress(&Btn, AButton, {}, QPoint(30, 30));
        EXPECT_TRUE(Btn.isPressed());
        Now += AHeld;
        QTest::mouseRelease(&Btn, AButton, {}, ARelease);
        EXPECT_FALSE(Btn.isPressed());
    }
};

TEST(FlatBtn, WhichActionAReleaseRuns) {
    enum { None, L, R };
    const struct {
        Qt::MouseButton Button;
        std::uint32_t Held;
        bool LeftAssigned, RightAssigned;
        int Called;
        std::uint32_t PressedAt = 1000;
    } cases[] = {
        {Qt::LeftButton, 100, true, true, L},
        {Qt::LeftButton, 100, true, false, L},
        {Qt::LeftButton, 1999, true, true, L},
        {Qt::LeftButton, 2000, true, true, R},  // a long press is a right click
        {Qt::LeftButton, 2500, true, false, L}, // unless there is no right action
        {Qt::LeftButton, 2500, false, false, None},
        {Qt::RightButton, 0, true, true, R},
        {Qt::RightButton, 5000, true, true, R},
        {Qt::RightButton, 0, true, false, None},
        {Qt::MiddleButton, 100, true, true, None},
        {Qt::MiddleButton, 2000, true, true, R},
        {Qt::MiddleButton, 2000, true, false, None},
        // The millisecond counter wraps during the press: still a short one, or a long one.
        {Qt::LeftButton, 100, true, true, L, 0xFFFFFFC0},
        {Qt::LeftButton, 6144, true, true, R, 0xFFFFF000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "button " << int(c.Button) << ", held " << c.Held
                                        << ", L " << c.LeftAssigned << ", R " << c.RightAssigned
                                        << ", pressed at " << c.PressedAt);
        TClickRig rig(c.LeftAssigned, c.RightAssigned);
        rig.Now = c.PressedAt;
        rig.Click(c.Button, c.Held);
        EXPECT_EQ(rig.Left, c.Called == L ? 1 : 0);
        EXPECT_EQ(rig.Right, c.Called == R ? 1 : 0);
        if (c.Called != None) {
            EXPECT_EQ(rig.Sender, &rig.Btn);
        }
    }
}

TEST(FlatBtn, ReleaseOutsideRunsNothing) {
    const QPoint outside[] = {{60, 30}, {-1, 30}, {30, 60}, {30, -1}, {200, 200}};
    for (QPoint p : outside) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        TClickRig rig(true, true);
        rig.Btn.setIsToggle(true);
        rig.Click(Qt::LeftButton, 10, p);
        rig.Click(Qt::LeftButton, 3000, p);
        EXPECT_EQ(rig.Left + rig.Right, 0);
        EXPECT_FALSE(rig.Btn.isDown());
    }
    TClickRig edge(true, false); // the last pixel inside still counts
    edge.Click(Qt::LeftButton, 10, {59, 59});
    EXPECT_EQ(edge.Left, 1);
}

TEST(FlatBtn, ToggleFlipsBeforeTheActionOnAnyButton) {
    TClickRig rig(false, false);
    rig.Btn.setIsToggle(true);
    std::vector<bool> seen;
    rig.Btn.setOnExecuteL([&](QObject*) { seen.push_back(rig.Btn.isDown()); });
    rig.Click(Qt::LeftButton, 10);
    EXPECT_TRUE(rig.Btn.isDown());
    rig.Click(Qt::MiddleButton, 10); // flips, runs nothing
    EXPECT_FALSE(rig.Btn.isDown());
    rig.Click(Qt::LeftButton, 10);
    EXPECT_EQ(seen, std::vector<bool>({true, true}));
}

TEST(FlatBtn, ReleaseWithoutAPressOnTheButtonIsNoClick) {
    // The second click of a double click that closed a dialog above the tool bar ends here.
    TClickRig rig(true, true);
    rig.Btn.setIsToggle(true);
    QTest::mouseRelease(&rig.Btn, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(&rig.Btn, Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(rig.Left + rig.Right, 0);
    EXPECT_FALSE(rig.Btn.isDown());
}

TEST(FlatBtn, AFailingActionIsReportedNotThrownIntoTheEventLoop) {
    QStringList reported;
    SetErrorReporter([&](QWidget*, const QString& AMessage) { reported << AMessage; });
    const struct {
        std::function<void()> Throw;
        const char* Message;
    } cases[] = {
        {[] { throw EVormError("Cannot write \"a.svg\": disk full."); },
         "Cannot write \"a.svg\": disk full."},
        {[] { throw std::runtime_error("boom"); }, "boom"},
        {[] { throw 42; }, "An unexpected error stopped the command."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        reported.clear();
        TClickRig rig(false, false);
        rig.Btn.setIsToggle(true);
        rig.Btn.setOnExecuteL([&](QObject*) { c.Throw(); });
        rig.Click(Qt::LeftButton, 10);
        EXPECT_EQ(reported, QStringList{QString::fromUtf8(c.Message)});
        EXPECT_TRUE(rig.Btn.isDown()); // the toggle happened before the action
    }
    SetErrorReporter({});
}

TEST(FlatBtn, HoverAndPressState) {
    TFMXFlatBtn b;
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&b, &enter);
    EXPECT_TRUE(b.isEnter());
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&b, &leave);
    EXPECT_FALSE(b.isEnter());
    EXPECT_TRUE(b.isPressed()); // leaving does not end a press
    b.setEnabled(false);        // a disabled button never sees the release
    EXPECT_FALSE(b.isPressed());
}

TEST(FlatBtn, IsDownSetter) {
    TFMXFlatBtn b;
    b.setIsDown(true);
    EXPECT_TRUE(b.isDown());
    b.setIsDown(false);
    EXPECT_FALSE(b.isDown());
}

} // namespace
