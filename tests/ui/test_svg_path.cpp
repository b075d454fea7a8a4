#include "flat_btn.h"
#include "svg_path.h"

#include <gtest/gtest.h>

namespace {

::testing::AssertionResult RectNear(const QRectF& AActual, const QRectF& AExpected) {
    const double e = 1e-3; // arcs are cubic approximations
    if (std::abs(AActual.left() - AExpected.left()) < e &&
        std::abs(AActual.top() - AExpected.top()) < e &&
        std::abs(AActual.right() - AExpected.right()) < e &&
        std::abs(AActual.bottom() - AExpected.bottom()) < e)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (" << AActual.left() << "," << AActual.top() << ")-(" << AActual.right() << ","
           << AActual.bottom() << ")";
}

TEST(SvgPath, ReadsTheGrammar) {
    const struct {
        const char* Data;
        QRectF Bounds;
        QPointF Inside, Outside;
    } cases[] = {
        {FlatBtnCheckMark, QRectF(QPointF(0, 0.117), QPointF(1, 0.883)), {0.65, 0.45}, {0.2, 0.2}},
        {"M0,0 L1,0 L1,1 Z", QRectF(0, 0, 1, 1), {0.9, 0.5}, {0.1, 0.5}},
        // Exponents, as in 5.507E-9, in both cases and signs.
        {"M0,0 L1e0,0 L1,5.0E-1 L4.172E-7,5e-1 Z", QRectF(0, 0, 1, 0.5), {0.5, 0.25}, {0.5, 0.75}},
        // Pairs after a move are lines; the separators may be spaces, commas or nothing.
        {"M0 0 1 0 1 1z", QRectF(0, 0, 1, 1), {0.9, 0.5}, {0.1, 0.5}},
        {"M0-0.5L.5.5 1-.5z", QRectF(0, -0.5, 1, 1), {0.5, 0}, {0.1, 0.4}},
        {"m0.5,0.5 l0.5,0 0,0.5 z", QRectF(0.5, 0.5, 0.5, 0.5), {0.9, 0.6}, {0.6, 0.9}},
        {"M0,0 H1 V1 H0 Z", QRectF(0, 0, 1, 1), {0.5, 0.5}, {1.5, 0.5}},
        {"M0.2,0.2 h0.6 v0.6 h-0.6 z", QRectF(0.2, 0.2, 0.6, 0.6), {0.5, 0.5}, {0.1, 0.5}},
        // Several sub-paths: a ring, the inner square a hole.
        {"M0,0 L1,0 L1,1 L0,1 Z M0.25,0.25 L0.75,0.25 L0.75,0.75 L0.25,0.75 Z",
         QRectF(0, 0, 1, 1),
         {0.1, 0.1},
         {0.5, 0.5}},
        // A line after Z starts from the sub-path's first point.
        {"M0,0 L1,0 L1,1 Z L0,1 L1,1 Z", QRectF(0, 0, 1, 1), {0.05, 0.9}, {2, 2}},
        {"M0,1 C0,0 1,0 1,1 Z", QRectF(0, 0.25, 1, 0.75), {0.5, 0.5}, {0.05, 0.3}},
        {"M0,1 C0,0.5 0.5,0 0.5,0.5 S1,1 1,0 Z", QRectF(0, 0, 1, 1), {0.25, 0.5}, {0.9, 0.95}},
        {"M0,1 Q0.5,0 1,1 Z", QRectF(0, 0.5, 1, 0.5), {0.5, 0.9}, {0.5, 0.4}},
        {"M0,1 Q0.25,0 0.5,1 T1,1 Z", QRectF(0, 0.5, 1, 1), {0.25, 0.9}, {0.75, 0.9}},
        // The upper half of the unit circle, with flags written without separators.
        {"M0,0.5 A0.5,0.5 0 0 1 1,0.5 Z", QRectF(0, 0, 1, 0.5), {0.5, 0.1}, {0.5, 0.6}},
        {"M0,0.5a.5.5 0 011,0z", QRectF(0, 0, 1, 0.5), {0.5, 0.1}, {0.5, 0.6}},
        // Radii too small to reach the end are enlarged; a zero radius is a line.
        {"M0,0.5 A0.1,0.1 0 0 0 1,0.5 Z", QRectF(0, 0.5, 1, 0.5), {0.5, 0.9}, {0.5, 0.1}},
        {"M0,0 A0,1 0 0 0 1,0 L1,1 Z", QRectF(0, 0, 1, 1), {0.9, 0.5}, {0.1, 0.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Data);
        const QPainterPath p = ParseSvgPath(QString::fromLatin1(c.Data));
        ASSERT_FALSE(p.isEmpty());
        EXPECT_TRUE(RectNear(p.boundingRect(), c.Bounds));
        EXPECT_TRUE(p.contains(c.Inside));
        EXPECT_FALSE(p.contains(c.Outside));
    }
}

TEST(SvgPath, AnyErrorGivesNothing) {
    const char* const cases[] = {
        "",
        "   ",
        "L1,1",                // no move first
        "M0",                  // half a point
        "M0,0 L1",             //
        "M0,0 X1,1",           // no such command
        "M0,0 L1,1 Z 5",       // Z takes no numbers
        "M1e,1 L1,1",          // an exponent without digits is no number
        "M0,0 L1e999,1",       // infinite
        "M0,0 L.,1",           //
        "M0,0 L1,1 L--1,0",    //
        "M0,0 A1,1 0 2 0 1,1", // a flag is 0 or 1
        "M0,0 L1,\uFF11",      // a full-width digit
        "M0,0 L1,1 Z\"/><script/>",
    };
    for (const char* data : cases) {
        SCOPED_TRACE(data);
        EXPECT_TRUE(ParseSvgPath(QString::fromUtf8(data)).isEmpty());
    }
}

} // namespace
