// SVG path data ("M0.872,0.117 L1,0.245 ... Z") into a QPainterPath. The whole grammar is read:
// absolute and relative M, L, H, V, C, S, Q, T, A and Z, implicit repeats and exponents.
#pragma once

#include <QPainterPath>
#include <QStringView>

// Data with any error gives an empty path, so that a bad icon draws nothing rather than a
// fragment of itself.
QPainterPath ParseSvgPath(QStringView AData);
