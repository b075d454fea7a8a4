// The tilings as rows of tiles: each tiling lays the same number of tiles in every row, row by
// row from the top, and a row's corners depend only on its number. The whole-picture generators
// (tilings.h) fill the array from these rows, and the streaming path (stream.h) makes each row
// when a band of the picture needs it, so both have the very same float corners.
#pragma once

#include "mosaic_model.h"

#include <cstdint>

class TTileRows {
public:
    // The rows of tiling AInit over a W × H picture at cell width w. Throws EVormError for a
    // cell that is not positive, or so small that the tile array could not be held; false
    // (leaving the rows empty) for a generator that is not one of the seven tilings.
    bool set(TBitmapToItemXsInit AInit, float w, int W, int H);

    int64_t rows() const { return FRows; }
    int64_t perRow() const { return FCols * FPerCell; }
    int64_t tiles() const { return FRows * perRow(); }
    // Row r's perRow() tiles into AOut[0..perRow()), corners only; the sums are left as they are.
    void row(int64_t r, TItemX* AOut) const;

    enum class TKind { None, Equilateral, IsoscelesRight, Square, SquareAlternate, Hexagon };

private:
    TKind FKind = TKind::None;
    int FVariant = 0;     // the triangle tilings' variant, 1 or 0
    float FW = 0;         // the cell width
    float FA = 0, FB = 0; // per tiling: the half cell and the row height, or the row height and 3w
    int64_t FRows = 0, FCols = 0, FPerCell = 1;
};
