// Nearest colour by CIEDE2000: which of a list of colours lies closest to a given one, the
// earlier entry winning a tie. Exact, and fast for long lists: the entries are kept sorted by
// lightness and scanned outward from the colour's own, and a side stops as soon as even its
// lightness difference alone puts every further entry beyond the best (ΔE00 ≥ |ΔL| / 1.75).
#pragma once

#include "color_science.h"

#include <cstddef>
#include <vector>

class TColorMatcher {
public:
    TColorMatcher() = default;
    explicit TColorMatcher(const std::vector<TLab>& AEntries);
    explicit TColorMatcher(const std::vector<TAlphaColor>& ARgbs);

    // The index, in the list given, of the entry nearest to ALab; -1 for an empty list.
    // ALab's lightness must lie within 0 to 100 (any sRGB colour's does). ADistance, when
    // given, receives the ΔE00.
    // AHint, an index likely to be near (a similar colour's answer), is looked at first, which
    // only makes the search faster: the answer is the same without it.
    int nearest(const TLab& ALab, double* ADistance = nullptr, int AHint = -1) const;
    int size() const { return int(FOrder.size()); }
    const TLab& lab(int AIndex) const { return FLab[size_t(AIndex)]; }

private:
    std::vector<TLab> FLab;       // in the order given
    std::vector<int> FOrder;      // indexes by ascending lightness, ties by index
    std::vector<double> FSorted;  // their lightness
    std::vector<TLab> FSortedLab; // and colours,
    std::vector<double> FChroma;  // and chroma
};
