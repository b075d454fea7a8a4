// The maker options in the engine: grout and outline geometry for every shape, the painted
// result, the bill of materials against the SVG, dithering on any number of threads, the tile
// graph, and cut lines that hold every edge once.
#include "catalog.h"
#include "drivers.h"
#include "grout.h"
#include "maker.h"
#include "maker_outputs.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "test_support.h"
#include "tile_edges.h"
#include "tilings.h"
#include "treatments.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <map>

namespace {

QImage Noise(int W, int H, quint32 ASeed) {
    QRandomGenerator rng(ASeed);
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y,
                         qRgb((x * 5 + int(rng.bounded(40))) & 255,
                              (y * 3 + int(rng.bounded(40))) & 255,
                              ((x + y) * 2 + int(rng.bounded(40))) & 255));
    return img;
}

TItemXs Sampled(const TShapeEntry& AShape, const QImage& AImg, float w) {
    TItemXs items;
    AShape.Init(AImg, w, items);
    SampleItemXs(AImg, items, nullptr);
    return items;
}

TPalette Greys(int n) {
    TPalette p;
    p.Name = QStringLiteral("%1 greys").arg(n);
    for (int i = 0; i < n; ++i) {
        const TAlphaColor v = TAlphaColor(i * 255 / (n - 1));
        p.Entries.push_back({QStringLiteral("Grey %1").arg(v), 0xFF000000u | v << 16 | v << 8 | v,
                             QStringLiteral("G%1").arg(i)});
    }
    return p;
}

// The inradius of each shape's tiles at cell w: the grout at which they vanish is twice it.
double Inradius(int AShape, double w) {
    switch (AShape) {
    case 0:
    case 1:
        return w / (2 * std::sqrt(3.0)); // equilateral, side w
    case 2:
    case 3:
        return w * (2 - std::sqrt(2.0)) / 2; // right isosceles, legs w
    case 4:
    case 5:
        return w / 2;
    default:
        return w * std::sqrt(3.0) / 2; // regular hexagon, side w
    }
}

double DistanceToLine(TPointF p, TPointF a, TPointF b) {
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    return std::fabs((double(p.X) - a.X) * dy - (double(p.Y) - a.Y) * dx) / std::hypot(dx, dy);
}

TEST(Grout, EveryEdgeMovesInwardByHalfTheJointForEveryShape) {
    const QImage img(100, 80, QImage::Format_ARGB32_Premultiplied);
    const double w = 20, grout = 3;
    for (int s = 0; s < int(kShapes.size()); ++s) {
        SCOPED_TRACE(kShapes[size_t(s)].Key);
        TItemXs items;
        kShapes[size_t(s)].Init(img, float(w), items);
        for (const TItemX& t : items) {
            TCorners c;
            const int n = InsetPolygon(t.Points, grout / 2, c);
            ASSERT_EQ(n, int(t.Points.size()));
            double cx = 0, cy = 0;
            for (const TPointF& p : t.Points) {
                cx += p.X;
                cy += p.Y;
            }
            const TPointF centre{float(cx / n), float(cy / n)};
            for (int k = 0; k < n; ++k) {
                const TPointF a = t.Points[size_t(k)], b = t.Points[size_t((k + 1) % n)];
                // Both inset corners of edge k lie half the joint from its line, on the inside:
                // so two neighbours' inset edges lie exactly a joint apart.
                EXPECT_NEAR(DistanceToLine(c[size_t(k)], a, b), grout / 2, 2e-4);
                EXPECT_NEAR(DistanceToLine(c[size_t((k + 1) % n)], a, b), grout / 2, 2e-4);
                EXPECT_LT(DistanceToLine(c[size_t(k)], a, b), DistanceToLine(centre, a, b));
            }
        }
        // A tile the inset turns inside out is left out; a grout that leaves nothing is refused.
        const double r = Inradius(s, w);
        TCorners c;
        EXPECT_GT(InsetPolygon(items[0].Points, r - 0.01, c), 0);
        EXPECT_EQ(InsetPolygon(items[0].Points, r + 0.01, c), 0);
        EXPECT_TRUE(GroutLeavesTiles(kShapes[size_t(s)].Init, float(w), 2 * r - 0.02));
        EXPECT_FALSE(GroutLeavesTiles(kShapes[size_t(s)].Init, float(w), 2 * r + 0.02));
    }
}

