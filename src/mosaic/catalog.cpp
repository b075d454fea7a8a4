#include "catalog.h"

#include "tilings.h"
#include "treatments.h"

const std::array<TShapeEntry, 7> kShapes = {{
    {"equilateral-triangle-1", "Equilateral Triangle 1", InitEquilateralTriangle1},
    {"equilateral-triangle-2", "Equilateral Triangle 2", InitEquilateralTriangle2},
    {"isosceles-right-triangle-1", "Isosceles Right Triangle 1", InitIsoscelesRightTriangle1},
    {"isosceles-right-triangle-2", "Isosceles Right Triangle 2", InitIsoscelesRightTriangle2},
    {"square", "Square", InitSquare},
    {"square-alternate", "Square Alternate", InitSquareAlternate},
    {"hexagon", "Hexagon", InitHexagon},
}};

const std::array<TColorEntry, 10> kColors = {{
    {"color", "Color", ConvColor},
    {"color-alpha-white", "Color Alpha White", ConvColorAlphaWhite},
    {"color-alpha-black", "Color Alpha Black", ConvColorAlphaBlack},
    {"color-alpha-gray", "Color Alpha Gray", ConvColorAlphaGray},
    {"color-self-alpha", "Color Self Alpha", ConvColorSelfAlpha},
    {"gray", "Gray", ConvGray},
    {"gray-alpha-white", "Gray Alpha White", ConvGrayAlphaWhite},
    {"gray-alpha-black", "Gray Alpha Black", ConvGrayAlphaBlack},
    {"gray-alpha-gray", "Gray Alpha Gray", ConvGrayAlphaGray},
    {"gray-self-alpha", "Gray Self Alpha", ConvGraySelfAlpha},
}};
