#include "catalog.h"
#include "render.h"
#include "test_support.h"
#include "treatments.h"

#include <gtest/gtest.h>

namespace {

// One 64-pixel square tile at (0,0) in a 96 × 96 picture; returns the pixel at its centre.
QRgb PaintOne(const TItemX& AMean, TColorConv AConv, float AOpacity, QImage* AOut = nullptr) {
    const TItemXs items = {WithSquare(AMean, 0, 0, 64, 64)};
    QImage dest;
    RenderItemXs(items, 96, 96, dest, AConv, AOpacity);
    if (AOut)
        *AOut = dest;
    return Pixel(dest, 32, 20);
}

TEST(Render, TileInteriorCarriesTreatedColourAndAlpha) {
    const struct {
        const char* Name;
        TItemX Mean;
        TColorConv Conv;
        float Opacity;
        QRgb Expected; // premultiplied
    } cases[] = {
        {"opaque", MeanTile(200, 100, 50), ConvColor, 1.0f, qRgba(200, 100, 50, 255)},
        {"half", MeanTile(200, 100, 50), ConvColor, 0.5f, qRgba(100, 50, 25, 127)},
        {"three quarters", MeanTile(200, 100, 50), ConvColor, 0.75f, qRgba(150, 75, 37, 191)},
        {"quarter", MeanTile(200, 100, 50), ConvColor, 0.25f, qRgba(50, 25, 12, 63)},
        {"self alpha 0", MeanTile(200, 100, 50, 0), ConvColorSelfAlpha, 1.0f, qRgba(0, 0, 0, 0)},
        {"alpha black on white", MeanTile(255, 255, 255), ConvColorAlphaBlack, 1.0f,
         qRgba(127, 127, 127, 127)},
        {"grey", MeanTile(200, 100, 50), ConvGray, 1.0f, qRgba(125, 125, 125, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QRgb p = PaintOne(c.Mean, c.Conv, c.Opacity);
        EXPECT_EQ(qRed(p), qRed(c.Expected));
        EXPECT_EQ(qGreen(p), qGreen(c.Expected));
        EXPECT_EQ(qBlue(p), qBlue(c.Expected));
        EXPECT_EQ(qAlpha(p), qAlpha(c.Expected));
    }
}

TEST(Render, UnpaintedPixelsAreFullyTransparentAndValid) {
    QImage dest;
    PaintOne(MeanTile(200, 100, 50), ConvColor, 1.0f, &dest);
    EXPECT_EQ(Pixel(dest, 90, 90), 0u);
    // Every pixel, fringes included, is valid premultiplied: no channel above alpha.
    for (int y = 0; y < dest.height(); ++y)
        for (int x = 0; x < dest.width(); ++x) {
            const QRgb p = Pixel(dest, x, y);
            ASSERT_LE(std::max({qRed(p), qGreen(p), qBlue(p)}), qAlpha(p)) << x << "," << y;
        }
    // The stroke reaches 0.75 px past the edge: column 64 is partly covered.
    EXPECT_GT(qAlpha(Pixel(dest, 64, 20)), 0);
    EXPECT_EQ(qAlpha(Pixel(dest, 66, 20)), 0);
}

TEST(Render, EmptyTilesChangeNothing) {
    TItemX empty = WithSquare(MeanTile(200, 100, 50), 0, 0, 64, 64);
    empty.Count = 0;
    QImage dest(5, 5, QImage::Format_ARGB32_Premultiplied);
    dest.fill(0xFF00FF00);
    RenderItemXs({empty}, 40, 30, dest, ConvColor, 1.0f);
    ASSERT_EQ(dest.size(), QSize(40, 30)); // resized to the picture
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(Pixel(dest, x, y), 0u);
}

TEST(Render, LaterTileCoversTheSharedEdge) {
    const TItemXs items = {WithSquare(MeanTile(255, 0, 0), 0, 0, 32, 32),
                           WithSquare(MeanTile(0, 0, 255), 32, 0, 64, 32)};
    QImage dest;
    RenderItemXs(items, 64, 32, dest, ConvColor, 1.0f);
    // Column 31 lies within 0.75 px of the edge at x = 32: the blue stroke covers half of it.
    const QRgb edge = Pixel(dest, 31, 16);
    EXPECT_GT(qBlue(edge), 0);
    EXPECT_EQ(qAlpha(edge), 255);
    EXPECT_EQ(Pixel(dest, 20, 16), qRgba(255, 0, 0, 255));
}

TEST(Render, EmptyPictureGivesEmptyBitmap) {
    QImage dest(4, 4, QImage::Format_ARGB32_Premultiplied);
    RenderItemXs({}, 0, 0, dest, ConvColor, 1.0f);
    EXPECT_TRUE(dest.isNull());
}

} // namespace