TEST(Grout, PaintedJointsOutlinesAndExactInteriors) {
    // Four squares of 16 in four colours.
    QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            img.setPixel(x, y,
                         x < 16 ? (y < 16 ? 0xFFC03020 : 0xFF2040C0)
                                : (y < 16 ? 0xFF30A050 : 0xFFE0E0E0));
    TItemXs items = Sampled(kShapes[4], img, 16);
    TMakerOptions opt;
    opt.Grout = 4;
    opt.GroutColor = 0xFF00FF00;
    opt.Outline = 2;
    opt.OutlineColor = 0xFF000000;
    const TTileColors colors = MapTileColors(items, ConvColor, opt, nullptr);
    QImage dest;
    RenderMosaic(items, colors.Color, 32, 32, dest, 1.0f,
                 {opt.Grout, opt.GroutColor, opt.Outline, opt.OutlineColor});
    // Tile 0 covers [0,16)²; inset by 2 its edges lie at 2 and 14; the stroke covers 1 to 3
    // and 13 to 15 across them; the joint between tiles 0 and 1 shows green from 15 to 17.
    EXPECT_EQ(Pixel(dest, 8, 8), 0xFFC03020u); // inside: exactly the tile's colour
    EXPECT_EQ(Pixel(dest, 24, 24), 0xFFE0E0E0u);
    EXPECT_EQ(Pixel(dest, 13, 8), 0xFF000000u); // the outline
    EXPECT_EQ(Pixel(dest, 14, 8), 0xFF000000u);
    EXPECT_EQ(Pixel(dest, 15, 8), 0xFF00FF00u); // the joint
    EXPECT_EQ(Pixel(dest, 16, 8), 0xFF00FF00u);
    EXPECT_EQ(Pixel(dest, 17, 8), 0xFF000000u);
    EXPECT_EQ(Pixel(dest, 0, 0), 0xFF00FF00u); // the picture's edge is half a joint
    // The SVG: the joint colour as one rectangle behind, the outline as a stroke.
    const std::string svg = MakerSvgText(items, 32, 32, colors, opt, 1.0f, true);
    EXPECT_NE(svg.find("<rect x=\"0\" y=\"0\" width=\"32\" height=\"32\" fill=\"#00FF00\" />"),
              std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#000000\" stroke-width=\"2.00\""), std::string::npos);
    EXPECT_NE(svg.find("<path fill=\"#C03020\" d=\"M2.0,2.0 L14.0,2.0 L14.0,14.0 L2.0,14.0 z\" />"),
              std::string::npos);
    EXPECT_EQ(svg.substr(svg.size() - 8), "</svg>\r\n");
}

// Layers per colour in palette order, and a bill of materials that counts exactly the paths.
TEST(Maker, BillOfMaterialsCountsTheTilesOfEachLayer) {
    const QImage img = Noise(97, 61, 3);
    for (const TShapeEntry& shape : kShapes) {
        SCOPED_TRACE(shape.Key);
        const TItemXs items = Sampled(shape, img, 9);
        TMakerOptions opt;
        opt.Palette = Greys(8);
        opt.Grout = 1;
        const TTileColors colors = MapTileColors(items, ConvColor, opt, nullptr);
        const std::string svg = MakerSvgText(items, 97, 61, colors, opt, 1.0f, true);
        const auto rows = BillOfMaterials(items, colors, opt.Grout, 97, 61);
        // Each layer: its label and its paths.
        static const QRegularExpression layer(
            "<g inkscape:groupmode=\"layer\" id=\"layer([0-9]+)\" inkscape:label=\"([^\"]*)\"");
        const QString text = QString::fromStdString(svg);
        std::vector<std::pair<QString, int>> layers;
        auto it = layer.globalMatch(text);
        qsizetype last = -1;
        while (it.hasNext()) {
            const auto m = it.next();
            if (last >= 0)
                layers.back().second = int(text.mid(last, m.capturedStart() - last).count("<path"));
            layers.push_back({m.captured(2), 0});
            last = m.capturedEnd();
        }
        ASSERT_FALSE(layers.empty());
        layers.back().second = int(text.mid(last).count("<path"));
        ASSERT_EQ(layers.size(), rows.size());
        int64_t area = 0, written = 0;
        for (size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(layers[k].first, rows[k].Color.label());
            EXPECT_EQ(layers[k].second, rows[k].Whole + rows[k].Cut);
            area += rows[k].Area;
            if (k > 0) { // palette order
                EXPECT_LT(rows[k - 1].Color.Rgb & 0xFF, rows[k].Color.Rgb & 0xFF);
            }
        }
        for (const TItemX& t : items)
            if (t.Count > 0) {
                area -= t.Count;
                ++written;
            }
        EXPECT_EQ(area, 0);
        EXPECT_EQ(text.count("<path"), written);
        // The text forms.
        const std::string csv = BomCsv(rows, 97, 61);
        EXPECT_EQ(csv.substr(0, 56), "name,hex,code,whole_tiles,cut_tiles,tiles,area_px,share\r");
        EXPECT_NE(csv.find(",G"), std::string::npos);
        const std::string json = BomJson(rows, 97, 61, opt.Palette.Name);
        EXPECT_NE(json.find("\"palette\": \"8 greys\""), std::string::npos);
    }
}

TEST(Maker, WholeAndCutTiles) {
    const QImage exact(64, 48, QImage::Format_ARGB32_Premultiplied);
    QImage img = exact;
    img.fill(0xFF808080);
    TItemXs items = Sampled(kShapes[4], img, 16);
    TMakerOptions opt;
    opt.Palette = Greys(2);
    auto colors = MapTileColors(items, ConvColor, opt, nullptr);
    auto rows = BillOfMaterials(items, colors, 0, 64, 48);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Whole, 12);
    EXPECT_EQ(rows[0].Cut, 0);
    int64_t owned = 0; // the pixels the tiles own (a pixel centre on a square's diagonal is
    for (const TItemX& t : items) // owned by neither half of its fan, so not 64 × 48)
        owned += t.Count;
    EXPECT_EQ(rows[0].Area, owned);
    QImage wider(70, 48, QImage::Format_ARGB32_Premultiplied);
    wider.fill(0xFF808080);
    items = Sampled(kShapes[4], wider, 16);
    colors = MapTileColors(items, ConvColor, opt, nullptr);
    rows = BillOfMaterials(items, colors, 0, 70, 48);
    EXPECT_EQ(rows[0].Whole, 12);
    EXPECT_EQ(rows[0].Cut, 3);
}

