#include "flat_btn.h"
#include "ui_test_support.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr TAlphaColor kAccent = 0xFF0078D7;
// An icon that fills its whole square, so that the ink is easy to sample.
const char* const kSquare = "M0,0 L1,0 L1,1 L0,1 Z";

enum TState : unsigned { Plain = 0, Hover = 1, Press = 2, Down = 4, Disabled = 8, Toggle = 16 };

std::unique_ptr<TFMXFlatBtn> Make(TFMXFlatBtnType AType, TAlphaColor AColor, const QString& AIcon,
                                  const QString& AText, unsigned AState) {
    std::unique_ptr<TFMXFlatBtn> b(TFMXFlatBtn::CreateParam(nullptr, AType, AIcon, AText, AColor, 0,
                                                            0, {}, {}, (AState & Down) != 0,
                                                            (AState & Toggle) != 0));
    if (AState & Hover) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(b.get(), &enter);
    }
    if (AState & Press)
        QTest::mousePress(b.get(), Qt::LeftButton, {}, QPoint(1, 1));
    if (AState & Disabled)
        b->setEnabled(false);
    return b;
}

TAlphaColor Blend(TAlphaColor ABelow, TAlphaColor AAbove, double AOpacity) {
    TAlphaColor out = 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        const double a = (ABelow >> shift) & 0xFF, b = (AAbove >> shift) & 0xFF;
        out |= TAlphaColor(std::lround(a + (b - a) * AOpacity)) << shift;
    }
    return out;
}

