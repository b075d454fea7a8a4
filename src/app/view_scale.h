// The picture view's arithmetic, apart from any widget: where the picture lies at a zoom, the
// zoom levels the keys and the wheel step through, and the area-averaged reduction that shows a
// picture below 100 % without aliasing.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

// The picture in the view. Lengths on the view side are device pixels; the zoom is device pixels
// per picture pixel, so 1 shows every picture pixel on one screen pixel.
class TViewGeometry {
public:
    static constexpr double kMaxZoom = 64; // 6400 %

    QSize PictureSize() const { return FPicture; }
    QSizeF ViewSize() const { return FView; }
    double Zoom() const { return FZoom; }
    bool IsFit() const { return FFit; }
    // The picture point at the centre of the view.
    QPointF Centre() const { return FCentre; }

    // A picture of another size is shown fitted; the same size keeps zoom and centre.
    void SetPictureSize(QSize ASize);
    // Keeps the picture point at the centre, and the fit while fitted.
    void SetViewSize(QSizeF ASize);

    // The whole picture, proportions kept, centred; it follows the view's size until the next
    // zoom or pan.
    void Fit();
    // Zooms so that the picture point under AAt (in the view) stays there, as far as the limits
    // of panning allow. The zoom is held within MinZoom() and kMaxZoom.
    void ZoomAt(double AZoom, QPointF AAt);
    // The same about the centre of the view.
    void SetZoom(double AZoom);
    // Moves the picture by ADelta; it stops where it would uncover the view.
    void PanBy(QPointF ADelta);

    double FitZoom() const;
    // A quarter of the fit, or of 100 % when the fit is larger.
    double MinZoom() const;
    // Whether a pan can move the picture: it is larger than the view in some direction.
    bool CanPan() const;

    QPointF ToPicture(QPointF AView) const;
    QPointF ToView(QPointF APicture) const;
    // The whole picture in view coordinates.
    QRectF PictureRect() const;

private:
    // A picture larger than the view covers it; a smaller one is centred.
    void Clamp();

    QSize FPicture;
    QSizeF FView;
    double FZoom = 1;
    QPointF FCentre;
    bool FFit = true;
};

// The zoom ASteps levels above AZoom (below it for negative steps) on the ladder 2^k, 1.5 × 2^k:
// … 25 %, 37.5 %, 50 %, 75 %, 100 %, 150 %, 200 %, 300 % … A zoom between two levels takes the
// next one in the chosen direction.
double ZoomLevel(double AZoom, int ASteps);

// The zoom as the view shows it for a moment: "100 %", "67 %", "6.3 %".
QString ZoomPercentText(double AZoom);

// The picture reduced to ASize (not larger than the picture) by area averaging: every pixel is
// the mean of the picture area it covers, counting partly covered pixels by their share, in
// premultiplied colour. The result is premultiplied ARGB.
QImage ReduceAreaAverage(const QImage& ASource, QSize ASize);
