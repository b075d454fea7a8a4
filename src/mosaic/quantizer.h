// The colour-count quantiser behind --colors: N colours that serve a picture's tiles best, judged
// as the program is judged, by the mean CIEDE2000 over the picture's pixels. Its input is each
// tile's colour weighted by the tile's pixel count (libimagequant's histogram of colours and
// counts). It works in CIELAB: a weighted median cut (the box of largest weight × variance
// split along its widest axis at the weighted median) seeds a k-medians in which every colour
// goes to its nearest centre by ΔE00 and each centre moves towards its colours' weighted median
// (Weiszfeld's step), the best palette seen being kept; an entry left without colours takes the
// worst-served one. Random swaps from a fixed generator then try other valleys, and each entry
// is finally walked through the 8-bit RGB cube against the exact measure. Everything runs in a
// fixed order: the result is the same for any number of threads.
#pragma once

#include "color_science.h"

#include <vector>

class TProgress;

struct TWeightedColor {
    TAlphaColor Rgb; // the low 24 bits count
    double Weight;   // pixels
};

// At most AColors colours (0xFFRRGGBB), ordered by lightness; fewer only when the input holds
// fewer distinct colours. Both throw ECanceled when AProgress asks to stop, which it is asked
// between the steps.
std::vector<TAlphaColor> QuantizeColors(const std::vector<TWeightedColor>& AColors, int AColors_,
                                        const TProgress* AProgress = nullptr);

// The AColors entries of APalette (by index, ascending) that serve the colours best, chosen
// greedily and then improved by swaps; all of them when the palette holds no more.
std::vector<int> ChoosePaletteColors(const std::vector<TWeightedColor>& AColors,
                                     const std::vector<TAlphaColor>& APalette, int AColors_,
                                     const TProgress* AProgress = nullptr);

// The mean ΔE00 between each colour and its nearest entry of APalette, weighted.
double MeanDeltaE(const std::vector<TWeightedColor>& AColors,
                  const std::vector<TAlphaColor>& APalette);
