#include "catalog.h"
#include "tilings.h"
#include "vorm_error.h"

#include <gtest/gtest.h>

namespace {

TItemXs Tile(int AShape, int W, int H, float w) {
    TItemXs items;
    const QImage img =
        W > 0 && H > 0 ? QImage(W, H, QImage::Format_ARGB32_Premultiplied) : QImage();
    kShapes[size_t(AShape)].Init(img, w, items);
    return items;
}

TEST(Tilings, TileCounts) {
    struct Case {
        int Shape, W, H;
        float w;
        size_t Tiles;
    } cases[] =
        {
            {0, 100, 100, 64, 14}, {1, 100, 100, 64, 14},  {2, 100, 100, 64, 8},
            {3, 100, 100, 64, 8},  {4, 100, 100, 64, 4},   {5, 100, 100, 64, 6},
            {6, 100, 100, 64, 6},  {0, 100, 100, 16, 128}, {6, 100, 100, 16, 36},
            {4, 128, 128, 64, 9}, // an exact multiple adds a row and a column outside
            {4, 0, 0, 16, 1},      {6, 0, 0, 16, 4},       {0, 0, 0, 16, 4},
            {2, 1, 1, 128, 2},
        };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << kShapes[size_t(c.Shape)].Key << " " << c.W << "x" << c.H << " @" << c.w);
        const TItemXs items = Tile(c.Shape, c.W, c.H, c.w);
        EXPECT_EQ(items.size(), c.Tiles);
        const size_t corners = c.Shape < 4 ? 3 : c.Shape < 6 ? 4 : 6;
        for (const TItemX& t : items) {
            ASSERT_EQ(t.Points.size(), corners);
            EXPECT_EQ(t.Count, 0);
            EXPECT_EQ(t.R + t.G + t.B + t.A, 0.0);
        }
    }
}

TEST(Tilings, Corners) {
    const float h64 = 55.425625f, h2 = 110.85125f;
    struct Case {
        int Shape;
        size_t Index;
        TPointFX Points;
    } cases[] = {
        {0, 0, {{-32, 0}, {32, 0}, {0, h64}}},
        {1, 0, {{-32, h64}, {0, 0}, {32, h64}}},
        {0, 1, {{0, h64}, {32, 0}, {64, h64}}},            // orientations alternate along a row
        {0, 7, {{-32, 2 * h64}, {0, h64}, {32, 2 * h64}}}, // and from row to row
        {2, 0, {{0, 64}, {0, 0}, {64, 0}}},
        {2, 1, {{0, 64}, {64, 0}, {64, 64}}},
        {2, 2, {{64, 0}, {128, 0}, {128, 64}}},
        {2, 3, {{64, 0}, {128, 64}, {64, 64}}},
        {3, 0, {{0, 0}, {64, 0}, {64, 64}}},
        {4, 0, {{0, 0}, {64, 0}, {64, 64}, {0, 64}}},
        {5, 3, {{-32, 64}, {32, 64}, {32, 128}, {-32, 128}}},
        {6, 0, {{0, 0}, {32, -h64}, {96, -h64}, {128, 0}, {96, h64}, {32, h64}}},
        {6, 2, {{-96, h64}, {-64, 0}, {0, 0}, {32, h64}, {0, h2}, {-64, h2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << kShapes[size_t(c.Shape)].Key << " tile " << c.Index);
        const TItemXs items = Tile(c.Shape, 100, 100, 64);
        ASSERT_LT(c.Index, items.size());
        ASSERT_EQ(items[c.Index].Points.size(), c.Points.size());
        for (size_t k = 0; k < c.Points.size(); ++k) {
            EXPECT_EQ(items[c.Index].Points[k].X, c.Points[k].X) << "corner " << k;
            EXPECT_EQ(items[c.Index].Points[k].Y, c.Points[k].Y) << "corner " << k;
        }
    }
}

TEST(Tilings, TriangleHeightsAreStoredAsSingles) {
    const struct {
        float w, th;
    } cases[] = {{16, 13.856406f}, {32, 27.712812f}, {64, 55.425625f}, {128, 110.85125f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.w);
        EXPECT_EQ(Tile(0, 10, 10, c.w)[0].Points[2].Y, c.th);
        EXPECT_EQ(Tile(6, 10, 10, c.w)[0].Points[4].Y, c.th);
    }
}

TEST(Tilings, RefusesUnusableCells) {
    for (float w : {0.0f, -16.0f, std::numeric_limits<float>::quiet_NaN(), 1e-6f}) {
        SCOPED_TRACE(w);
        for (const TShapeEntry& s : kShapes) {
            TItemXs items;
            EXPECT_THROW(s.Init(QImage(64, 64, QImage::Format_ARGB32_Premultiplied), w, items),
                         EVormError)
                << s.Key;
        }
    }
}

} // namespace
