// A PNG read a band of rows at a time through libspng's progressive rows, from the file itself:
// neither the picture nor the file's bytes are held whole. The pixels are ReadPng's
// (png_reader.h), and so are the answers to a file cut short or damaged: a cut chunk is read as
// far as it goes, the rows it lacks are transparent, and the warning says how many came.
#pragma once

#include "row_source.h"

#include <functional>
#include <memory>

// The rows of AFileName when it is a PNG that this path takes; null for anything else (not a
// PNG, or interlaced, whose rows come in passes), which the caller reads whole. Throws
// EVormError naming the file for damage, data cut short before the first row, and a picture
// whose rows would not fit the memory budget beside AHeldBytes(W, H). The warning of a file cut
// short is known once its last row is read.
std::unique_ptr<TRowSource> OpenPngRows(const QString& AFileName,
                                        const std::function<qint64(int W, int H)>& AHeldBytes);
