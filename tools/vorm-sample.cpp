// Paints VORM's sample picture (a sunset over hills and a lake), so that the README, the
// start-up command and the benchmarks need no third-party image.
//   vorm-sample OUTPUT.png [WIDTH HEIGHT]
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <cstdlib>

QImage MakeSample(int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull())
        return img;
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(W / 640.0, H / 400.0);

    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(24, 38, 92));
    sky.setColorAt(0.55, QColor(214, 96, 120));
    sky.setColorAt(1, QColor(250, 196, 110));
    p.fillRect(QRectF(0, 0, 640, 300), sky);

    QRadialGradient sun(430, 200, 70);
    sun.setColorAt(0, QColor(255, 246, 200));
    sun.setColorAt(0.6, QColor(255, 200, 90));
    sun.setColorAt(1, QColor(255, 160, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(430, 200), 70, 70);

    auto hill = [&](double baseY, double amp, double phase, QColor c) {
        QPainterPath path(QPointF(0, 400));
        for (int x = 0; x <= 640; x += 8)
            path.lineTo(x, baseY - amp * std::sin(x / 90.0 + phase) -
                               amp * 0.4 * std::sin(x / 37.0 + phase));
        path.lineTo(640, 400);
        path.closeSubpath();
        p.setBrush(c);
        p.drawPath(path);
    };
    hill(250, 30, 0.3, QColor(92, 60, 110));
    hill(280, 22, 2.1, QColor(58, 44, 88));

    QLinearGradient lake(0, 290, 0, 400);
    lake.setColorAt(0, QColor(240, 150, 120));
    lake.setColorAt(1, QColor(30, 60, 110));
    p.setBrush(lake);
    p.drawRect(QRectF(0, 300, 640, 100));
    p.setBrush(QColor(255, 230, 170, 150));
    for (int i = 0; i < 6; ++i)
        p.drawRect(QRectF(400 - i * 6, 310 + i * 14, 60 + i * 12, 4));
    return img;
}

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 4) {
        std::fputs("usage: vorm-sample OUTPUT.png [WIDTH HEIGHT]\n", stderr);
        return 2;
    }
    const int W = argc == 4 ? std::atoi(argv[2]) : 640;
    const int H = argc == 4 ? std::atoi(argv[3]) : 400;
    if (W < 1 || H < 1 || W > 20000 || H > 20000) {
        std::fputs("vorm-sample: WIDTH and HEIGHT must be 1 to 20000\n", stderr);
        return 2;
    }
    const QImage img = MakeSample(W, H);
    if (img.isNull() || !img.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "vorm-sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
