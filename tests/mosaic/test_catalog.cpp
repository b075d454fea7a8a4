// The catalog is the one list of options: what it says of a treatment must hold for the engine,
// and the README must name the options in its order.
#include "catalog.h"
#include "test_support.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(Catalog, OpaqueTreatmentsGiveFullAlphaForEveryTile) {
    // Tiles from transparent to opaque, dark to light: only an always-opaque treatment gives
    // alpha 255 for all of them, and the SVG writer leaves out opacity on that promise.
    const TItemX tiles[] = {MeanTile(0, 0, 0, 0),       MeanTile(255, 255, 255, 255),
                            MeanTile(10, 200, 90, 128), MeanTile(128, 128, 128, 255),
                            MeanTile(250, 5, 5, 3),     MeanTile(40, 40, 40, 255)};
    for (size_t i = 0; i < kColors.size(); ++i) {
        SCOPED_TRACE(kColors[i].Key);
        bool allOpaque = true;
        for (const TItemX& t : tiles)
            allOpaque = allOpaque && (kColors[i].Conv(t) >> 24) == 255;
        EXPECT_EQ(kColors[i].Opaque, allOpaque);
        EXPECT_EQ(IsOpaqueColorIndex(int(i)), allOpaque);
    }
    EXPECT_FALSE(IsOpaqueColorIndex(-1));
    EXPECT_FALSE(IsOpaqueColorIndex(int(kColors.size())));
}

// The backquoted names of the README's bullet for AOption, in the order written.
QStringList ReadmeNames(const QString& AReadme, const QString& AOption) {
    const qsizetype start = AReadme.indexOf("- `" + AOption + "`:");
    if (start < 0)
        return {};
    qsizetype end = AReadme.indexOf("\n- ", start + 1);
    const QString bullet = AReadme.mid(start, end < 0 ? -1 : end - start);
    QStringList names;
    static const QRegularExpression quoted("`([a-z0-9-]+)`");
    for (const auto& m : quoted.globalMatch(bullet))
        names << m.captured(1);
    names.removeFirst(); // the option itself
    return names;
}

template <typename Entries> QStringList Keys(const Entries& AEntries) {
    QStringList keys;
    for (const auto& e : AEntries)
        keys << e.Key;
    return keys;
}

TEST(Catalog, TheReadmeNamesTheOptionsInListOrder) {
    QFile f(QStringLiteral(VORM_README));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString readme = QString::fromUtf8(f.readAll());
    EXPECT_EQ(ReadmeNames(readme, "--shape"), Keys(kShapes));
    EXPECT_EQ(ReadmeNames(readme, "--color"), Keys(kColors));
}

TEST(Catalog, ListTextsInBothLanguages) {
    EXPECT_EQ(TilingTexts(false).front(), "Equilateral Triangle 1");
    EXPECT_EQ(ColorTexts(false).back(), "Gray Self Alpha");
    EXPECT_EQ(TilingTexts(true).size(), int(kShapes.size()));
    EXPECT_EQ(ColorTexts(true).size(), int(kColors.size()));
    EXPECT_TRUE(ShapeKeysText().startsWith("equilateral-triangle-1 (default), "));
    EXPECT_TRUE(ColorKeysText().endsWith(", gray-self-alpha"));
}

} // namespace
