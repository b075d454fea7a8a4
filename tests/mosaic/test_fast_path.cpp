// The engine against the straightforward oracle: ownership and sums bit for bit, painting
// identical away from the anti-aliased edges, and nothing that depends on the thread count.
#include "catalog.h"
#include "oracle.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "test_support.h"
#include "tilings.h"
#include "treatments.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

enum class Fill { Opaque, Translucent };

QImage RandomPicture(int W, int H, Fill AFill, quint32 ASeed) {
    if (W <= 0 || H <= 0)
        return QImage();
    QRandomGenerator rng(ASeed);
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int a = AFill == Fill::Opaque ? 255 : int(rng.bounded(256));
            img.setPixel(x, y,
                         qPremultiply(qRgba(int(rng.bounded(256)), int(rng.bounded(256)),
                                            int(rng.bounded(256)), a)));
        }
    return img;
}

struct Picture {
    int W, H;
    Fill F;
};

const Picture kPictures[] = {
    {97, 61, Fill::Opaque}, {64, 64, Fill::Translucent},  {128, 96, Fill::Opaque},
    {1, 1, Fill::Opaque},   {1, 37, Fill::Translucent},   {45, 1, Fill::Opaque},
    {0, 0, Fill::Opaque},   {130, 77, Fill::Translucent},
};

const float kCells[] = {2, 7, 16, 32.5f, 64};

void ExpectSameSums(const TItemXs& AFast, const TItemXs& AOracle) {
    ASSERT_EQ(AFast.size(), AOracle.size());
    for (size_t i = 0; i < AFast.size(); ++i) {
        // Bit for bit: the same pixels, added in the same order.
        ASSERT_EQ(AFast[i].Count, AOracle[i].Count) << "tile " << i;
        ASSERT_EQ(AFast[i].R, AOracle[i].R) << "tile " << i;
        ASSERT_EQ(AFast[i].G, AOracle[i].G) << "tile " << i;
        ASSERT_EQ(AFast[i].B, AOracle[i].B) << "tile " << i;
        ASSERT_EQ(AFast[i].A, AOracle[i].A) << "tile " << i;
    }
}

TEST(FastPath, SumsMatchTheOracleBitForBit) {
    quint32 seed = 1;
    for (const Picture& pic : kPictures) {
        const QImage img = RandomPicture(pic.W, pic.H, pic.F, seed++);
        for (const TShapeEntry& s : kShapes)
            for (float cell : kCells) {
                SCOPED_TRACE(testing::Message()
                             << pic.W << "x" << pic.H << " " << s.Key << " @" << cell);
                TItemXs fast, slow;
                s.Init(img, cell, fast);
                slow = fast;
                SampleItemXs(img, fast, nullptr);
                oracle::SampleItemXs(img, slow, nullptr);
                ExpectSameSums(fast, slow);
            }
    }
}

// Shapes whose corners do not sit on the pixel grid, and a triangle that is not convex-fan
// friendly, still own exactly what the owner test says.
TEST(FastPath, OddGeometryMatchesTheOracle) {
    const QImage img = RandomPicture(40, 30, Fill::Translucent, 99);
    TItemXs items = {
        WithSquare(TItemX{}, 2.5f, 2.5f, 20.5f, 20.5f),
        TItemX{{{3, 3}, {30, 5.25f}, {10, 27}}},
        TItemX{{{0, 0}, {39, 29}, {39, 29}}},                   // degenerate
        TItemX{{{5, 5}, {25, 5}, {25, 25}, {15, 10}, {5, 25}}}, // not convex
        TItemX{{{-3, 12.5f}, {50, 12.5f}, {50, 17.5f}, {-3, 17.5f}}},
        TItemX{{{20, 0.5f}, {21, 29.5f}, {19, 29.5f}}}, // steep
    };
    TItemXs slow = items;
    SampleItemXs(img, items, nullptr);
    oracle::SampleItemXs(img, slow, nullptr);
    ExpectSameSums(items, slow);
}

TEST(FastPath, ResultsDoNotDependOnThreads) {
    const QImage img = RandomPicture(301, 203, Fill::Translucent, 7);
    std::vector<TItemXs> sums;
    std::vector<QImage> painted;
    for (int threads : {1, 2, 5}) {
        SetWorkerThreads(threads);
        TItemXs items;
        InitHexagon(img, 9, items);
        SampleItemXs(img, items, nullptr);
        QImage dest;
        RenderItemXs(items, img.width(), img.height(), dest, ConvColorAlphaGray, 0.75f);
        sums.push_back(items);
        painted.push_back(dest);
    }
    SetWorkerThreads(0);
    for (size_t k = 1; k < sums.size(); ++k) {
        ExpectSameSums(sums[k], sums[0]);
        EXPECT_EQ(painted[k], painted[0]);
    }
}

