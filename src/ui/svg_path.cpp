#include "svg_path.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>

namespace {

class TPathReader {
public:
    explicit TPathReader(QStringView AData) : FData(AData) {}

    QPainterPath Read();

private:
    QStringView FData;
    qsizetype FPos = 0;

    bool IsSpace(QChar c) const {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
    }
    void SkipSpace() {
        while (FPos < FData.size() && IsSpace(FData[FPos]))
            ++FPos;
    }
    // Whitespace with at most one comma, between two arguments.
    void SkipSeparator() {
        SkipSpace();
        if (FPos < FData.size() && FData[FPos] == u',') {
            ++FPos;
            SkipSpace();
        }
    }
    bool AtEnd() {
        SkipSpace();
        return FPos >= FData.size();
    }
    // True when the next token starts a number, i.e. the last command repeats.
    bool NumberFollows() {
        SkipSeparator();
        if (FPos >= FData.size())
            return false;
        const QChar c = FData[FPos];
        return c.isDigit() || c == u'.' || c == u'-' || c == u'+';
    }
    std::optional<double> Number();
    std::optional<bool> Flag();
    // A coordinate pair, added to ABase (the current point for a relative command).
    std::optional<QPointF> Point(QPointF ABase);
    bool Arc(QPainterPath& APath, QPointF AFrom, double rx, double ry, double APhiDeg, bool ALarge,
             bool ASweep, QPointF ATo);

    // One segment of a command, its arguments read; false when they are malformed.
    bool Segment(QChar ACommand, bool ARelative, bool AFirst);
    bool MoveTo(QPointF ABase, bool AFirst);
    bool LineTo(QPointF ABase);
    bool AxisLineTo(QChar ACommand, QPointF ABase);
    bool CubicTo(QChar ACommand, QPointF ABase);
    bool QuadTo(QChar ACommand, QPointF ABase);
    bool ArcTo(QPointF ABase);