TEST(FlatBtnPaint, PixelsThatMatter) {
    const TAlphaColor light = 0xFFFBFBFB, dark = 0xFF2D2D2D, orange = FlatBtnColorOrange;
    const struct {
        const char* What;
        TFMXFlatBtnType Type;
        TAlphaColor Color;
        const char* Icon;
        const char* Text;
        unsigned State;
        bool Light;
        QPoint At;
        TAlphaColor Expected;
    } cases[] = {
        // Fluent without a colour of its own: the light surface, the accent over it when hovered,
        // the accent 4 units inside the edges when pressed, an accent underline when down.
        {"fluent surface", mtFluentSingle, 0, kSquare, "", Plain, true, {2, 2}, light},
        {"fluent dark surface", mtFluentSingle, 0, kSquare, "", Plain, false, {2, 2}, dark},
        {"fluent ink", mtFluentSingle, 0, kSquare, "", Plain, true, {30, 30}, 0xFF1B1B1B},
        {"fluent dark ink", mtFluentSingle, 0, kSquare, "", Plain, false, {30, 30}, 0xFFFFFFFF},
        {"fluent hover",
         mtFluentSingle,
         0,
         "",
         "",
         Hover,
         true,
         {2, 2},
         Blend(light, kAccent, 0.5)},
        {"fluent pressed rim", mtFluentSingle, 0, "", "", Press, true, {3, 3}, light},
        {"fluent pressed inset", mtFluentSingle, 0, "", "", Press, true, {4, 4}, kAccent},
        {"fluent pressed inset end", mtFluentSingle, 0, "", "", Press, true, {55, 55}, kAccent},
        {"fluent pressed rim end", mtFluentSingle, 0, "", "", Press, true, {56, 56}, light},
        {"fluent down underline", mtFluentSingle, 0, "", "", Down, true, {30, 58}, kAccent},
        {"fluent down above line", mtFluentSingle, 0, "", "", Down, true, {30, 56}, light},
        {"fluent disabled veil",
         mtFluentSingle,
         0,
         "",
         "",
         Disabled,
         true,
         {2, 2},
         Blend(light, 0xFF000000, 0.1)},
        // A colour of its own: the ink is that colour, adjusted to read on the surface.
        {"fluent orange ink",
         mtFluentSingle,
         orange,
         kSquare,
         "",
         Plain,
         true,
         {30, 30},
         0xFFC57B07},
        {"fluent orange dark",
         mtFluentSingle,
         orange,
         kSquare,
         "",
         Plain,
         false,
         {30, 30},
         0xFFF8AE3A},
        {"fluent orange hovered",
         mtFluentSingle,
         orange,
         kSquare,
         "",
         Hover,
         true,
         {30, 30},
         0xFF1B1B1B},
        {"fluent orange hover ground",
         mtFluentSingle,
         orange,
         kSquare,
         "",
         Hover,
         true,
         {2, 2},
         Blend(light, orange, 0.5)},
        // Swatches: the colour fills the tile; a down swatch shows the check mark in its ink.
        {"fluent swatch",
         mtFluentSingle,
         0xFFFF0000,
         "",
         "#FF0000",
         Plain,
         true,
         {2, 2},
         0xFFFF0000},
        {"fluent swatch check",
         mtFluentSingle,
         0xFFFF0000,
         "",
         "#FF0000",
         Down,
         true,
         {33, 28},
         0xFFFFFFFF},
        {"fluent swatch no check",
         mtFluentSingle,
         0xFFFF0000,
         "",
         "#FF0000",
         Plain,
         true,
         {33, 28},
         0xFFFF0000},
        {"swatch ignores the icon",
         mtFluentSingle,
         0xFFFF0000,
         kSquare,
         "#x",
         Plain,
         true,
         {30, 30},
         0xFFFF0000},
        {"metro swatch check",
         mtMetroSingle,
         0xFFFFFF00,
         "",
         "#FFFF00",
         Down,
         true,
         {33, 28},
         0xFF1B1B1B},
        {"win11 swatch check",
         mtWin11Single,
         0xFF0000FF,
         "",
         "#0000FF",
         Down,
         true,
         {33, 28},
         0xFFFFFFFF},
        // Metro: the colour fills the tile and shrinks by 4 when pressed; ink by luminance.
        {"metro ground", mtMetroSingle, 0xFF1BA1E2, "", "", Plain, true, {0, 0}, 0xFF1BA1E2},
        {"metro pressed gap", mtMetroSingle, 0xFF1BA1E2, "", "", Press, true, {3, 3}, 0x00000000},
        {"metro pressed tile", mtMetroSingle, 0xFF1BA1E2, "", "", Press, true, {4, 4}, 0xFF1BA1E2},
        {"metro 7F7F7F ink",
         mtMetroSingle,
         0xFF7F7F7F,
         kSquare,
         "",
         Plain,
         true,
         {30, 30},
         0xFFFFFFFF},
        {"metro 808080 ink",
         mtMetroSingle,
         0xFF808080,
         kSquare,
         "",
         Plain,
         true,
         {30, 30},
         0xFF1B1B1B},
        {"metro default ink",
         mtMetroSingle,
         0xFF1BA1E2,
         kSquare,
         "",
         Plain,
         true,
         {30, 30},
         0xFF1B1B1B},
        {"metro disabled", mtMetroSingle, 0xFFFFFFFF, "", "", Disabled, true, {2, 2}, 0xFFE6E6E6},
        // Metro rainbow: red in the top-left stripe, green on the diagonal; darker when hovered;
        // inset when pressed.
        {"rainbow red",
         mtMetroSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Plain,
         true,
         {4, 4},
         0xFFFF0000},
        {"rainbow corner",
         mtMetroSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Plain,
         true,
         {0, 0},
         0xFFFF0000},
        {"rainbow green",
         mtMetroSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Plain,
         true,
         {30, 30},
         0xFF00FF00},
        {"rainbow hovered",
         mtMetroSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Hover,
         true,
         {30, 30},
         0xFF00E600},
        {"rainbow pressed gap",
         mtMetroSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Press,
         true,
         {2, 2},
         0x00000000},
        {"fluent rainbow needs a swatch",
         mtFluentSingle,
         FlatBtnColorRainbow,
         "",
         "",
         Plain,
         true,
         {30, 30},
         light},
        {"fluent rainbow swatch",
         mtFluentSingle,
         FlatBtnColorRainbow,
         "",
         "#r",
         Plain,
         true,
         {30, 30},
         0xFF00FF00},
        // Windows 11: a rounded surface tile; the fallback colour inset when pressed or down.
        {"win11 surface", mtWin11Single, 0xFF1BA1E2, "", "", Plain, true, {30, 2}, light},
        {"win11 down", mtWin11Single, 0xFF1BA1E2, "", "", Down, true, {5, 30}, 0xFF1BA1E2},
        {"win11 down rim", mtWin11Single, 0xFF1BA1E2, "", "", Down, true, {2, 30}, light},
        {"win11 hovered",
         mtWin11Single,
         0xFF1BA1E2,
         "",
         "",
         Hover,
         true,
         {30, 30},
         Blend(light, 0xFF1BA1E2, 0.5)},
        {"win11 accent", mtWin11Single, 0, "", "", Press, false, {30, 30}, kAccent},
        {"win11 ink is never adjusted",
         mtWin11Single,
         orange,
         kSquare,
         "",
         Plain,
         true,
         {30, 30},
         0xFF1B1B1B},
        // iOS: the ink turns to the button colour when active; a toggle that is down shows it
        // unless hovered; disabled is veiled by its own colour.
        {"ios plain ink", mtiOSSingle, 0xFF34AADC, kSquare, "", Plain, true, {30, 30}, 0xFF1B1B1B},
        {"ios hovered ink",
         mtiOSSingle,
         0xFF34AADC,
         kSquare,
         "",
         Hover,
         true,
         {30, 30},
         0xFF34AADC},
        {"ios down toggle",
         mtiOSSingle,
         0xFF34AADC,
         kSquare,
         "",
         Down | Toggle,
         true,
         {30, 30},
         0xFF34AADC},
        {"ios down toggle hovered",
         mtiOSSingle,
         0xFF34AADC,
         kSquare,
         "",
         Down | Toggle | Hover,
         true,
         {30, 30},
         0xFF1B1B1B},
        {"ios down toggle pressed",
         mtiOSSingle,
         0xFF34AADC,
         kSquare,
         "",
         Down | Toggle | Hover | Press,
         true,
         {30, 30},
         0xFF34AADC},
        {"ios down plain hovered",
         mtiOSSingle,
         0xFF34AADC,
         kSquare,
         "",
         Down | Hover,
         true,
         {30, 30},
         0xFF34AADC},
        {"ios disabled",
         mtiOSSingle,
         0xFF34AADC,
         "",
         "",
         Disabled,
         true,
         {2, 2},
         Blend(light, 0xFF34AADC, 0.5)},
        {"ios dot", mtiOSSingle, 0xFFFF0000, "", "#FF0000", Plain, true, {9, 9}, 0xFFFF0000},
        {"ios dot pressed",
         mtiOSSingle,
         0xFFFF0000,
         "",
         "#FF0000",
         Press,
         true,
         {11, 11},
         0xFFFF0000},
        {"ios no dot", mtiOSSingle, 0xFFFF0000, "", "", Plain, true, {9, 9}, light},
        {"ios pressed gap", mtiOSSingle, 0xFF34AADC, "", "", Press, true, {2, 2}, 0x00000000},
        // A double button centres its 25.2-unit icon 65 units from the left.
        {"double icon left", mtFluentDouble, 0, kSquare, "", Plain, true, {53, 30}, 0xFF1B1B1B},
        {"double icon right", mtFluentDouble, 0, kSquare, "", Plain, true, {76, 30}, 0xFF1B1B1B},
        {"double left of icon", mtFluentDouble, 0, kSquare, "", Plain, true, {51, 30}, light},
        {"double right of icon", mtFluentDouble, 0, kSquare, "", Plain, true, {79, 30}, light},
        {"pressed icon shrinks", mtFluentSingle, 0, kSquare, "", Press, true, {18, 30}, kAccent},
        {"unpressed icon", mtFluentSingle, 0, kSquare, "", Plain, true, {18, 30}, 0xFF1B1B1B},
        {"unreadable icon", mtFluentSingle, 0, "M0,0 L1", "", Plain, true, {30, 30}, light},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TThemeGuard theme(c.Light, kAccent);
        auto b = Make(c.Type, c.Color, QString::fromLatin1(c.Icon), QString::fromLatin1(c.Text),
                      c.State);
        const QImage img = Render(*b);
        EXPECT_TRUE(ColorNear(img.pixel(c.At), c.Expected, 2))
            << " at " << c.At.x() << "," << c.At.y();
    }
}