// Without a palette every colour keeps its treated value; the alpha of a translucent treatment
// is kept through a palette.
TEST(Maker, ColoursAndAlpha) {
    QImage img(40, 40, QImage::Format_ARGB32_Premultiplied);
    img.fill(qPremultiply(qRgba(200, 40, 40, 128)));
    const TItemXs items = Sampled(kShapes[4], img, 10);
    TMakerOptions opt;
    opt.Grout = 1;
    TTileColors colors = MapTileColors(items, ConvColorSelfAlpha, opt, nullptr);
    EXPECT_FALSE(colors.Grouped);
    EXPECT_EQ(colors.Color[0], ConvColorSelfAlpha(items[0]));
    opt.Palette = Greys(3);
    opt.Palette.Entries.push_back({"Red", 0xFFFF0000, ""});
    colors = MapTileColors(items, ConvColorSelfAlpha, opt, nullptr);
    EXPECT_EQ(colors.Color[0], (ConvColorSelfAlpha(items[0]) & 0xFF000000u) | 0xFF0000u);
    EXPECT_EQ(colors.Slot[0], 3);
}

// --colors with --palette: the N entries that serve the picture best, in palette order.
TEST(Maker, ColoursChosenFromAPalette) {
    QImage img(64, 32, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            img.setPixel(x, y, x < 32 ? 0xFF2050D0 : 0xFFE0C020); // blue, then yellow
    const TItemXs items = Sampled(kShapes[4], img, 8);
    TMakerOptions opt;
    opt.Palette.Name = "mixed";
    for (const auto& [name, rgb] : {std::pair{"Red", 0xFFFF0000u}, std::pair{"Yellow", 0xFFFFD000u},
                                    std::pair{"Green", 0xFF00A000u}, std::pair{"Blue", 0xFF2040E0u},
                                    std::pair{"Black", 0xFF000000u}})
        opt.Palette.Entries.push_back({name, rgb, ""});
    opt.Colors = 2;
    const TTileColors colors = MapTileColors(items, ConvColor, opt, nullptr);
    ASSERT_EQ(colors.Colors.size(), 2u);
    EXPECT_EQ(colors.Colors[0].Name, "Yellow");
    EXPECT_EQ(colors.Colors[1].Name, "Blue");
    const auto rows = BillOfMaterials(items, colors, 0, 64, 32);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Whole, 16);
    EXPECT_EQ(rows[1].Whole, 16);
    // Without a palette: two colours, the picture's own.
    opt.Palette = TPalette();
    const TTileColors own = MapTileColors(items, ConvColor, opt, nullptr);
    ASSERT_EQ(own.Colors.size(), 2u);
    EXPECT_EQ(own.Colors[0].Rgb, 0xFF2050D0u); // by lightness: the blue first
    EXPECT_EQ(own.Colors[1].Rgb, 0xFFE0C020u);
}

