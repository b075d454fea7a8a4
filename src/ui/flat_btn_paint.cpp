// The four designs of the flat button. Every measure is a fraction of the button's own width W
// and height H, so single and double buttons share a painter.
#include "flat_btn.h"
#include "svg_path.h"
#include "utils.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

constexpr TAlphaColor kSurfaceLight = 0xFFFBFBFB;
constexpr TAlphaColor kSurfaceDark = 0xFF2D2D2D;
constexpr TAlphaColor kInkDark = 0xFF1B1B1B;
constexpr TAlphaColor kInkWhite = 0xFFFFFFFF;
constexpr TAlphaColor kVeil = 0xFF000000;
constexpr double kVeilOpacity = 0.1;
constexpr double kHoverOpacity = 0.5;
constexpr double kIconInset = 0.16 * 1.5 + 0.05;
constexpr double kIconInsetPressed = kIconInset * 1.1;

constexpr TAlphaColor kRainbow[] = {0xFFFF0000, 0xFFFF6600, 0xFFFFFF00, 0xFF00FF00,
                                    0xFF0000FF, 0xFF6666CC, 0xFFFF00FF};

QColor Qc(TAlphaColor c) {
    return QColor::fromRgba(c);
}

bool Transparent(TAlphaColor c) {
    return (c >> 24) == 0;
}

// The button's colour, or the accent where the button has none of its own.
TAlphaColor Fallback(const TFMXFlatBtn& b) {
    return Transparent(b.Color()) ? AccentColor : b.Color();
}

TAlphaColor InkOn(TAlphaColor AGround) {
    return Luminance(AGround) < 127.5 ? kInkWhite : kInkDark;
}

TAlphaColor Surface() {
    return IsLightTheme ? kSurfaceLight : kSurfaceDark;
}
TAlphaColor SurfaceInk() {
    return IsLightTheme ? kInkDark : kInkWhite;
}

// The tile shrinks by H / 15 on every side while pressed.
QRectF PressedRect(const TFMXFlatBtn& b, const QRectF& r) {
    const double d = r.height() / 15;
    return b.isPressed() ? r.adjusted(d, d, -d, -d) : r;
}

void Fill(QPainter& c, const QRectF& r, TAlphaColor AColor, double AOpacity) {
    c.save();
    c.setOpacity(AOpacity);
    c.fillRect(r, Qc(AColor));
    c.restore();
}

void Icon(const TFMXFlatBtn& b, const QString& AData, QPainter& c, const QRectF& r,
          TAlphaColor AInk) {
    if (!AData.isEmpty())
        PaintIcon(AData, b.isPressed() ? kIconInsetPressed : kIconInset, c, r, Qc(AInk));
}

void Veil(const TFMXFlatBtn& b, QPainter& c, const QRectF& r) {
    if (!b.isEnabled())
        Fill(c, r, kVeil, kVeilOpacity);
}

// The ground of a swatch in the Metro, Fluent and Windows 11 designs; gives the ink.
TAlphaColor SwatchGround(const TFMXFlatBtn& b, QPainter& c, const QRectF& r, bool ARounded) {
    if (b.Color() == FlatBtnColorRainbow) {
        PaintRainbow(b.isEnter(), b.isPressed(), c, r);
        return kInkWhite;
    }
    if (ARounded)
        RoundedTile(c, PressedRect(b, r), Qc(b.Color()), 1);
    else
        Fill(c, PressedRect(b, r), b.Color(), 1);
    return InkOn(b.Color());
}

} // namespace

void PaintIcon(const QString& ASVGData, double AInset, QPainter& ACanvas, const QRectF& ARect,
               const QColor& AInk) {
    const QPainterPath path = ParseSvgPath(ASVGData);
    if (path.isEmpty())
        return;
    const double H = ARect.height(), W = ARect.width();
    const double S = (1 - 2 * AInset) * H;
    QTransform t;
    t.translate(ARect.left() + (W - S) / 2, ARect.top() + AInset * H);
    t.scale(S, S);
    ACanvas.save();
    ACanvas.setOpacity(1);
    ACanvas.fillPath(t.map(path), AInk);
    ACanvas.restore();
}

