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
    bool Arc(QPainterPath& APath, QPointF AFrom, double rx, double ry, double APhiDeg, bool ALarge,
             bool ASweep, QPointF ATo);
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

QPainterPath TPathReader::Read() {
    QPainterPath path;
    QPointF current, start, lastControl;
    QChar previous;
    if (AtEnd())
        return path;
    while (!AtEnd()) {
        const QChar c = FData[FPos];
        if (!c.isLetter())
            return {};
        ++FPos;
        const QChar command = c.toUpper();
        const bool relative = c.isLower();
        if (previous.isNull() && command != u'M')
            return {}; // path data begins with a move
        bool first = true;
        do {
            const QPointF base = relative ? current : QPointF();
            auto pointArg = [&]() -> std::optional<QPointF> {
                const auto x = Number();
                if (!x)
                    return std::nullopt;
                const auto y = Number();
                if (!y)
                    return std::nullopt;
                return QPointF(base.x() + *x, base.y() + *y);
            };
            QChar done = command;
            if (command == u'Z') {
                path.closeSubpath();
                current = start;
                previous = command;
                break; // Z takes no arguments
            } else if (command == u'M') {
                const auto p = pointArg();
                if (!p)
                    return {};
                if (first) {
                    path.moveTo(*p);
                    start = *p;
                } else {
                    path.lineTo(*p); // further pairs after a move are lines
                    done = u'L';
                }
                current = *p;
            } else if (command == u'L') {
                const auto p = pointArg();
                if (!p)
                    return {};
                path.lineTo(*p);
                current = *p;
            } else if (command == u'H' || command == u'V') {
                const auto v = Number();
                if (!v)
                    return {};
                if (command == u'H')
                    current.setX(base.x() + *v);
                else
                    current.setY(base.y() + *v);
                path.lineTo(current);
            } else if (command == u'C' || command == u'S') {
                QPointF c1 = current;
                if (command == u'C') {
                    const auto p = pointArg();
                    if (!p)
                        return {};
                    c1 = *p;
                } else if (previous == u'C' || previous == u'S') {
                    c1 = 2 * current - lastControl;
                }
                const auto c2 = pointArg();
                if (!c2)
                    return {};
                const auto p = pointArg();
                if (!p)
                    return {};
                path.cubicTo(c1, *c2, *p);
                lastControl = *c2;
                current = *p;
            } else if (command == u'Q' || command == u'T') {
                QPointF c1 = current;
                if (command == u'Q') {
                    const auto p = pointArg();
                    if (!p)
                        return {};
                    c1 = *p;
                } else if (previous == u'Q' || previous == u'T') {
                    c1 = 2 * current - lastControl;
                }
                const auto p = pointArg();
                if (!p)
                    return {};
                path.quadTo(c1, *p);
                lastControl = c1;
                current = *p;
            } else if (command == u'A') {
                const auto rx = Number();
                const auto ry = rx ? Number() : std::nullopt;
                const auto phi = ry ? Number() : std::nullopt;
                const auto large = phi ? Flag() : std::nullopt;
                const auto sweep = large ? Flag() : std::nullopt;
                const auto p = sweep ? pointArg() : std::nullopt;
                if (!p || !Arc(path, current, *rx, *ry, *phi, *large, *sweep, *p))
                    return {};
                current = *p;
            } else {
                return {};
            }
            previous = done;
            first = false;
        } while (NumberFollows());
    }
    return path;
}

} // namespace

QPainterPath ParseSvgPath(QStringView AData) {
    return TPathReader(AData).Read();
}
