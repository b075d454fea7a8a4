// The view's arithmetic: where the picture lies, the zoom levels, and the reduction below 100 %.
#include "view_scale.h"

#include <QRandomGenerator>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// A 600 × 400 picture in a 300 × 300 view: fitted at 0.5, letterboxed above and below.
TViewGeometry Fitted() {
    TViewGeometry g;
    g.SetViewSize(QSizeF(300, 300));
    g.SetPictureSize(QSize(600, 400));
    return g;
}

void ExpectPoint(QPointF AActual, QPointF AExpected) {
    EXPECT_NEAR(AActual.x(), AExpected.x(), 1e-9);
    EXPECT_NEAR(AActual.y(), AExpected.y(), 1e-9);
}

TEST(ViewGeometry, FitsProportionsKeptAndCentred) {
    const TViewGeometry g = Fitted();
    EXPECT_TRUE(g.IsFit());
    EXPECT_DOUBLE_EQ(g.Zoom(), 0.5);
    EXPECT_EQ(g.PictureRect(), QRectF(0, 50, 300, 200));
    EXPECT_FALSE(g.CanPan());
    // A small picture is scaled up to fit as well.
    TViewGeometry small;
    small.SetViewSize(QSizeF(300, 300));
    small.SetPictureSize(QSize(30, 60));
    EXPECT_DOUBLE_EQ(small.Zoom(), 5);
    EXPECT_EQ(small.PictureRect(), QRectF(75, 0, 150, 300));
}

TEST(ViewGeometry, ZoomKeepsThePicturePointUnderThePointer) {
    const struct {
        double Zoom;
        QPointF At;
    } cases[] = {
        {2, {100, 150}}, {1, {10, 200}}, {4, {299, 76}}, {0.75, {150, 150}}, {64, {33, 222}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Zoom);
        TViewGeometry g = Fitted();
        const QPointF under = g.ToPicture(c.At);
        g.ZoomAt(c.Zoom, c.At);
        EXPECT_DOUBLE_EQ(g.Zoom(), c.Zoom);
        EXPECT_FALSE(g.IsFit());
        ExpectPoint(g.ToView(under), c.At);
    }
}

TEST(ViewGeometry, ZoomStaysWithinItsRange) {
    TViewGeometry g = Fitted();
    g.SetZoom(1e6);
    EXPECT_GE(g.Zoom(), 32); // 3200 % at least
    EXPECT_DOUBLE_EQ(g.Zoom(), TViewGeometry::kMaxZoom);
    g.SetZoom(1e-6);
    EXPECT_DOUBLE_EQ(g.Zoom(), g.MinZoom());
    EXPECT_DOUBLE_EQ(g.MinZoom(), 0.5 / 4);
    // Below the fit the picture is smaller than the view, so it sits in the middle.
    EXPECT_EQ(g.PictureRect().center(), QPointF(150, 150));
}