TEST(Maker, DitheringIsTheSameOnAnyNumberOfThreads) {
    const QImage img = Noise(120, 90, 9);
    for (const TShapeEntry& shape : kShapes) {
        SCOPED_TRACE(shape.Key);
        const TItemXs items = Sampled(shape, img, 7);
        TMakerOptions opt;
        opt.Palette = Greys(4);
        opt.Dither = true;
        std::vector<uint16_t> first;
        for (int threads : {1, 2, 5}) {
            SetWorkerThreads(threads);
            const TTileColors colors = MapTileColors(items, ConvGray, opt, nullptr);
            if (first.empty())
                first = colors.Slot;
            else
                EXPECT_EQ(colors.Slot, first) << threads << " threads";
        }
        SetWorkerThreads(0);
        // Error diffusion keeps the mean lightness far better than the nearest colour alone.
        opt.Dither = false;
        const TTileColors plain = MapTileColors(items, ConvGray, opt, nullptr);
        opt.Dither = true;
        const TTileColors dithered = MapTileColors(items, ConvGray, opt, nullptr);
        double want = 0, near = 0, spread = 0, n = 0;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].Count <= 0)
                continue;
            want += items[i].Count * double(ConvGray(items[i]) & 0xFF);
            near += items[i].Count * double(plain.Color[i] & 0xFF);
            spread += items[i].Count * double(dithered.Color[i] & 0xFF);
            n += items[i].Count;
        }
        EXPECT_LT(std::fabs(spread - want) / n, 0.5 * std::fabs(near - want) / n + 1.0);
        EXPECT_NE(plain.Slot, dithered.Slot);
    }
}

TEST(TileGraph, NeighboursAcrossSharedEdges) {
    const QImage img(200, 200, QImage::Format_ARGB32_Premultiplied);
    const struct {
        int Shape;
        size_t Neighbours;
    } cases[] = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 4}, {5, 6}, {6, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(kShapes[size_t(c.Shape)].Key);
        TItemXs items;
        kShapes[size_t(c.Shape)].Init(img, 20, items);
        const TTileGraph g = TileNeighbours(int32_t(items.size()), [&](int32_t i, TCorners& out) {
            const TPointFX& p = items[size_t(i)].Points;
            std::copy(p.begin(), p.end(), out.begin());
            return int(p.size());
        });
        // The tile in the middle: its neighbours, and the shared lengths add up to its perimeter.
        int32_t mid = 0;
        double midDist = 1e30;
        for (int32_t i = 0; i < int32_t(items.size()); ++i) {
            const TPointF& q = items[size_t(i)].Points[0];
            const double d = std::hypot(q.X - 100.0, q.Y - 100.0);
            if (d < midDist) {
                midDist = d;
                mid = i;
            }
        }
        const TPointFX& p = items[size_t(mid)].Points;
        double perimeter = 0;
        for (size_t k = 0; k < p.size(); ++k)
            perimeter += std::hypot(double(p[(k + 1) % p.size()].X) - p[k].X,
                                    double(p[(k + 1) % p.size()].Y) - p[k].Y);
        EXPECT_EQ(size_t(g.Start[size_t(mid) + 1] - g.Start[size_t(mid)]), c.Neighbours);
        double shared = 0;
        for (int64_t j = g.Start[size_t(mid)]; j < g.Start[size_t(mid) + 1]; ++j)
            shared += g.Next[size_t(j)].Length;
        EXPECT_NEAR(shared, perimeter, 1e-3);
    }
}

