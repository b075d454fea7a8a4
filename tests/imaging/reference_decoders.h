// Plain readers written from the published PNG and BMP format definitions alone, for the expected pixels of
// the suite tests: one pixel at a time, every sample taken at its bit offset, no fast paths. They
// take only well-formed files (the good files of the suites) and say nothing about damaged
// ones. The rules they apply are those the program promises (png_reader.h, bmp.h): 16-bit
// samples become round(v / 257), tRNS is compared at the image's bit depth, bit fields are
// scaled by round(v × 255 / max), and colour is premultiplied with Qt's qPremultiply.
#pragma once

#include "codec_support.h"

#include <QByteArray>
#include <QImage>
#include <cmath>
#include <optional>
#include <vector>
#include <zlib.h>

namespace Reference {

inline QImage Blank(int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

inline void Put(QImage& AImage, int x, int y, int r, int g, int b, int a) {
    reinterpret_cast<QRgb*>(AImage.scanLine(y))[x] = qPremultiply(qRgba(r, g, b, a));
}

// The bits [ABit, ABit + ACount) of AData, most significant first.
inline uint32_t Bits(const uint8_t* AData, qint64 ABit, int ACount) {
    uint32_t v = 0;
    for (int i = 0; i < ACount; ++i, ++ABit)
        v = v << 1 | ((AData[ABit / 8] >> (7 - ABit % 8)) & 1);
    return v;
}

inline int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A good PNG file's picture; empty when the file is not one this reader takes.
inline std::optional<QImage> Png(const QByteArray& AFile) {
    const auto* f = reinterpret_cast<const uint8_t*>(AFile.constData());
    qint64 pos = 8;
    uint32_t W = 0, H = 0;
    int depth = 0, type = 0, interlace = 0;
    std::vector<uint8_t> plte, trns;
    QByteArray idat;
    while (pos + 12 <= AFile.size()) {
        const uint32_t length = GetBe32(f + pos);
        const QByteArray kind = AFile.mid(pos + 4, 4);
        const uint8_t* d = f + pos + 8;
        if (kind == "IHDR") {
            W = GetBe32(d), H = GetBe32(d + 4), depth = d[8], type = d[9], interlace = d[12];
        } else if (kind == "PLTE") {
            plte.assign(d, d + length);
        } else if (kind == "tRNS") {
            trns.assign(d, d + length);
        } else if (kind == "IDAT") {
            idat.append(reinterpret_cast<const char*>(d), length);
        }
        pos += 12 + length;
    }
    const int channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
    const int bpp = channels * depth; // bits a pixel
    // The filtered data of every pass, inflated at once.
    std::vector<uint8_t> raw(size_t(H) * (1 + (size_t(W) * bpp + 7) / 8) * 2 + 1024);
    uLongf rawSize = uLongf(raw.size());
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.constData()),
                   uLong(idat.size())) != Z_OK)
        return std::nullopt;
    struct TPass {
        int x0, y0, dx, dy;
    };
    const std::vector<TPass> passes =
        interlace ? std::vector<TPass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                  : std::vector<TPass>{{0, 0, 1, 1}};
    QImage out = Blank(int(W), int(H));
    const uint32_t top = (1u << depth) - 1;
    const auto to8 = [&](uint32_t v) {
        return depth == 16 ? int(std::lround(v / 257.0)) : int(v * 255 / top);
    };
    const auto trnsSample = [&](int i) { // the i-th tRNS sample, at the image's bit depth
        return (uint32_t(trns[size_t(2 * i)]) << 8 | trns[size_t(2 * i + 1)]) & top;
    };
    size_t at = 0;
    for (const TPass& p : passes) {
        const int pw = int((W - p.x0 + p.dx - 1) / p.dx), ph = int((H - p.y0 + p.dy - 1) / p.dy);
        if (int(W) <= p.x0 || int(H) <= p.y0 || pw <= 0 || ph <= 0)
            continue;
        const size_t rowBytes = (size_t(pw) * bpp + 7) / 8;
        const size_t step = std::max(1, bpp / 8); // bytes to the corresponding byte on the left
        std::vector<uint8_t> prev(rowBytes, 0), row(rowBytes);
        for (int j = 0; j < ph; ++j) {
            const int filter = raw[at++];
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= step ? row[i - step] : 0, b = prev[i],
                          c = i >= step ? prev[i - step] : 0;
                const int x = raw[at + i];
                const int pred = filter == 1   ? a
                                 : filter == 2 ? b
                                 : filter == 3 ? (a + b) / 2
                                 : filter == 4 ? Paeth(a, b, c)
                                               : 0;
                row[i] = uint8_t(x + pred);
            }
            at += rowBytes;
            prev = row;
            for (int i = 0; i < pw; ++i) {
                uint32_t s[4];
                for (int k = 0; k < channels; ++k)
                    s[k] = Bits(row.data(), qint64(i) * bpp + k * depth, depth);
                const int x = p.x0 + i * p.dx, y = p.y0 + j * p.dy;
                switch (type) {
                case 0: {
                    const bool clear = trns.size() == 2 && s[0] == trnsSample(0);
                    Put(out, x, y, to8(s[0]), to8(s[0]), to8(s[0]), clear ? 0 : 255);
                    break;
                }
                case 2: {
                    const bool clear = trns.size() == 6 && s[0] == trnsSample(0) &&
                                       s[1] == trnsSample(1) && s[2] == trnsSample(2);
                    Put(out, x, y, to8(s[0]), to8(s[1]), to8(s[2]), clear ? 0 : 255);
                    break;
                }
                case 3:
                    if (s[0] * 3 + 2 < plte.size())
                        Put(out, x, y, plte[s[0] * 3], plte[s[0] * 3 + 1], plte[s[0] * 3 + 2],
                            s[0] < trns.size() ? trns[s[0]] : 255);
                    else
                        Put(out, x, y, 0, 0, 0, 255);
                    break;
                case 4:
                    Put(out, x, y, to8(s[0]), to8(s[0]), to8(s[0]), to8(s[1]));
                    break;
                case 6:
                    Put(out, x, y, to8(s[0]), to8(s[1]), to8(s[2]), to8(s[3]));
                    break;
                default:
                    return std::nullopt;
                }
            }
        }
    }
    return out;
}