void PaintCaption(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect, bool AShrink,
                  const QColor& AInk) {
    if (ASender.Text().isEmpty())
        return;
    const double W = ARect.width(), H = ARect.height();
    QRectF r(ARect.left() + 0.1 * W, ARect.top() + 0.05 * H, 0.8 * W, 0.9 * H);
    if (AShrink)
        r.adjust(W / 60, H / 60, -W / 60, -H / 60);
    const QPaintDevice* device = ACanvas.device();
    const int dpi = device ? device->logicalDpiY() : 96;
    const double size = 0.16 * H;
    QFont font = UiFont(QStringLiteral("Segoe UI"), size, dpi);
    // The stand-in fonts run a little wider than Segoe UI and Yu Gothic: "…について" and
    // "プレビュー" need 50 units where Windows fits them into 48. Rather than break such a
    // caption into a second line over the icon, it is set up to 15 % smaller; longer texts wrap
    // as usual.
    auto width = [&](const QFont& f) {
        return QFontMetricsF(f, device).horizontalAdvance(ASender.Text());
    };
    if (width(font) > r.width()) {
        QFont smaller = font;
        for (double s = size; s >= 0.85 * size; s -= 0.05 * size / 5) {
            smaller.setPointSizeF(s * 72.0 / dpi);
            if (width(smaller) <= r.width()) {
                font = smaller;
                break;
            }
        }
    }
    ACanvas.save();
    ACanvas.setOpacity(1);
    ACanvas.setFont(font);
    ACanvas.setPen(AInk);
    ACanvas.drawText(r, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, ASender.Text());
    ACanvas.restore();
}

void PaintRainbow(bool AHovered, bool APressed, QPainter& ACanvas, const QRectF& ARect) {
    const double W = ARect.width(), H = ARect.height();
    const double b = APressed ? H / 15 : 0;
    const double w = W - 2 * b, h = H - 2 * b;
    // Drawn at the screen's density, so that the stripes stay sharp on a high-density screen.
    const QPaintDevice* device = ACanvas.device();
    const double dpr = device ? std::max(1.0, device->devicePixelRatioF()) : 1.0;
    const int pw = int(w * dpr), ph = int(h * dpr);
    if (pw <= 0 || ph <= 0)
        return;
    QImage stripes(pw, ph, QImage::Format_ARGB32_Premultiplied);
    if (stripes.isNull())
        return;
    stripes.fill(Qt::transparent);
    stripes.setDevicePixelRatio(dpr);
    {
        QPainter p(&stripes);
        p.setRenderHint(QPainter::Antialiasing);
        const double thickness = (H / 7 * 2) / (W > H ? std::sqrt(5.0) : std::sqrt(2.0));
        for (int k = 1; k <= 7; ++k) {
            const TAlphaColor colour = AHovered ? Darken90(kRainbow[k - 1]) : kRainbow[k - 1];
            // Square caps fill the corners that flat ends would leave bare.
            p.setPen(QPen(Qc(colour), thickness, Qt::SolidLine, Qt::SquareCap));
            if (k <= 4) {
                const double f = (2 * k - 1) / 7.0;
                p.drawLine(QPointF(0, f * h), QPointF(f * w, 0));
            } else {
                const double f = (2 * k - 8) / 7.0;
                p.drawLine(QPointF(f * w, h), QPointF(w, f * h));
            }
        }
    }
    ACanvas.save();
    ACanvas.setOpacity(1);
    ACanvas.drawImage(QRectF(ARect.left() + b, ARect.top() + b, w, h), stripes,
                      QRectF(0, 0, w * dpr, h * dpr));
    ACanvas.restore();
}

void RoundedTile(QPainter& ACanvas, const QRectF& ARect, const QColor& AColor, double AOpacity) {
    QPainterPath tile;
    tile.addRoundedRect(ARect, 4, 4);
    ACanvas.save();
    ACanvas.setOpacity(AOpacity);
    ACanvas.fillPath(tile, AColor);
    ACanvas.setOpacity(1);
    ACanvas.strokePath(tile, QPen(AColor, 1));
    ACanvas.restore();
}