bool OnSegment(double x, double y, const TCutSegment& s) {
    const double dx = s.X1 - s.X0, dy = s.Y1 - s.Y0, len = std::hypot(dx, dy);
    const double t = ((x - s.X0) * dx + (y - s.Y0) * dy) / (len * len);
    const double dist = std::fabs((x - s.X0) * dy - (y - s.Y0) * dx) / len;
    return dist < 1e-3 && t > -1e-6 && t < 1 + 1e-6;
}

TEST(CutLines, EveryEdgeExactlyOnce) {
    const int W = 97, H = 61;
    const QImage img = Noise(W, H, 5);
    for (const TShapeEntry& shape : kShapes)
        for (double grout : {0.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << shape.Key << " grout " << grout);
            const TItemXs items = Sampled(shape, img, 11);
            auto polygon = [&](int32_t i, TCorners& c) {
                return items[size_t(i)].Count > 0 ? WrittenPolygon(items[size_t(i)], grout, c) : 0;
            };
            const auto segments = CutSegments(int32_t(items.size()), polygon, W, H);
            auto covering = [&](double x, double y) {
                int n = 0;
                for (const TCutSegment& s : segments)
                    n += OnSegment(x, y, s);
                return n;
            };
            // Where segments meet, a point lies on both: such points are not sampled.
            auto isEnd = [&](double x, double y) {
                for (const TCutSegment& s : segments)
                    if ((std::fabs(s.X0 - x) < 1e-6 && std::fabs(s.Y0 - y) < 1e-6) ||
                        (std::fabs(s.X1 - x) < 1e-6 && std::fabs(s.Y1 - y) < 1e-6))
                        return true;
                return false;
            };
            // No segment lies over another.
            for (const TCutSegment& s : segments)
                for (double t : {0.3, 0.7})
                    ASSERT_EQ(covering(s.X0 + t * (s.X1 - s.X0), s.Y0 + t * (s.Y1 - s.Y0)), 1);
            // Every tile edge, as far as it lies in the picture, is there: points along it lie
            // on exactly one segment. So are the picture's sides.
            for (int32_t i = 0; i < int32_t(items.size()); ++i) {
                TCorners c;
                const int n = polygon(i, c);
                for (int k = 0; k < n; ++k) {
                    const TPointF a = c[size_t(k)], b = c[size_t((k + 1) % n)];
                    for (double t : {0.25, 0.5, 0.75}) {
                        const double x = a.X + t * (b.X - a.X), y = a.Y + t * (b.Y - a.Y);
                        if (x < 0 || y < 0 || x > W || y > H || isEnd(x, y))
                            continue;
                        ASSERT_EQ(covering(x, y), 1) << i << " " << x << "," << y;
                    }
                }
            }
            for (double t : {0.1, 0.9}) {
                EXPECT_EQ(covering(t * W, 0), 1);
                EXPECT_EQ(covering(0, t * H), 1);
                EXPECT_EQ(covering(W, t * H), 1);
                EXPECT_EQ(covering(t * W, H), 1);
            }
            const std::string svg = CutLinesSvg(segments, W, H);
            EXPECT_NE(svg.find("fill=\"none\" stroke=\"#FF0000\""), std::string::npos);
            EXPECT_EQ(svg.substr(svg.size() - 8), "</svg>\r\n");
        }
}

