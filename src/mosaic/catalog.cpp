#include "catalog.h"

#include "tilings.h"
#include "treatments.h"

const std::array<TShapeEntry, 7> kShapes = {{
    {"equilateral-triangle-1", "Equilateral Triangle 1", "正三角形 1", InitEquilateralTriangle1},
    {"equilateral-triangle-2", "Equilateral Triangle 2", "正三角形 2", InitEquilateralTriangle2},
    {"isosceles-right-triangle-1", "Isosceles Right Triangle 1", "直角二等辺三角形 1",
     InitIsoscelesRightTriangle1},
    {"isosceles-right-triangle-2", "Isosceles Right Triangle 2", "直角二等辺三角形 2",
     InitIsoscelesRightTriangle2},
    {"square", "Square", "正方形 芋目地", InitSquare},
    {"square-alternate", "Square Alternate", "正方形 馬目地", InitSquareAlternate},
    {"hexagon", "Hexagon", "六角形", InitHexagon},
}};

const std::array<TColorEntry, 10> kColors = {{
    {"color", "Color", "カラー", ConvColor, true},
    {"color-alpha-white", "Color Alpha White", "カラー 白強調", ConvColorAlphaWhite, false},
    {"color-alpha-black", "Color Alpha Black", "カラー 黒強調", ConvColorAlphaBlack, false},
    {"color-alpha-gray", "Color Alpha Gray", "カラー 白黒強調", ConvColorAlphaGray, false},
    {"color-self-alpha", "Color Self Alpha", "カラー アルファ", ConvColorSelfAlpha, false},
    {"gray", "Gray", "グレー", ConvGray, true},
    {"gray-alpha-white", "Gray Alpha White", "グレー 白強調", ConvGrayAlphaWhite, false},
    {"gray-alpha-black", "Gray Alpha Black", "グレー 黒強調", ConvGrayAlphaBlack, false},
    {"gray-alpha-gray", "Gray Alpha Gray", "グレー 白黒強調", ConvGrayAlphaGray, false},
    {"gray-self-alpha", "Gray Self Alpha", "グレー アルファ", ConvGraySelfAlpha, false},
}};

namespace {

template <typename Entries> QStringList Texts(const Entries& AEntries, bool AJapanese) {
    QStringList texts;
    for (const auto& e : AEntries)
        texts << QString::fromUtf8(AJapanese ? e.TextJa : e.Text);
    return texts;
}

template <typename Entries> QStringList KeyList(const Entries& AEntries) {
    QStringList keys;
    for (const auto& e : AEntries)
        keys << QString::fromLatin1(e.Key);
    return keys;
}

template <typename Entries> QString Keys(const Entries& AEntries) {
    QStringList keys = KeyList(AEntries);
    keys.front() += QStringLiteral(" (default)");
    return keys.join(QStringLiteral(", "));
}

} // namespace

bool IsOpaqueColorIndex(int AIndex) {
    return AIndex >= 0 && AIndex < int(kColors.size()) && kColors[size_t(AIndex)].Opaque;
}

QStringList TilingTexts(bool AJapanese) {
    return Texts(kShapes, AJapanese);
}

QStringList ColorTexts(bool AJapanese) {
    return Texts(kColors, AJapanese);
}

QString ShapeKeysText() {
    return Keys(kShapes);
}

QString ColorKeysText() {
    return Keys(kColors);
}

QStringList ShapeKeys() {
    return KeyList(kShapes);
}

QStringList ColorKeys() {
    return KeyList(kColors);
}
