// Tile colour sampling: every pixel whose centre lies strictly inside a tile adds its straight
// colour and its alpha to that tile. When two tiles claim a pixel, the later one in the array
// owns it; each tile adds its pixels in row-major order.
#pragma once

#include "mosaic_model.h"

#include <memory>
#include <utility>
#include <vector>

// Strict sign test in double precision: a point on an edge or corner is outside.
bool PointInTriangle(const TPointF& A, const TPointF& B, const TPointF& C, const TPointF& P);
// True when P lies strictly inside one of the fan triangles (P0, Pk, Pk+1).
bool PointInItemX(const TItemX& AItem, const TPointF& P);
// 0 below 0, Trunc(bound) above bound, else Trunc(v).
int ClampTrunc(float v, float bound);

// Fills R, G, B, A and Count. The source should be Format_ARGB32_Premultiplied (others are
// converted first). Reports each pixel row to AProgress (may be null) and throws ECanceled when
// it asks to stop. The picture is worked through in bands of rows on all threads; the sums are
// the same, bit for bit, as one pass over a whole-picture owner map.
void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress);

class TBandWork;

// The sum pass for a picture that arrives a band of rows at a time, top to bottom: the caller
// keeps the tiles that the band reaches and hands them in with the band's rows. The sums come
// out the same, bit for bit, as SampleItemXs's over the whole picture.
// Reports the rows [Y0, Y1) of the sum pass as done; throws ECanceled, with the progress reset,
// when asked to stop. Once a band, by the whole-picture and the streaming sampler alike.
void ReportBand(TProgress* AProgress, int Y0, int Y1);

class TRowSampler {
public:
    TRowSampler(int W, int H); // the whole picture's size
    ~TRowSampler();
    // Adds rows [AY0, AY1) (at most kBandRows of them) to ATiles[0, ACount): every tile whose
    // box reaches these rows must be among them, in array order; others add nothing. Row AY0's
    // premultiplied pixels are at ARows, APitch bytes apart.
    void add(TItemX* ATiles, int ACount, const uchar* ARows, qsizetype APitch, int AY0, int AY1);
    // The first and last row whose pixels a tile may own (first > last for none).
    static std::pair<int, int> boxRows(const TItemX& ATile, int W, int H);

private:
    std::unique_ptr<TBandWork> FWork;
    std::vector<int32_t> FList;
};
