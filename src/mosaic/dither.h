// Error diffusion on the tile graph, for any tiling: in tile order, each tile takes the colour
// of the list nearest (by CIEDE2000) to its own colour plus the error passed to it, and passes
// its own error on to its later neighbours across shared edges, in proportion to the edges'
// length. Errors live in CIELAB; a large one is damped to three quarters and a tiny one dropped
// (as libimagequant does), and the colour sought is kept within the range of lightness. One
// thread, one order: the result is the same for any number of threads.
#pragma once

#include "color_science.h"
#include "grout.h"
#include "mosaic_model.h"

#include <vector>

class TProgress;

// ASlot[i] becomes the index in AList of tile i's colour, for every tile with AWritten[i]; the
// others are left as they are. ATreated holds each tile's treated colour. Throws ECanceled when
// AProgress asks to stop, which it is asked every few ten thousand tiles.
void DitherTiles(const TItemXs& AItems, const std::vector<char>& AWritten,
                 const std::vector<TAlphaColor>& ATreated, const std::vector<TAlphaColor>& AList,
                 std::vector<uint16_t>& ASlot, const TProgress* AProgress = nullptr);
