// CIELAB from sRGB, CIEDE2000 against Sharma, Wu and Dalal's published pairs, and the nearest
// colour search against a plain scan.
#include "color_match.h"
#include "color_science.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

// G. Sharma, W. Wu, E. N. Dalal, "The CIEDE2000 color-difference formula: implementation notes,
// supplementary test data, and mathematical observations", Color Res. Appl. 30 (2005), table 1.
struct TPair {
    double L1, a1, b1, L2, a2, b2, dE;
};
const TPair kSharma[] = {
    {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
    {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
    {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
    {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
    {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
    {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
    {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
    {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
    {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
    {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
    {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
    {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
    {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
    {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
    {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
    {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
    {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
    {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
    {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
    {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
    {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
    {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
    {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
    {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082},
};

TEST(ColorScience, DeltaE2000MatchesSharmasPairs) {
    for (const TPair& p : kSharma) {
        const TLab a{p.L1, p.a1, p.b1}, b{p.L2, p.a2, p.b2};
        SCOPED_TRACE(testing::Message() << p.L1 << " " << p.a1 << " " << p.b1);
        // The table gives four decimals; the formula is symmetric.
        EXPECT_NEAR(DeltaE2000(a, b), p.dE, 0.5e-4);
        EXPECT_NEAR(DeltaE2000(b, a), p.dE, 0.5e-4);
        EXPECT_NEAR(DeltaE2000Reference(a, b), p.dE, 0.5e-4);
    }
}

TEST(ColorScience, FastFormulaAgreesWithTheReference) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> L(0, 100), A(-110, 110), step(-6, 6);
    for (int i = 0; i < 200000; ++i) {
        const TLab x{L(rng), A(rng), A(rng)};
        TLab y{L(rng), A(rng), A(rng)};
        if (i % 2)
            y = {std::clamp(x.L + step(rng), 0.0, 100.0), x.a + step(rng), x.b + step(rng)};
        if (i % 5 == 0)
            y = {x.L, -x.a, -x.b}; // opposite hues
        if (i % 7 == 0)
            y = {x.L, 0, 0}; // a grey
        const double ref = DeltaE2000Reference(x, y);
        ASSERT_NEAR(DeltaE2000(x, y), ref, 1e-8) << i;
        // The bounds the search prunes with never exceed the difference.
        ASSERT_LE(DeltaE2000LowerBound(x.L - y.L), ref + 1e-12);
        ASSERT_LE(DeltaE2000LowerBoundSquared(x, std::hypot(x.a, x.b), y, std::hypot(y.a, y.b)),
                  ref * ref + 1e-12);
    }
}

TEST(ColorScience, LabOfSrgbUnderD65) {
    const TLab white = LabOfRgb(0xFFFFFF), black = LabOfRgb(0), red = LabOfRgb(0xFF0000);
    EXPECT_NEAR(white.L, 100, 1e-9);
    EXPECT_NEAR(white.a, 0, 1e-9);
    EXPECT_NEAR(white.b, 0, 1e-9);
    EXPECT_NEAR(black.L, 0, 1e-12);
    // sRGB red under D65, as colour tables give it (a D50 conversion gives 54.29, 80.80, 69.89).
    EXPECT_NEAR(red.L, 53.2408, 1e-3);
    EXPECT_NEAR(red.a, 80.0925, 1e-3);
    EXPECT_NEAR(red.b, 67.2032, 1e-3);
    // Greys have no chroma.
    const TLab grey = LabOfRgb(0x7F7F7F);
    EXPECT_NEAR(grey.a, 0, 1e-9);
    EXPECT_NEAR(grey.b, 0, 1e-9);
    // And back to the same 8-bit colour.
    for (TAlphaColor c = 0; c < (1u << 24); c += 7919)
        ASSERT_EQ(RgbOfLab(LabOfRgb(c)), 0xFF000000u | c) << std::hex << c;
}

// Hand-worked: a grey is as far from +a as from -a at its own lightness (ΔH' is 0 from a grey,
// and only T, which scales ΔH', differs), so the tie goes to the earlier entry.
TEST(ColorMatcher, TiesGoToTheEarlierEntry) {
    const TLab grey{50, 0, 0}, plus{50, 10, 0}, minus{50, -10, 0};
    ASSERT_EQ(DeltaE2000(grey, plus), DeltaE2000(grey, minus));
    EXPECT_EQ(TColorMatcher(std::vector<TLab>{plus, minus}).nearest(grey), 0);
    EXPECT_EQ(TColorMatcher(std::vector<TLab>{minus, plus}).nearest(grey), 0);
    // The same colour twice: the first.
    const std::vector<TAlphaColor> pal{0xFF102030, 0xFFFFFFFF, 0xFF102030};
    EXPECT_EQ(TColorMatcher(pal).nearest(LabOfRgb(0x102030)), 0);
    EXPECT_EQ(TColorMatcher(std::vector<TAlphaColor>{0xFFFFFFFF, 0xFF102030, 0xFF102030})
                  .nearest(LabOfRgb(0x102030)),
              1);
}

// Hand-worked cases from the formula: the mid grey #808080 (L 53.59) is 39.93 from black and
// 33.24 from white (S_L weighs a mean lightness far from 50 less, and black's lies nearer 50), so
// it takes white although its lightness lies nearer black's 0 than white's 100 only by 6.8;
// a dark red takes red (19.74 against 35.40 for black), a dark blue blue (21.14 against 26.97).
TEST(ColorMatcher, HandWorkedCases) {
    const std::vector<TAlphaColor> bw{0xFF000000, 0xFFFFFFFF};
    const TLab grey = LabOfRgb(0x808080);
    EXPECT_NEAR(grey.L, 53.585, 0.001);
    EXPECT_NEAR(DeltaE2000(grey, LabOfRgb(0)), 39.934, 0.001);
    EXPECT_NEAR(DeltaE2000(grey, LabOfRgb(0xFFFFFF)), 33.239, 0.001);
    EXPECT_EQ(TColorMatcher(bw).nearest(grey), 1);
    EXPECT_EQ(TColorMatcher(bw).nearest(LabOfRgb(0x404040)), 0);
    const std::vector<TAlphaColor> rgb{0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    EXPECT_NEAR(DeltaE2000(LabOfRgb(0xA00000), LabOfRgb(0xFF0000)), 19.736, 0.001);
    EXPECT_EQ(TColorMatcher(rgb).nearest(LabOfRgb(0xA00000)), 1);
    EXPECT_NEAR(DeltaE2000(LabOfRgb(0x000060), LabOfRgb(0x0000FF)), 21.137, 0.001);
    EXPECT_EQ(TColorMatcher(rgb).nearest(LabOfRgb(0x000060)), 3);
}

TEST(ColorMatcher, AgreesWithAPlainScan) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<uint32_t> any(0, 0xFFFFFF);
    for (int size : {1, 2, 16, 256, 1000}) {
        std::vector<TAlphaColor> pal;
        for (int i = 0; i < size; ++i)
            pal.push_back(0xFF000000u | any(rng));
        const TColorMatcher m(pal);
        int hint = -1;
        for (int q = 0; q < 3000; ++q) {
            const TLab lab = LabOfRgb(any(rng));
            int best = 0;
            double bestD = DeltaE2000(lab, LabOfRgb(pal[0]));
            for (int i = 1; i < size; ++i) {
                const double d = DeltaE2000(lab, LabOfRgb(pal[size_t(i)]));
                if (d < bestD) {
                    bestD = d;
                    best = i;
                }
            }
            ASSERT_EQ(m.nearest(lab), best) << size << " " << q;
            // A hint changes the work, never the answer.
            ASSERT_EQ(m.nearest(lab, nullptr, hint), best);
            hint = (best * 7 + 3) % size;
        }
    }
}

} // namespace
