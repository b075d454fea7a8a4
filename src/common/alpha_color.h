// A colour as one 32-bit value, written $AARRGGBB (alpha in the top byte); in memory its bytes lie
// blue, green, red, alpha, as in the program's bitmaps.
#pragma once

#include <cstdint>

using TAlphaColor = std::uint32_t;
