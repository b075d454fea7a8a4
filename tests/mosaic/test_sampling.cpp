#include "catalog.h"
#include "sampling.h"
#include "test_support.h"
#include "tilings.h"
#include "vorm_error.h"

#include <gtest/gtest.h>

namespace {

TEST(Model, IsCheckerCell) {
    const struct {
        int x, y;
        bool Expected;
    } cases[] = {{0, 0, true},   {1, 1, true},   {-1, 1, true},  {1, 0, false},
                 {-1, 0, false}, {-3, -5, true}, {2, -7, false}, {INT32_MIN, INT32_MAX, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsCheckerCell(c.x, c.y), c.Expected) << c.x << "," << c.y;
}

TEST(Sampling, PointInTriangleIsStrict) {
    const TPointF A{0, 0}, B{10, 0}, C{0, 10};
    const struct {
        TPointF P;
        bool Inside;
    } cases[] = {{{1, 1}, true},  {{5, 0}, false},  {{0, 5}, false},
                 {{5, 5}, false}, {{0, 0}, false},  {{10, 0}, false},
                 {{6, 6}, false}, {{-1, 1}, false}, {{4.9f, 4.9f}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.P.X << "," << c.P.Y);
        EXPECT_EQ(PointInTriangle(A, B, C, c.P), c.Inside);
        EXPECT_EQ(PointInTriangle(A, C, B, c.P), c.Inside); // either winding
    }
}

TEST(Sampling, ClampTrunc) {
    const struct {
        float v, bound;
        int Expected;
    } cases[] = {{-0.5f, 10, 0},  {-100, 10, 0},   {3.9f, 10, 3}, {10, 10, 10},
                 {10.5f, 10, 10}, {1e30f, 99, 99}, {0, 0, 0},     {5, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ClampTrunc(c.v, c.bound), c.Expected) << c.v << " " << c.bound;
}

TEST(Sampling, PixelsOnFanAndCutLinesBelongToNoTile) {
    const struct {
        int Shape;
        float w;
        size_t Index; // a tile wholly inside the picture
        int Count;
    } cases[] = {
        {4, 64, 0, 4032}, {4, 16, 0, 240},  {4, 16, 1, 240},  {2, 64, 0, 2016},
        {2, 64, 1, 2016}, {3, 64, 0, 2016}, {3, 64, 1, 2016},
    };
    const QImage img = SolidImage(200, 200, 0xFF102030);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << kShapes[size_t(c.Shape)].Key << " @" << c.w);
        TItemXs items;
        kShapes[size_t(c.Shape)].Init(img, c.w, items);
        SampleItemXs(img, items, nullptr);
        EXPECT_EQ(items[c.Index].Count, c.Count);
    }
}

TEST(Sampling, OpaqueSolidPictureGivesExactSums) {
    const QImage img = SolidImage(130, 97, qRgba(200, 100, 50, 255));
    for (const TShapeEntry& s : kShapes) {
        SCOPED_TRACE(s.Key);
        TItemXs items;
        s.Init(img, 16, items);
        SampleItemXs(img, items, nullptr);
        int64_t total = 0;
        for (const TItemX& t : items) {
            EXPECT_EQ(t.R, 200.0 * t.Count);
            EXPECT_EQ(t.G, 100.0 * t.Count);
            EXPECT_EQ(t.B, 50.0 * t.Count);
            EXPECT_EQ(t.A, 255.0 * t.Count);
            total += t.Count;
        }
        EXPECT_GT(total, 130 * 97 / 2);
        EXPECT_LE(total, 130 * 97);
    }
}

TEST(Sampling, TranslucentAndTransparentPixels) {
    const struct {
        QRgb Pixel; // premultiplied
        double R, A;
    } cases[] = {
        {qRgba(64, 0, 0, 128), 127.5, 128}, // 64 * 255 / 128
        {qRgba(0, 0, 0, 0), 0, 0},          // counts, adds nothing
        {qRgba(1, 0, 0, 3), 255.0 / 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.A);
        const QImage img = SolidImage(64, 64, c.Pixel);
        TItemXs items;
        InitSquare(img, 64, items);
        SampleItemXs(img, items, nullptr);
        ASSERT_EQ(items[0].Count, 4032);
        EXPECT_DOUBLE_EQ(items[0].R / items[0].Count, c.R);
        EXPECT_EQ(items[0].A, c.A * 4032);
        EXPECT_TRUE(std::isfinite(items[0].G));
    }
}

TEST(Sampling, LaterTileWinsASharedPixel) {
    // Two overlapping squares: of the 16 centres in each, the 4 on its diagonal count for
    // neither fan triangle, and the 6 centres that both claim go to the later square.
    TItemXs items = {WithSquare(TItemX{}, 0, 0, 4, 4), WithSquare(TItemX{}, 1, 1, 5, 5)};
    SampleItemXs(SolidImage(6, 6, 0xFFFFFFFF), items, nullptr);
    EXPECT_EQ(items[0].Count, 6);
    EXPECT_EQ(items[1].Count, 12);
}

TEST(Sampling, TilesOutsideThePictureStayEmpty) {
    const QImage img = SolidImage(128, 128, 0xFF808080);
    TItemXs items;
    InitSquare(img, 64, items);
    SampleItemXs(img, items, nullptr);
    ASSERT_EQ(items.size(), 9u);
    for (size_t i : {2u, 5u, 6u, 7u, 8u})
        EXPECT_EQ(items[i].Count, 0) << i;
    for (size_t i : {0u, 1u, 3u, 4u})
        EXPECT_EQ(items[i].Count, 4032) << i;
}

TEST(Sampling, EmptyPictureLeavesEveryTileEmpty) {
    for (const TShapeEntry& s : kShapes) {
        SCOPED_TRACE(s.Key);
        TItemXs items;
        s.Init(QImage(), 16, items);
        SampleItemXs(QImage(), items, nullptr);
        for (const TItemX& t : items)
            EXPECT_EQ(t.Count, 0);
    }
}

TEST(Sampling, OtherPixelFormatsAreReadAsPremultiplied) {
    QImage straight(32, 32, QImage::Format_ARGB32);
    straight.fill(qRgba(200, 100, 50, 255));
    TItemXs items;
    InitSquare(straight, 32, items);
    SampleItemXs(straight, items, nullptr);
    EXPECT_EQ(items[0].R, 200.0 * items[0].Count);
}

class RecordingProgress : public TProgress {
public:
    void setMaximum(double AMax) override { Max = AMax; }
    void setValue(double AValue) override { Values.push_back(AValue); }
    bool isCanceled() const override {
        return CancelAt >= 0 && !Values.empty() && Values.back() >= CancelAt;
    }
    double Max = -1;
    double CancelAt = -1;
    std::vector<double> Values;
};

TEST(Sampling, ReportsEveryRowThenResets) {
    const QImage img = SolidImage(7, 100, 0xFF000000);
    TItemXs items;
    InitSquare(img, 16, items);
    RecordingProgress progress;
    SampleItemXs(img, items, &progress);
    EXPECT_EQ(progress.Max, 99);
    ASSERT_EQ(progress.Values.size(), 101u);
    for (int y = 0; y < 100; ++y)
        EXPECT_EQ(progress.Values[size_t(y)], y);
    EXPECT_EQ(progress.Values.back(), 0);
}

TEST(Sampling, CancelStopsTheSumPass) {
    const QImage img = SolidImage(20, 300, 0xFF000000);
    TItemXs items;
    InitSquare(img, 16, items);
    RecordingProgress progress;
    progress.CancelAt = 10;
    EXPECT_THROW(SampleItemXs(img, items, &progress), ECanceled);
    EXPECT_EQ(progress.Values.back(), 0);
    EXPECT_LT(progress.Values.size(), 100u); // stopped before the last row
}

} // namespace
