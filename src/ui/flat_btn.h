// The flat tool-bar button: 60 units high, square or double width, painting a vector icon, an
// optional caption in its bottom-left corner and a colour in one of four designs (Metro tile,
// Fluent, Windows 11, iOS). A left click runs the left action; a right click, or a press held
// for two seconds or more, runs the right action when there is one. It takes no keyboard focus;
// screen readers see a push button named by its caption and described by its tooltip, whose
// press action runs what a click runs (flat_btn_accessible.cpp).
#pragma once

#include "theme.h"

#include <QWidget>
#include <cstdint>
#include <functional>

class QPainter;

enum TFMXFlatBtnType : std::uint8_t {
    mtMetroSingle,
    mtMetroDouble,
    mtFluentSingle,
    mtFluentDouble,
    mtWin11Single,
    mtWin11Double,
    mtiOSSingle,
    mtiOSDouble,
};

// A button action; called with the button as sender. An empty function counts as unassigned.
// What an action throws is shown to the user (ReportCommandError) and goes no further.
using TNotifyEvent = std::function<void(QObject* Sender)>;

constexpr TAlphaColor FlatBtnColorNone = 0x00FFFFFF;    // ParseColorCode: not a colour code
constexpr TAlphaColor FlatBtnColorRainbow = 0x00000001; // paints the rainbow swatch
constexpr TAlphaColor FlatBtnColorOrange = 0xFFF09609;
constexpr int FlatBtnHeight = 60;
constexpr int FlatBtnDoubleExtra = 10; // double width = height × 2 + 10
constexpr std::uint32_t FlatBtnLongPressMs = 2000;

// The colour a look starts with.
TAlphaColor FlatBtnTypeColor(TFMXFlatBtnType AType);

// The check mark drawn on a swatch that is down.
extern const char* const FlatBtnCheckMark;

// "#RRGGBB" (made opaque) or "#AARRGGBB"; anything else, and "#FFFFFFFF", gives
// FlatBtnColorNone.
TAlphaColor ParseColorCode(const QString& AText);

// 0.298912 R + 0.586611 G + 0.114478 B, 0..255; below 127.5 a colour takes white ink.
double Luminance(TAlphaColor AColor);
// Each channel × 0.9, rounded half to even; opaque.
TAlphaColor Darken90(TAlphaColor AColor);
// The colour with its HSL lightness limited to 0.4 (light appearance) or raised to 0.6 (dark),
// so that it reads on the button surface; unchanged, alpha included, when already so.
TAlphaColor ContrastAdjust(TAlphaColor AColor, bool ALightTheme = IsLightTheme);

class TFMXFlatBtn : public QWidget {
    Q_OBJECT

public:
    // A Metro single button with no parent, icon, caption or actions.
    explicit TFMXFlatBtn(QWidget* AParent = nullptr);

    // A button made ready for a tool bar, owned by AParent. AColor replaces the look's colour and
    // any colour code in AText. The position is truncated to whole units.
    static TFMXFlatBtn* CreateParam(QWidget* AParent, TFMXFlatBtnType AFlatBtnType,
                                    const QString& ASVGData, const QString& AText,
                                    TAlphaColor AColor, double AX, double AY,
                                    TNotifyEvent AExecuteL, TNotifyEvent AExecuteR, bool AisDown,
                                    bool AisToggle);

    // Another look also resets the size and the colour to that look's.
    TFMXFlatBtnType FlatBtnType() const { return FFlatBtnType; }
    void setFlatBtnType(TFMXFlatBtnType AValue);

    // Writers marked "no repaint" leave the change to show at the next repaint.
    TAlphaColor Color() const { return FbgColor; }
    void setColor(TAlphaColor AValue) { FbgColor = AValue; } // no repaint

    const QString& SVGData() const { return FSVGData; }
    void setSVGData(const QString& AValue);

    // A colour code sets the colour and the colour dot; any caption starting with "#" shows the
    // button as a colour swatch. Also the button's accessible name and tooltip. No repaint.
    const QString& Text() const { return FText; }
    void setText(const QString& AValue);

    bool isDown() const { return FisDown; }
    void setIsDown(bool AValue);

    bool isToggle() const { return FisToggle; }
    void setIsToggle(bool AValue) { FisToggle = AValue; }

    bool isColorDot() const { return FColorDot; }
    void setIsColorDot(bool AValue) { FColorDot = AValue; } // no repaint

    // OnExecute and OnExecuteL are one action under two names.
    const TNotifyEvent& OnExecute() const { return FOnExecuteL; }
    void setOnExecute(TNotifyEvent AValue) { FOnExecuteL = std::move(AValue); }
    const TNotifyEvent& OnExecuteL() const { return FOnExecuteL; }
    void setOnExecuteL(TNotifyEvent AValue) { FOnExecuteL = std::move(AValue); }
    const TNotifyEvent& OnExecuteR() const { return FOnExecuteR; }
    void setOnExecuteR(TNotifyEvent AValue) { FOnExecuteR = std::move(AValue); }

    // What the painters read besides the properties.
    bool isEnter() const { return FisEnter; }
    bool isPressed() const { return MDown; }
    bool isSwatch() const { return FText.startsWith(u'#'); }

    // What a click does, without the mouse: flips a toggle's down state and runs the left action,
    // or the right one when ARightAction (a right click or a long press). Nothing while the
    // button is disabled. The accessible press action runs this.
    void PerformClick(bool ARightAction = false);

    // The millisecond clock that times a long press; a monotonic one unless replaced (tests).
    using TTickSource = std::function<std::uint32_t()>;
    void setTickSource(TTickSource ASource);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void enterEvent(QEnterEvent* AEvent) override;
    void leaveEvent(QEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    void hideEvent(QHideEvent* AEvent) override;

private:
    using TPainter = void (*)(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect);

    void SetDefaults();
    void Execute(const TNotifyEvent& AAction);
    void ApplyFlatBtnType(TFMXFlatBtnType AValue);

    TFMXFlatBtnType FFlatBtnType = mtMetroSingle;
    TAlphaColor FbgColor = 0;
    QString FSVGData;
    QString FText;
    std::uint32_t FTime = 0;
    TNotifyEvent FOnExecuteL;
    TNotifyEvent FOnExecuteR;
    bool FisToggle = false;
    bool FisEnter = false;
    bool MDown = false;
    bool FisDown = false;
    bool FColorDot = false;
    TPainter FPainter = nullptr;
    TTickSource FTicks;
};

// The four designs; each draws only through the canvas and changes nothing in the button.
void PaintMetro(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect);
void PaintFluent(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect);
void PaintWin11(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect);
void PaintiOS(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect);

// Fills the icon, a path in the unit square, as a square of side (1 − 2 × AInset) × height,
// centred horizontally and AInset × height below the top. Unreadable data draws nothing.
void PaintIcon(const QString& ASVGData, double AInset, QPainter& ACanvas, const QRectF& ARect,
               const QColor& AInk);
// The caption in the bottom-left corner, wrapping upwards.
void PaintCaption(const TFMXFlatBtn& ASender, QPainter& ACanvas, const QRectF& ARect, bool AShrink,
                  const QColor& AInk);
// Seven diagonal stripes, darkened while hovered, inset while pressed.
void PaintRainbow(bool AHovered, bool APressed, QPainter& ACanvas, const QRectF& ARect);
// A tile with 4-unit round corners and a 1-unit outline at full opacity.
void RoundedTile(QPainter& ACanvas, const QRectF& ARect, const QColor& AColor, double AOpacity);