    QPainterPath FPath;
    QPointF FCurrent, FStart, FLastControl;
    QChar FPrevious; // the last segment's command; a move's further pairs count as lines
};

std::optional<double> TPathReader::Number() {
    SkipSeparator();
    // Only ASCII may take part, and from_chars is free of the C locale's decimal comma.
    std::string text;
    auto take = [&](auto pred) {
        qsizetype n = 0;
        while (FPos < FData.size() && FData[FPos].unicode() < 128 && pred(FData[FPos])) {
            text += char(FData[FPos].unicode());
            ++FPos;
            ++n;
        }
        return n;
    };
    auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    take([&](QChar c) { return (c == u'-' || c == u'+') && text.empty(); });
    if (!text.empty() && text[0] == '+')
        text.clear(); // from_chars takes no plus sign
    const qsizetype whole = take(digit);
    qsizetype fraction = 0;
    if (FPos < FData.size() && FData[FPos] == u'.') {
        text += '.';
        ++FPos;
        fraction = take(digit);
    }
    if (whole == 0 && fraction == 0)
        return std::nullopt;
    if (FPos < FData.size() && (FData[FPos] == u'e' || FData[FPos] == u'E')) {
        const qsizetype mark = FPos;
        std::string exponent = "e";
        ++FPos;
        if (FPos < FData.size() && (FData[FPos] == u'-' || FData[FPos] == u'+')) {
            if (FData[FPos] == u'-')
                exponent += '-';
            ++FPos;
        }
        const std::string before = text;
        text.clear();
        if (take(digit) == 0) {
            FPos = mark; // not an exponent after all
            text = before;
        } else {
            text = before + exponent + text;
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> TPathReader::Flag() {
    SkipSeparator();
    if (FPos >= FData.size() || (FData[FPos] != u'0' && FData[FPos] != u'1'))
        return std::nullopt;
    return FData[FPos++] == u'1';
}

// The arc as cubic pieces of at most a quarter turn, after the SVG endpoint-to-centre rules:
// radii too small to reach are scaled up, and a zero radius is a straight line.
bool TPathReader::Arc(QPainterPath& APath, QPointF AFrom, double rx, double ry, double APhiDeg,
                      bool ALarge, bool ASweep, QPointF ATo) {
    if (AFrom == ATo)
        return true;
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    if (rx == 0 || ry == 0) {
        APath.lineTo(ATo);
        return true;
    }
    const double phi = APhiDeg * std::numbers::pi / 180;
    const double cs = std::cos(phi), sn = std::sin(phi);
    const double dx = (AFrom.x() - ATo.x()) / 2, dy = (AFrom.y() - ATo.y()) / 2;
    const double x1 = cs * dx + sn * dy, y1 = -sn * dx + cs * dy;
    const double lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double k = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0;
    if (ALarge == ASweep)
        k = -k;
    const double cx1 = k * rx * y1 / ry, cy1 = -k * ry * x1 / rx;
    const double cx = cs * cx1 - sn * cy1 + (AFrom.x() + ATo.x()) / 2;
    const double cy = sn * cx1 + cs * cy1 + (AFrom.y() + ATo.y()) / 2;
    auto angle = [](double ux, double uy, double vx, double vy) {
        return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    };
    const double theta = angle(1, 0, (x1 - cx1) / rx, (y1 - cy1) / ry);
    double delta = angle((x1 - cx1) / rx, (y1 - cy1) / ry, (-x1 - cx1) / rx, (-y1 - cy1) / ry);
    if (!ASweep && delta > 0)
        delta -= 2 * std::numbers::pi;
    else if (ASweep && delta < 0)
        delta += 2 * std::numbers::pi;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(delta))
        return false;
    const int pieces = std::max(1, int(std::ceil(std::fabs(delta) / (std::numbers::pi / 2))));
    const double step = delta / pieces;
    const double t = 4.0 / 3.0 * std::tan(step / 4);
    // A point given on the unit circle, taken to the ellipse.
    auto world = [&](double ux, double uy) {
        return QPointF(cx + cs * rx * ux - sn * ry * uy, cy + sn * rx * ux + cs * ry * uy);
    };
    double a = theta;
    for (int i = 0; i < pieces; ++i) {
        const double b = a + step;
        const QPointF c1 = world(std::cos(a) - t * std::sin(a), std::sin(a) + t * std::cos(a));
        const QPointF c2 = world(std::cos(b) + t * std::sin(b), std::sin(b) - t * std::cos(b));
        // The end of the last piece is the given end point, free of rounding.
        APath.cubicTo(c1, c2, i + 1 == pieces ? ATo : world(std::cos(b), std::sin(b)));
        a = b;
    }
    return true;
}

std::optional<QPointF> TPathReader::Point(QPointF ABase) {
    const auto x = Number();
    if (!x)
        return std::nullopt;
    const auto y = Number();
    if (!y)
        return std::nullopt;
    return QPointF(ABase.x() + *x, ABase.y() + *y);
}

bool TPathReader::MoveTo(QPointF ABase, bool AFirst) {
    const auto p = Point(ABase);
    if (!p)
        return false;
    if (AFirst) {
        FPath.moveTo(*p);
        FStart = *p;
    } else {
        FPath.lineTo(*p); // further pairs after a move are lines
    }
    FCurrent = *p;
    return true;
}

bool TPathReader::LineTo(QPointF ABase) {
    const auto p = Point(ABase);
    if (!p)
        return false;
    FPath.lineTo(*p);
    FCurrent = *p;
    return true;
}

bool TPathReader::AxisLineTo(QChar ACommand, QPointF ABase) {
    const auto v = Number();
    if (!v)
        return false;
    if (ACommand == u'H')
        FCurrent.setX(ABase.x() + *v);
    else
        FCurrent.setY(ABase.y() + *v);
    FPath.lineTo(FCurrent);
    return true;
}

// C, or S, whose first control point mirrors the last one of a cubic before it.
bool TPathReader::CubicTo(QChar ACommand, QPointF ABase) {
    QPointF c1 = FCurrent;
    if (ACommand == u'C') {
        const auto p = Point(ABase);
        if (!p)
            return false;
        c1 = *p;
    } else if (FPrevious == u'C' || FPrevious == u'S') {
        c1 = 2 * FCurrent - FLastControl;
    }
    const auto c2 = Point(ABase);
    if (!c2)
        return false;
    const auto p = Point(ABase);
    if (!p)
        return false;
    FPath.cubicTo(c1, *c2, *p);
    FLastControl = *c2;
    FCurrent = *p;
    return true;
}

// Q, or T, whose control point mirrors that of a quadratic before it.
bool TPathReader::QuadTo(QChar ACommand, QPointF ABase) {
    QPointF c1 = FCurrent;
    if (ACommand == u'Q') {
        const auto p = Point(ABase);
        if (!p)
            return false;
        c1 = *p;
    } else if (FPrevious == u'Q' || FPrevious == u'T') {
        c1 = 2 * FCurrent - FLastControl;
    }
    const auto p = Point(ABase);
    if (!p)
        return false;
    FPath.quadTo(c1, *p);
    FLastControl = c1;
    FCurrent = *p;
    return true;
}

bool TPathReader::ArcTo(QPointF ABase) {
    const auto rx = Number();
    const auto ry = rx ? Number() : std::nullopt;
    const auto phi = ry ? Number() : std::nullopt;
    const auto large = phi ? Flag() : std::nullopt;
    const auto sweep = large ? Flag() : std::nullopt;
    const auto p = sweep ? Point(ABase) : std::nullopt;
    if (!p || !Arc(FPath, FCurrent, *rx, *ry, *phi, *large, *sweep, *p))
        return false;
    FCurrent = *p;
    return true;
}

bool TPathReader::Segment(QChar ACommand, bool ARelative, bool AFirst) {
    const QPointF base = ARelative ? FCurrent : QPointF();
    bool ok = false;
    switch (ACommand.unicode()) {
    case 'M':
        ok = MoveTo(base, AFirst);
        break;
    case 'L':
        ok = LineTo(base);
        break;
    case 'H':
    case 'V':
        ok = AxisLineTo(ACommand, base);
        break;
    case 'C':
    case 'S':
        ok = CubicTo(ACommand, base);
        break;
    case 'Q':
    case 'T':
        ok = QuadTo(ACommand, base);
        break;
    case 'A':
        ok = ArcTo(base);
        break;
    default:
        return false;
    }
    FPrevious = ACommand == u'M' && !AFirst ? QChar(u'L') : ACommand;
    return ok;
}

QPainterPath TPathReader::Read() {
    if (AtEnd())
        return FPath;
    while (!AtEnd()) {
        const QChar c = FData[FPos];
        if (!c.isLetter())
            return {};
        ++FPos;
        const QChar command = c.toUpper();
        if (FPrevious.isNull() && command != u'M')
            return {}; // path data begins with a move
        if (command == u'Z') {
            // Z takes no arguments.
            FPath.closeSubpath();
            FCurrent = FStart;
            FPrevious = command;
            continue;
        }
        bool first = true;
        do {
            if (!Segment(command, c.isLower(), first))
                return {};
            first = false;
        } while (NumberFollows());
    }
    return FPath;
}

} // namespace

QPainterPath ParseSvgPath(QStringView AData) {
    return TPathReader(AData).Read();
}
