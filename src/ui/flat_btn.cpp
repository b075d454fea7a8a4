#include "flat_btn.h"

#include "flat_btn_accessible.h"
#include "utils.h"
#include "vorm_error.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

const char* const FlatBtnCheckMark =
    "M0.872,0.117 L1,0.245 L0.387,0.858 L0.365,0.883 L0,0.568 L0.118,0.431 L0.354,0.635 Z";

namespace {

struct TLook {
    bool Double;
    TAlphaColor Color;
    void (*Painter)(const TFMXFlatBtn&, QPainter&, const QRectF&);
};

// In the order of TFMXFlatBtnType.
constexpr TLook kLooks[] = {
    {false, 0xFF1BA1E2, PaintMetro},  {true, 0xFF1BA1E2, PaintMetro},
    {false, 0x00000000, PaintFluent}, {true, 0x00000000, PaintFluent},
    {false, 0xFF1BA1E2, PaintWin11},  {true, 0xFF1BA1E2, PaintWin11},
    {false, 0xFF34AADC, PaintiOS},    {true, 0xFF34AADC, PaintiOS},
};

const TLook& Look(TFMXFlatBtnType AType) {
    return kLooks[std::min<size_t>(AType, std::size(kLooks) - 1)];
}

std::uint32_t MonotonicTicks() {
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Truncated on purpose: durations are taken as 32-bit differences, which survive the wrap.
    return std::uint32_t(timer.elapsed());
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::uint8_t Channel(TAlphaColor c, int AShift) {
    return std::uint8_t((c >> AShift) & 0xFF);
}

} // namespace

TAlphaColor FlatBtnTypeColor(TFMXFlatBtnType AType) {
    return Look(AType).Color;
}

TAlphaColor ParseColorCode(const QString& AText) {
    if ((AText.size() != 7 && AText.size() != 9) || AText[0] != u'#')
        return FlatBtnColorNone;
    std::uint32_t value = 0;
    for (qsizetype i = 1; i < AText.size(); ++i) {
        const int d = HexDigit(AText[i]);
        if (d < 0)
            return FlatBtnColorNone;
        value = value << 4 | std::uint32_t(d);
    }
    if (value == 0xFFFFFFFFu)
        return FlatBtnColorNone;
    return AText.size() == 7 ? (value | 0xFF000000u) : value;
}

double Luminance(TAlphaColor AColor) {
    return 0.298912 * Channel(AColor, 16) + 0.586611 * Channel(AColor, 8) +
           0.114478 * Channel(AColor, 0);
}

TAlphaColor Darken90(TAlphaColor AColor) {
    auto darken = [&](int AShift) {
        // nearbyint rounds halves to even in the default rounding mode.
        const double v = std::nearbyint(Channel(AColor, AShift) * 0.9);
        return std::uint32_t(std::clamp(v, 0.0, 255.0)) << AShift;
    };
    return 0xFF000000u | darken(16) | darken(8) | darken(0);
}

TAlphaColor ContrastAdjust(TAlphaColor AColor, bool ALightTheme) {
    const double r = Channel(AColor, 16) / 255.0, g = Channel(AColor, 8) / 255.0,
                 b = Channel(AColor, 0) / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    double l = (hi + lo) / 2;
    if (ALightTheme && l > 0.4)
        l = 0.4;
    else if (!ALightTheme && l < 0.6)
        l = 0.6;
    else
        return AColor;
    double h = 0, s = 0;
    if (hi > lo) {
        const double d = hi - lo;
        s = (hi + lo) / 2 > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
        if (hi == r)
            h = (g - b) / d + (g < b ? 6 : 0);
        else if (hi == g)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        h /= 6;
    }
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    auto hue = [&](double t) {
        if (t < 0)
            t += 1;
        if (t > 1)
            t -= 1;
        double v = p;
        if (t < 1.0 / 6)
            v = p + (q - p) * 6 * t;
        else if (t < 0.5)
            v = q;
        else if (t < 2.0 / 3)
            v = p + (q - p) * (2.0 / 3 - t) * 6;
        return std::uint32_t(std::clamp(std::lround(v * 255), 0L, 255L));
    };
    return 0xFF000000u | hue(h + 1.0 / 3) << 16 | hue(h) << 8 | hue(h - 1.0 / 3);
}

TFMXFlatBtn::TFMXFlatBtn(QWidget* AParent) : QWidget(AParent) {
    SetDefaults();
    ApplyFlatBtnType(mtMetroSingle);
}

TFMXFlatBtn* TFMXFlatBtn::CreateParam(QWidget* AParent, TFMXFlatBtnType AFlatBtnType,
                                      const QString& ASVGData, const QString& AText,
                                      TAlphaColor AColor, double AX, double AY,
                                      TNotifyEvent AExecuteL, TNotifyEvent AExecuteR, bool AisDown,
                                      bool AisToggle) {
    auto* btn = new TFMXFlatBtn(AParent);
    btn->ApplyFlatBtnType(AFlatBtnType);
    btn->FSVGData = ASVGData;
    btn->setText(AText);
    btn->FbgColor = AColor; // the dot flag from a colour code in AText stays
    btn->move(int(AX), int(AY));
    btn->FOnExecuteL = std::move(AExecuteL);
    btn->FOnExecuteR = std::move(AExecuteR);
    btn->FisDown = AisDown;
    btn->FisToggle = AisToggle;
    return btn;
}

void TFMXFlatBtn::SetDefaults() {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setContentsMargins(5, 5, 5, 5);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Whatever shows around a pressed tile is the parent's; nothing of the widget's own.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    FTicks = MonotonicTicks;
    InstallFlatBtnAccessibility();
}

void TFMXFlatBtn::ApplyFlatBtnType(TFMXFlatBtnType AValue) {
    const TLook& look = Look(AValue);
    FFlatBtnType = AValue;
    FbgColor = look.Color;
    FPainter = look.Painter;
    resize(look.Double ? FlatBtnHeight * 2 + FlatBtnDoubleExtra : FlatBtnHeight, FlatBtnHeight);
    updateGeometry();
    update();
}

void TFMXFlatBtn::setFlatBtnType(TFMXFlatBtnType AValue) {
    if (AValue != FFlatBtnType)
        ApplyFlatBtnType(AValue);
}

void TFMXFlatBtn::setSVGData(const QString& AValue) {
    if (AValue == FSVGData)
        return;
    FSVGData = AValue;
    update();
}

void TFMXFlatBtn::setText(const QString& AValue) {
    if (AValue == FText)
        return;
    FText = AValue;
    const TAlphaColor c = ParseColorCode(AValue);
    FColorDot = c != FlatBtnColorNone;
    if (FColorDot)
        FbgColor = c;
    // Screen readers and newcomers tell the buttons apart by their captions.
    setAccessibleName(AValue);
    setToolTip(AValue);
}

void TFMXFlatBtn::setIsDown(bool AValue) {
    if (AValue == FisDown)
        return;
    FisDown = AValue;
    if (FisToggle && QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

void TFMXFlatBtn::PerformClick(bool ARightAction) {
    if (!isEnabled())
        return;
    if (FisToggle)
        setIsDown(!FisDown);
    if (ARightAction) {
        if (FOnExecuteR)
            Execute(FOnExecuteR);
    } else if (FOnExecuteL) {
        Execute(FOnExecuteL);
    }
    update();
}

void TFMXFlatBtn::setTickSource(TTickSource ASource) {
    FTicks = ASource ? std::move(ASource) : TTickSource(MonotonicTicks);
}

QSize TFMXFlatBtn::sizeHint() const {
    return {Look(FFlatBtnType).Double ? FlatBtnHeight * 2 + FlatBtnDoubleExtra : FlatBtnHeight,
            FlatBtnHeight};
}

void TFMXFlatBtn::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    canvas.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                          QPainter::SmoothPixmapTransform);
    FPainter(*this, canvas, QRectF(rect()));
}

void TFMXFlatBtn::mousePressEvent(QMouseEvent* AEvent) {
    FTime = FTicks();
    MDown = true;
    AEvent->accept();
    update();
}

void TFMXFlatBtn::mouseReleaseEvent(QMouseEvent* AEvent) {
    // A release whose press happened elsewhere (say, the double click that closed a file
    // dialog above the tool bar) is no click on this button.
    const bool pressedHere = MDown;
    MDown = false;
    AEvent->accept();
    const QPointF p = AEvent->position();
    if (pressedHere && p.x() >= 0 && p.x() < width() && p.y() >= 0 && p.y() < height()) {
        if (FisToggle)
            setIsDown(!FisDown);
        const bool longPress = std::uint32_t(FTicks() - FTime) >= FlatBtnLongPressMs;
        if (FOnExecuteR && (AEvent->button() == Qt::RightButton || longPress))
            Execute(FOnExecuteR);
        else if (FOnExecuteL && AEvent->button() == Qt::LeftButton)
            Execute(FOnExecuteL);
    }
    update();
}

void TFMXFlatBtn::Execute(const TNotifyEvent& AAction) {
    // A command that fails tells the user and stops; an exception must not unwind through Qt's
    // event loop, which cannot carry it.
    try {
        AAction(this);
    } catch (const EVormError& e) {
        ReportCommandError(this, e.message());
    } catch (const std::exception& e) {
        ReportCommandError(this, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportCommandError(this, QStringLiteral("An unexpected error stopped the command."));
    }
}

void TFMXFlatBtn::enterEvent(QEnterEvent*) {
    FisEnter = true;
    update();
}

void TFMXFlatBtn::leaveEvent(QEvent*) {
    FisEnter = false;
    update();
}

void TFMXFlatBtn::changeEvent(QEvent* AEvent) {
    // A disabled button gets no release, which would leave it pressed for good.
    if (AEvent->type() == QEvent::EnabledChange && !isEnabled() && MDown) {
        MDown = false;
        update();
    }
    QWidget::changeEvent(AEvent);
}

void TFMXFlatBtn::hideEvent(QHideEvent* AEvent) {
    // Nor does a hidden one; and the pointer is no longer over it.
    MDown = false;
    FisEnter = false;
    QWidget::hideEvent(AEvent);
}