TEST(FlatBtnPaint, Win11CornersAreRound) {
    TThemeGuard theme(true, kAccent);
    auto b = Make(mtWin11Single, 0xFF1BA1E2, "", "", Plain);
    const QImage img = Render(*b);
    for (QPoint corner : {QPoint(0, 0), QPoint(59, 0), QPoint(0, 59), QPoint(59, 59)}) {
        SCOPED_TRACE(testing::Message() << corner.x() << "," << corner.y());
        EXPECT_LT(qAlpha(img.pixel(corner)), 64);
    }
    EXPECT_EQ(qAlpha(img.pixel(30, 0)), 255);
}

// The rows that hold ink of AInk, top to bottom.
std::pair<int, int> InkRows(const QImage& AImage, TAlphaColor AInk) {
    int top = -1, bottom = -1;
    for (int y = 0; y < AImage.height(); ++y)
        for (int x = 0; x < AImage.width(); ++x)
            if (ColorNear(AImage.pixel(x, y), AInk, 60)) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
    return {top, bottom};
}

TEST(FlatBtnPaint, CaptionSitsBottomLeft) {
    TThemeGuard theme(true, kAccent);
    auto b = Make(mtMetroSingle, 0xFF808080, "", "Open", Plain);
    const QImage img = Render(*b);
    const auto [top, bottom] = InkRows(img, 0xFF1B1B1B);
    ASSERT_GE(top, 0);
    EXPECT_GT(top, 35);
    EXPECT_LE(bottom, 57);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_TRUE(ColorNear(img.pixel(x, y), 0xFF808080, 0)) << x << "," << y;
}

