// Shared helpers of the UI tests.
#pragma once

#include "theme.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>

// Restores the appearance that a test changes.
class TThemeGuard {
public:
    TThemeGuard() = default;
    TThemeGuard(bool ALight, TAlphaColor AAccent) {
        IsLightTheme = ALight;
        AccentColor = AAccent;
    }
    ~TThemeGuard() {
        IsLightTheme = FLight;
        AccentColor = FAccent;
    }

private:
    bool FLight = IsLightTheme;
    TAlphaColor FAccent = AccentColor;
};

// The widget as it paints itself, on a transparent ground.
inline QImage Render(QWidget& AWidget) {
    QImage img(AWidget.size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    AWidget.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

// Colours as $AARRGGBB, equal within ATolerance per channel.
inline testing::AssertionResult ColorNear(QRgb AActual, TAlphaColor AExpected, int ATolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int((AActual >> shift) & 0xFF), e = int((AExpected >> shift) & 0xFF);
        if (std::abs(a - e) > ATolerance)
            return testing::AssertionFailure()
                   << std::hex << "got #" << AActual << ", expected #" << AExpected;
    }
    return testing::AssertionSuccess();
}
