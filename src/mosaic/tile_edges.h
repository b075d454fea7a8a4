// The edges of a tiling as a graph: which tiles share a stretch of edge and how long it is (for
// dithering), and every edge once (for cut lines). Corners are exact floats that neighbouring
// tiles share, so an edge between two corners is found by its corners; horizontal and vertical
// edges are also matched where they only overlap in part, as in squares in offset rows.
#pragma once

#include "grout.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

// A tile's polygon for the graph: the number of corners written to AOut, 0 to leave it out.
using TPolygonOf = std::function<int(int32_t ATile, TCorners& AOut)>;

struct TNeighbour {
    int32_t Tile;
    double Length;
};

// Each tile's neighbours across shared edges, ascending, with the shared length.
struct TTileGraph {
    std::vector<int64_t> Start; // tile i's neighbours are Next[Start[i]] to Next[Start[i+1]-1]
    std::vector<TNeighbour> Next;
};

// Each of these throws ECanceled when AProgress asks to stop, which it is asked between its steps
// and every few ten thousand tiles or edges.
class TProgress;

TTileGraph TileNeighbours(int32_t ATiles, const TPolygonOf& APolygon,
                          const TProgress* AProgress = nullptr);

struct TCutSegment {
    double X0, Y0, X1, Y1;
};

// Every edge of the tiles once, and the picture's frame, clipped to the picture: collinear
// horizontal and vertical edges are merged into single lines, and an edge two tiles share is
// there once.
std::vector<TCutSegment> CutSegments(int32_t ATiles, const TPolygonOf& APolygon, int AWidth,
                                     int AHeight, const TProgress* AProgress = nullptr);

// The segments joined end to end into as few paths as a greedy walk finds, as an SVG document of
// stroked paths with no fill (CR LF at the end).
std::string CutLinesSvg(const std::vector<TCutSegment>& ASegments, int AWidth, int AHeight,
                        const TProgress* AProgress = nullptr);