// Squares in offset rows share half edges: the cut lines join each row's horizontal edges into
// one line across the picture.
TEST(CutLines, CollinearEdgesBecomeOneLine) {
    const QImage img(64, 48, QImage::Format_ARGB32_Premultiplied);
    TItemXs items;
    InitSquareAlternate(img, 16, items);
    for (TItemX& t : items)
        t.Count = 1;
    const auto segments = CutSegments(
        int32_t(items.size()),
        [&](int32_t i, TCorners& c) { return WrittenPolygon(items[size_t(i)], 0, c); }, 64, 48);
    int horizontal = 0;
    for (const TCutSegment& s : segments)
        if (s.Y0 == s.Y1) {
            ++horizontal;
            EXPECT_EQ(s.X0, 0);
            EXPECT_EQ(s.X1, 64);
        }
    EXPECT_EQ(horizontal, 4); // y = 0, 16, 32, 48
}

TEST(MakerDrivers, SideFilesAloneLeaveTheMosaicAsBefore) {
    QTemporaryDir dir;
    const QImage img = Noise(61, 47, 2);
    const QString plain = dir.filePath("plain.svg"), withBom = dir.filePath("bom.svg");
    MosaicWriteSvg(plain, InitHexagon, 8, img, ConvColor, 1.0f, nullptr, true);
    TMakerOptions opt;
    opt.BomFile = dir.filePath("bom.json");
    opt.TilesFile = dir.filePath("tiles.json");
    opt.CutLinesFile = dir.filePath("cut.svg");
    MosaicWriteSvg(withBom, InitHexagon, 8, img, ConvColor, 1.0f, nullptr, true, opt);
    QFile a(plain), b(withBom), bom(opt.BomFile), tiles(opt.TilesFile), cut(opt.CutLinesFile);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    ASSERT_TRUE(bom.open(QIODevice::ReadOnly) && tiles.open(QIODevice::ReadOnly) &&
                cut.open(QIODevice::ReadOnly));
    EXPECT_TRUE(bom.readAll().contains("\"whole_tiles\""));
    const QByteArray t = tiles.readAll();
    EXPECT_TRUE(
        t.startsWith("{\"width\": 61, \"height\": 47, \"shape\": \"hexagon\", \"cell\": 8"));
    TItemXs items = Sampled(kShapes[6], img, 8);
    int written = 0;
    for (const TItemX& it : items)
        written += it.Count > 0;
    EXPECT_EQ(t.count("\"points\""), written);
    // Full float precision: a hexagon's corner at 8 × √3 / 2.
    EXPECT_TRUE(t.contains("6.928203")) << t.left(300).toStdString();
    EXPECT_TRUE(cut.readAll().contains("<path d=\"M"));
    // The PNG too: the same pixels with and without side files.
    QImage p1, p2;
    MosaicSavePng(dir.filePath("a.png"), InitHexagon, 8, img, p1, ConvColor, 1.0f, nullptr);
    opt.BomFile = dir.filePath("bom2.csv");
    opt.TilesFile.clear();
    opt.CutLinesFile.clear();
    MosaicSavePng(dir.filePath("b.png"), InitHexagon, 8, img, p2, ConvColor, 1.0f, nullptr,
                  TPngCompression::Fast, opt);
    EXPECT_EQ(p1, p2);
    EXPECT_TRUE(QFile::exists(opt.BomFile));
}

// A save that fails writes none of the files beside it.
TEST(MakerDrivers, AFailedSaveLeavesNoSideFiles) {
    QTemporaryDir dir;
    const QImage img = Noise(30, 30, 1);
    TMakerOptions opt;
    opt.BomFile = dir.filePath("bom.csv");
    opt.Palette = Greys(4);
    EXPECT_THROW(MosaicWriteSvg(dir.filePath("missing/folder/out.svg"), InitSquare, 8, img,
                                ConvColor, 1.0f, nullptr, true, opt),
                 EVormError);
    EXPECT_FALSE(QFile::exists(opt.BomFile));
}

} // namespace
