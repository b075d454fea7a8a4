#include "catalog.h"
#include "test_support.h"
#include "treatments.h"

#include <gtest/gtest.h>

namespace {

uint32_t Alpha(TAlphaColor c) {
    return c >> 24;
}
uint32_t Red(TAlphaColor c) {
    return (c >> 16) & 0xFF;
}
uint32_t Green(TAlphaColor c) {
    return (c >> 8) & 0xFF;
}
uint32_t Blue(TAlphaColor c) {
    return c & 0xFF;
}

TEST(Treatments, LightnessGreyAndAlphas) {
    const struct {
        int r, g, b;
        float L;
        uint32_t Gray, White, Black, GrayT;
    } cases[] = {
        {0, 0, 0, 0, 0, 127, 255, 255},
        {255, 255, 255, 1, 255, 255, 127, 255},
        {255, 0, 0, 0.5f, 128, 191, 191, 127},
        {128, 128, 128, 0.50196081f, 128, 191, 191, 128},
        {200, 100, 50, 0.49019608f, 125, 190, 192, 130},
        {10, 20, 30, 0.078431375f, 20, 137, 245, 235},
        {1, 0, 0, 0.0019607844f, 1, 127, 254, 254},
        {3, 0, 0, 0.0058823531f, 2, 128, 254, 253},
        {0, 128, 255, 0.5f, 128, 191, 191, 127},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.r << "," << c.g << "," << c.b << ")");
        EXPECT_EQ(Lightness(uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)), c.L);
        const TItemX t = MeanTile(c.r, c.g, c.b, 77, 3);
        const TAlphaColor colour =
            (0xFFu << 24) | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b);
        const TAlphaColor grey = (0xFFu << 24) | (c.Gray << 16) | (c.Gray << 8) | c.Gray;
        const struct {
            TColorConv Conv;
            TAlphaColor Rgb;
            uint32_t A;
        } expect[] = {
            {ConvColor, colour, 255},
            {ConvColorAlphaWhite, colour, c.White},
            {ConvColorAlphaBlack, colour, c.Black},
            {ConvColorAlphaGray, colour, c.GrayT},
            {ConvColorSelfAlpha, colour, 77},
            {ConvGray, grey, 255},
            {ConvGrayAlphaWhite, grey, c.White},
            {ConvGrayAlphaBlack, grey, c.Black},
            {ConvGrayAlphaGray, grey, c.GrayT},
            {ConvGraySelfAlpha, grey, 77},
        };
        for (size_t i = 0; i < std::size(expect); ++i) {
            SCOPED_TRACE(kColors[i].Key);
            ASSERT_EQ(kColors[i].Conv, expect[i].Conv);
            const TAlphaColor out = expect[i].Conv(t);
            EXPECT_EQ(out & 0xFFFFFF, expect[i].Rgb & 0xFFFFFF);
            EXPECT_EQ(Alpha(out), expect[i].A);
        }
    }
}

TEST(Treatments, MeansAreTruncated) {
    TItemX t = MeanTile(0, 0, 0, 0, 1);
    t.R = 127.5;
    EXPECT_EQ(Red(ConvColor(t)), 127u);
    t = MeanTile(0, 0, 0, 0, 4);
    t.A = 300;
    EXPECT_EQ(Alpha(ConvColorSelfAlpha(t)), 75u);
    EXPECT_EQ(Alpha(ConvColorSelfAlpha(MeanTile(9, 9, 9, 255, 10))), 255u);
}

TEST(Treatments, MeansOfAnInvalidBitmapNeverWrapAround) {
    // Colour above alpha in a premultiplied source gives straight means above 255.
    TItemX t = MeanTile(300, 256, -4, 400, 2);
    const TAlphaColor c = ConvColorSelfAlpha(t);
    EXPECT_EQ(Red(c), 255u);
    EXPECT_EQ(Green(c), 255u);
    EXPECT_EQ(Blue(c), 0u);
    EXPECT_EQ(Alpha(c), 255u);
}

TEST(Treatments, ResultIgnoresCorners) {
    const TItemX bare = MeanTile(10, 20, 30);
    const TItemX shaped = WithSquare(bare, -5, -5, 50, 50);
    for (const TColorEntry& e : kColors)
        EXPECT_EQ(e.Conv(bare), e.Conv(shaped)) << e.Key;
}

} // namespace