void PaintMetro(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect) {
    const TFMXFlatBtn& b = ASender;
    TAlphaColor ink;
    if (b.Color() == FlatBtnColorRainbow) {
        PaintRainbow(b.isEnter(), b.isPressed(), ACanvas, ARect);
        ink = kInkWhite;
    } else {
        Fill(ACanvas, PressedRect(b, ARect), b.Color(), 1);
        ink = InkOn(b.Color());
    }
    const QString icon = b.isSwatch() ? (b.isDown() ? FlatBtnCheckMark : QString()) : b.SVGData();
    Icon(b, icon, ACanvas, ARect, ink);
    PaintCaption(b, ACanvas, ARect, b.isPressed(), Qc(ink));
    Veil(b, ACanvas, ARect);
}

void PaintFluent(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect) {
    const TFMXFlatBtn& b = ASender;
    TAlphaColor ink;
    QString icon;
    if (b.isSwatch()) {
        ink = SwatchGround(b, ACanvas, ARect, false);
        if (b.isDown())
            icon = FlatBtnCheckMark;
    } else {
        ink = SurfaceInk();
        if (!Transparent(b.Color()) && !b.isEnter())
            ink = ContrastAdjust(b.Color());
        Fill(ACanvas, ARect, Surface(), 1);
        if (b.isPressed())
            Fill(ACanvas, PressedRect(b, ARect), Fallback(b), 1);
        else if (b.isEnter())
            Fill(ACanvas, ARect, Fallback(b), kHoverOpacity);
        icon = b.SVGData();
    }
    Icon(b, icon, ACanvas, ARect, ink);
    if (b.isDown()) {
        // Centred on the bottom edge, so half of it shows.
        ACanvas.save();
        ACanvas.setPen(QPen(Qc(Fallback(b)), 0.1 * ARect.height(), Qt::SolidLine, Qt::FlatCap));
        ACanvas.drawLine(ARect.bottomLeft(), ARect.bottomRight());
        ACanvas.restore();
    }
    PaintCaption(b, ACanvas, ARect, b.isPressed(), Qc(ink));
    Veil(b, ACanvas, ARect);
}

void PaintWin11(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect) {
    const TFMXFlatBtn& b = ASender;
    TAlphaColor ink;
    QString icon;
    if (b.isSwatch()) {
        ink = SwatchGround(b, ACanvas, ARect, true);
        if (b.isDown())
            icon = FlatBtnCheckMark;
    } else {
        ink = SurfaceInk();
        RoundedTile(ACanvas, ARect, Qc(Surface()), 1);
        if (b.isPressed() || b.isDown()) {
            const double d = ARect.height() / 15;
            RoundedTile(ACanvas, ARect.adjusted(d, d, -d, -d), Qc(Fallback(b)), 1);
        } else if (b.isEnter()) {
            RoundedTile(ACanvas, ARect, Qc(Fallback(b)), kHoverOpacity);
        }
        icon = b.SVGData();
    }
    Icon(b, icon, ACanvas, ARect, ink);
    PaintCaption(b, ACanvas, ARect, b.isPressed() || b.isDown(), Qc(ink));
    Veil(b, ACanvas, ARect);
}

void PaintiOS(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect) {
    const TFMXFlatBtn& b = ASender;
    const bool active = b.isToggle() ? (b.isPressed() || b.isDown() != b.isEnter())
                                     : (b.isPressed() || b.isDown() || b.isEnter());
    Fill(ACanvas, PressedRect(b, ARect), Surface(), 1);
    if (b.isColorDot()) {
        const double H = ARect.height(), shift = b.isPressed() ? 2 : 0;
        QPainterPath dot;
        dot.addEllipse(QRectF(ARect.left() + 0.1 * H + shift, ARect.top() + 0.1 * H + shift,
                              0.1 * H, 0.1 * H));
        ACanvas.fillPath(dot, Qc(b.Color()));
    }
    const TAlphaColor ink = active ? b.Color() : SurfaceInk();
    Icon(b, b.SVGData(), ACanvas, ARect, ink);
    PaintCaption(b, ACanvas, ARect, b.isPressed(), Qc(ink));
    if (!b.isEnabled())
        Fill(ACanvas, QRectF(0, 0, b.width(), b.height()), b.Color(), 0.5);
}