TEST(FlatBtnPaint, LongCaptionWrapsUpwards) {
    TThemeGuard theme(true, kAccent);
    auto one = Make(mtMetroDouble, 0xFF808080, "", "Isosceles", Plain);
    auto two = Make(mtMetroDouble, 0xFF808080, "", "Isosceles Right Triangle Preview", Plain);
    const int oneTop = InkRows(Render(*one), 0xFF1B1B1B).first;
    const int twoTop = InkRows(Render(*two), 0xFF1B1B1B).first;
    ASSERT_GE(oneTop, 0);
    EXPECT_LT(twoTop, oneTop - 8); // a second line above the first
}

TEST(FlatBtnPaint, JapaneseCaptionsStayOnOneLine) {
    if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
        GTEST_SKIP() << "no Japanese font installed";
    TThemeGuard theme(true, kAccent);
    const int oneLine =
        InkRows(Render(*Make(mtMetroSingle, 0xFF808080, "", "開く", Plain)), 0xFF1B1B1B).first;
    for (const char* text : {"…について", "プレビュー"}) {
        SCOPED_TRACE(text);
        for (unsigned state : {Plain, Press}) {
            auto b = Make(mtMetroSingle, 0xFF808080, "", QString::fromUtf8(text), state);
            EXPECT_GT(InkRows(Render(*b), 0xFF1B1B1B).first, oneLine - 6);
        }
    }
}

} // namespace