TEST(ViewGeometry, PanningStopsWhereThePictureWouldUncoverTheView) {
    const struct {
        const char* Name;
        QPointF Delta;
        QPointF Corner; // the picture point expected at the view's corner named
        QPointF ViewCorner;
    } cases[] = {
        {"far right and down", {1e5, 1e5}, {0, 0}, {0, 0}},
        {"far left and up", {-1e5, -1e5}, {600, 400}, {300, 300}},
        {"far right and up", {1e5, -1e5}, {0, 400}, {0, 300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TViewGeometry g = Fitted();
        g.SetZoom(2);
        g.PanBy(c.Delta);
        ExpectPoint(g.ToView(c.Corner), c.ViewCorner);
    }
    // A small pan moves the picture by as much, and the picture point at the centre with it.
    TViewGeometry g = Fitted();
    g.SetZoom(2);
    const QPointF before = g.Centre();
    g.PanBy(QPointF(40, -20));
    ExpectPoint(g.Centre(), before - QPointF(20, -10));
    // A fitted picture does not move at all.
    TViewGeometry fitted = Fitted();
    fitted.PanBy(QPointF(50, 50));
    EXPECT_EQ(fitted.PictureRect(), QRectF(0, 50, 300, 200));
}

TEST(ViewGeometry, ActualSizeAndResizeKeepTheCentre) {
    TViewGeometry g = Fitted();
    g.ZoomAt(2, QPointF(100, 150));
    const QPointF centre = g.Centre();
    g.SetZoom(1);
    ExpectPoint(g.Centre(), centre);
    g.SetViewSize(QSizeF(400, 200));
    ExpectPoint(g.Centre(), centre);
    EXPECT_DOUBLE_EQ(g.Zoom(), 1);
    // Fitted, a resize fits again.
    g.Fit();
    g.SetViewSize(QSizeF(120, 300));
    EXPECT_DOUBLE_EQ(g.Zoom(), 0.2);
    EXPECT_TRUE(g.IsFit());
}

TEST(ViewGeometry, ASameSizedPictureKeepsTheViewAnotherFits) {
    TViewGeometry g = Fitted();
    g.ZoomAt(3, QPointF(40, 60));
    const QPointF centre = g.Centre();
    g.SetPictureSize(QSize(600, 400));
    EXPECT_DOUBLE_EQ(g.Zoom(), 3);
    ExpectPoint(g.Centre(), centre);
    g.SetPictureSize(QSize(300, 600));
    EXPECT_TRUE(g.IsFit());
    EXPECT_DOUBLE_EQ(g.Zoom(), 0.5);
}

TEST(ZoomLevels, StepsAlongTheLadder) {
    const struct {
        double From;
        int Steps;
        double To;
    } cases[] = {
        {1, 1, 1.5},   {1, -1, 0.75},       {1.5, 1, 2},         {1, 3, 3},
        {1, -4, 0.25}, {0.1429, 1, 0.1875}, {0.1429, -1, 0.125}, {1.0000000001, 1, 1.5},
        {8, 2, 16},    {0.75, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.From << " by " << c.Steps);
        EXPECT_DOUBLE_EQ(ZoomLevel(c.From, c.Steps), c.To);
    }
}

TEST(ZoomLevels, Texts) {
    const struct {
        double Zoom;
        const char* Text;
    } cases[] = {
        {1, "100 %"},     {0.5, "50 %"},   {32, "3200 %"},
        {0.1429, "14 %"}, {0.05, "5.0 %"}, {0.375, "38 %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZoomPercentText(c.Zoom), c.Text) << c.Zoom;
}

QImage Grey(const std::vector<int>& AValues, int W) {
    const int H = int(AValues.size()) / W;
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = AValues[size_t(y * W + x)];
            img.setPixel(x, y, qRgba(v, v, v, 255));
        }
    return img;
}

TEST(Reduction, EachPixelIsTheMeanOfTheAreaItCovers) {
    // 2 × 2 blocks.
    const QImage blocks = ReduceAreaAverage(Grey({0, 100, 40, 60, 20, 80, 200, 0}, 4), {2, 1});
    ASSERT_EQ(blocks.size(), QSize(2, 1));
    EXPECT_EQ(qRed(blocks.pixel(0, 0)), 50);
    EXPECT_EQ(qRed(blocks.pixel(1, 0)), 75);
    // Three pixels into two: each takes one and a half, the middle one shared.
    const QImage shares = ReduceAreaAverage(Grey({0, 255, 0}, 3), {2, 1});
    EXPECT_EQ(qRed(shares.pixel(0, 0)), 85);
    EXPECT_EQ(qRed(shares.pixel(1, 0)), 85);
}

TEST(Reduction, FineDetailAveragesInsteadOfAliasing) {
    // One-pixel stripes, black and white: sampled, they come out as stripes or solid black or
    // white; averaged, as an even grey.
    const int W = 601, H = 401;
    QImage stripes(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            stripes.setPixel(x, y, (x + y / 3) % 2 ? 0xFFFFFFFF : 0xFF000000);
    // Each pixel holds white in proportion to the stripes it covers: near half of it where a
    // pixel covers seven or two, between a quarter and three quarters where it covers 1⅓.
    const struct {
        QSize Size;
        int Lo, Hi;
    } cases[] = {{{86, 57}, 100, 155}, {{300, 200}, 120, 135}, {{451, 301}, 60, 195}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size.width());
        const QImage r = ReduceAreaAverage(stripes, c.Size);
        ASSERT_EQ(r.size(), c.Size);
        int lo = 255, hi = 0;
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x) {
                lo = std::min(lo, qGreen(r.pixel(x, y)));
                hi = std::max(hi, qGreen(r.pixel(x, y)));
            }
        EXPECT_GE(lo, c.Lo);
        EXPECT_LE(hi, c.Hi);
    }
}

TEST(Reduction, MatchesAnExactComputation) {
    const int W = 37, H = 23, w = 10, h = 7;
    QImage src(W, H, QImage::Format_ARGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            src.setPixel(x, y, random.generate());
    const QImage premultiplied = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage r = ReduceAreaAverage(src, {w, h}); // converts by itself
    ASSERT_EQ(r.format(), QImage::Format_ARGB32_Premultiplied);
    const double sx = double(W) / w, sy = double(H) / h;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            double sum[4] = {0, 0, 0, 0}, area = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const double cx = std::max(0.0, std::min(x + 1.0, (i + 1) * sx) -
                                                        std::max(double(x), i * sx));
                    const double cy = std::max(0.0, std::min(y + 1.0, (j + 1) * sy) -
                                                        std::max(double(y), j * sy));
                    const double a = cx * cy;
                    const QRgb p = premultiplied.pixel(x, y);
                    sum[0] += a * qRed(p);
                    sum[1] += a * qGreen(p);
                    sum[2] += a * qBlue(p);
                    sum[3] += a * qAlpha(p);
                    area += a;
                }
            const QRgb got = r.pixel(i, j);
            const int channels[4] = {qRed(got), qGreen(got), qBlue(got), qAlpha(got)};
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(channels[c], sum[c] / area, 1.0) << i << "," << j << " channel " << c;
        }
}

} // namespace