// A good, uncompressed BMP file's picture (core, OS/2 2.x and Windows headers; BI_RGB and bit
// fields); empty when the file is not one this reader takes.
inline std::optional<QImage> Bmp(const QByteArray& AFile) {
    const auto* f = reinterpret_cast<const uint8_t*>(AFile.constData());
    const uint32_t offBits = GetLe32(f + 10), size = GetLe32(f + 14);
    const uint8_t* h = f + 14;
    int W, H, bits;
    uint32_t compression = 0, used = 0;
    if (size == 12) {
        W = GetLe16(h + 4), H = GetLe16(h + 6), bits = GetLe16(h + 10);
    } else {
        W = int32_t(GetLe32(h + 4)), H = int32_t(GetLe32(h + 8)), bits = GetLe16(h + 14);
        compression = size >= 20 ? GetLe32(h + 16) : 0;
        used = size >= 36 ? GetLe32(h + 32) : 0;
    }
    const bool windows = size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
    if (W <= 0 || H == 0 ||
        !(compression == 0 || (windows && (compression == 3 || compression == 6))))
        return std::nullopt;
    const bool topDown = H < 0;
    H = std::abs(H);
    uint32_t masks[4] = {0, 0, 0, 0};
    qint64 palette = 14 + size;
    if (compression == 3 || compression == 6) {
        const uint8_t* m = size == 40 ? f + 54 : h + 40;
        const int count = size == 40 ? (compression == 6 ? 4 : 3) : size == 52 ? 3 : 4;
        for (int i = 0; i < count; ++i)
            masks[i] = GetLe32(m + 4 * i);
        if (size == 40)
            palette += 4 * count;
    } else if (bits == 16) {
        masks[0] = 0x7c00, masks[1] = 0x3e0, masks[2] = 0x1f;
    } else if (bits == 32) {
        masks[0] = 0xff0000, masks[1] = 0xff00, masks[2] = 0xff;
    }
    const int entryBytes = size == 12 ? 3 : 4;
    qint64 entries = bits > 8 ? 0 : used && used <= (1u << bits) ? used : 1 << bits;
    entries = std::min<qint64>(entries, (offBits - palette) / entryBytes);
    const qint64 stride = (qint64(W) * bits + 31) / 32 * 4;
    if (offBits + stride * H > AFile.size())
        return std::nullopt;
    // A channel's value, scaled to 8 bits by its mask's width.
    const auto channel = [](uint32_t APixel, uint32_t AMask) {
        if (!AMask)
            return -1;
        int shift = 0;
        while (!(AMask >> shift & 1))
            ++shift;
        const double max = double(AMask >> shift);
        return int(std::floor(double((APixel & AMask) >> shift) * 255 / max + 0.5));
    };
    QImage out = Blank(W, H);
    for (int j = 0; j < H; ++j) {
        const uint8_t* row = f + offBits + stride * j;
        const int y = topDown ? j : H - 1 - j;
        for (int x = 0; x < W; ++x) {
            if (bits <= 8) {
                const uint32_t i = Bits(row, qint64(x) * bits, bits);
                if (i < entries) {
                    const uint8_t* e = f + palette + i * entryBytes;
                    Put(out, x, y, e[2], e[1], e[0], 255);
                } else {
                    Put(out, x, y, 0, 0, 0, 255);
                }
            } else if (bits == 24) {
                const uint8_t* p = row + 3 * x;
                Put(out, x, y, p[2], p[1], p[0], 255);
            } else {
                const uint32_t p = bits == 16 ? GetLe16(row + 2 * x) : GetLe32(row + 4 * x);
                const int a = channel(p, masks[3]);
                Put(out, x, y, std::max(channel(p, masks[0]), 0), std::max(channel(p, masks[1]), 0),
                    std::max(channel(p, masks[2]), 0), a < 0 ? 255 : a);
            }
        }
    }
    return out;
}

} // namespace Reference