// True when the pixel square lies more than AMargin inside the tile (a convex polygon).
bool DeepInside(const TItemX& t, int x, int y, double AMargin) {
    const TPointFX& p = t.Points;
    const size_t n = p.size();
    double area = 0;
    for (size_t k = 0; k < n; ++k)
        area += double(p[k].X) * p[(k + 1) % n].Y - double(p[(k + 1) % n].X) * p[k].Y;
    for (size_t k = 0; k < n; ++k) {
        const TPointF &a = p[k], &b = p[(k + 1) % n];
        const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y, len = std::hypot(dx, dy);
        for (double cx : {double(x), x + 1.0})
            for (double cy : {double(y), y + 1.0}) {
                const double dist = ((cx - a.X) * dy - (cy - a.Y) * dx) / len;
                if ((area > 0 ? -dist : dist) < AMargin)
                    return false;
            }
    }
    return true;
}

TEST(FastPath, PaintingMatchesTheOracleInsideTiles) {
    const QImage img = RandomPicture(160, 120, Fill::Translucent, 3);
    const struct {
        TColorConv Conv;
        float Opacity;
    } treatments[] = {{ConvColor, 1.0f}, {ConvColorSelfAlpha, 0.75f}, {ConvGrayAlphaBlack, 0.5f}};
    for (const TShapeEntry& s : kShapes)
        for (float cell : {9.0f, 24.0f})
            for (const auto& tr : treatments) {
                SCOPED_TRACE(testing::Message() << s.Key << " @" << cell);
                TItemXs items;
                s.Init(img, cell, items);
                SampleItemXs(img, items, nullptr);
                QImage fast, slow;
                RenderItemXs(items, 160, 120, fast, tr.Conv, tr.Opacity);
                oracle::RenderItemXs(items, 160, 120, slow, tr.Conv, tr.Opacity);
                ASSERT_EQ(fast.size(), slow.size());
                int compared = 0;
                for (const TItemX& t : items) {
                    if (t.Count <= 0)
                        continue;
                    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
                    for (const TPointF& q : t.Points) {
                        x0 = std::min(x0, q.X), x1 = std::max(x1, q.X);
                        y0 = std::min(y0, q.Y), y1 = std::max(y1, q.Y);
                    }
                    for (int y = std::max(0, int(y0)); y < std::min(120, int(y1) + 1); ++y)
                        for (int x = std::max(0, int(x0)); x < std::min(160, int(x1) + 1); ++x)
                            if (DeepInside(t, x, y, 1.5)) {
                                ASSERT_EQ(Pixel(fast, x, y), Pixel(slow, x, y)) << x << "," << y;
                                ++compared;
                            }
                }
                EXPECT_GT(compared, 300);
                // Edges may differ, but only as anti-aliasing does.
                int64_t diff = 0;
                for (int y = 0; y < 120; ++y)
                    for (int x = 0; x < 160; ++x) {
                        const QRgb a = Pixel(fast, x, y), b = Pixel(slow, x, y);
                        diff += std::abs(qAlpha(a) - qAlpha(b)) + std::abs(qRed(a) - qRed(b));
                    }
                EXPECT_LT(double(diff) / (160 * 120), 3.0);
            }
}

TEST(FastPath, UniformPictureHasNoSeams) {
    const QImage img = SolidImage(150, 100, qRgba(40, 90, 200, 255));
    for (const TShapeEntry& s : kShapes) {
        SCOPED_TRACE(s.Key);
        TItemXs items;
        s.Init(img, 13, items);
        SampleItemXs(img, items, nullptr);
        QImage dest;
        RenderItemXs(items, 150, 100, dest, ConvColor, 1.0f);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 150; ++x)
                ASSERT_EQ(Pixel(dest, x, y), qRgba(40, 90, 200, 255)) << x << "," << y;
    }
}

TEST(Oracle, MergeUsesMaskLuminance) {
    QImage colour(3, 1, QImage::Format_ARGB32_Premultiplied), mask = colour;
    colour.fill(qRgb(10, 20, 30));
    mask.setPixel(0, 0, qRgb(77, 77, 77));
    mask.setPixel(1, 0, qRgb(255, 0, 0)); // (54 * 255) >> 8 = 53
    mask.setPixel(2, 0, qRgb(0, 0, 0));
    const QImage out = oracle::CreateFromBitmapAndMask(colour, mask);
    EXPECT_EQ(Pixel(out, 0, 0), qRgba(10, 20, 30, 77));
    EXPECT_EQ(Pixel(out, 1, 0), qRgba(10, 20, 30, 53));
    EXPECT_EQ(Pixel(out, 2, 0), 0u);
}

} // namespace
