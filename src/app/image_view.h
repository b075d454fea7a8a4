// The picture area: the background drawn behind the picture, and the picture itself, fitted at
// first and then zoomed and panned by the user.
#pragma once

#include "view_scale.h"

#include <QFutureWatcher>
#include <QImage>
#include <QTimer>
#include <QWidget>

class QLabel;

// The background behind the picture. Its bitmap is one pixel per unit; a copy drawn at the
// screen's device pixel ratio, when it has one, is what shows, so that a scaled screen gets
// sharp squares.
class TBackgroundView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    const QImage& Bitmap() const { return FBitmap; }
    // ADevice is the same background at a device pixel ratio (its own) other than 1.
    void SetBitmap(const QImage& ABitmap, const QImage& ADevice = {});

signals:
    // The window moved to a screen of another pixel ratio: the background is due again.
    void DevicePixelRatioChanged();

protected:
    void paintEvent(QPaintEvent* AEvent) override;

private:
    QImage FBitmap;
    QImage FDevice;
    bool FAsked = false;
};

// The picture or its mosaic. At first, and after ZoomFit, it is scaled up or down to fit with
// its proportions kept and centred. The wheel zooms about the pointer, a left drag pans, a
// double click fits again. Below 100 % it shows an area-averaged reduction, made once for each
// bitmap and size (by a worker for a large picture); from 100 % up every picture pixel is a
// sharp square.
class TImageView : public QWidget {
    Q_OBJECT
public:
    explicit TImageView(QWidget* AParent = nullptr);

    const QImage& Bitmap() const { return FBitmap; }
    // A bitmap of the size shown keeps zoom and visible region (a mosaic replacing its
    // picture); another size, or AFit, shows it fitted.
    void SetBitmap(const QImage& ABitmap, bool AFit = false);

    void ZoomFit();
    void ZoomIn();
    void ZoomOut();
    // One picture pixel on one screen pixel, about the centre.
    void ZoomActual();
    // ASteps zoom levels about APos (widget coordinates); negative steps zoom out.
    void ZoomStepAt(int ASteps, QPointF APos);
    // Moves the picture by ADelta units, as a drag does.
    void PanBy(QPointF ADelta);
    // A tenth of the view in the arrow's direction: the picture moves the other way.
    void ScrollStep(Qt::ArrowType ADirection);

    // Device pixels per picture pixel: 1 is 100 %.
    double Zoom() const { return FGeometry.Zoom(); }
    bool IsFit() const { return FGeometry.IsFit(); }
    // The picture point at the centre of the view.
    QPointF Centre() const { return FGeometry.Centre(); }
    QPointF MapToPicture(QPointF APos) const;
    QPointF MapFromPicture(QPointF APicture) const;
    const TViewGeometry& Geometry() const { return FGeometry; }
    // The zoom as last shown over the picture, such as "100 %"; empty before the first zoom.
    QString ZoomText() const;

    // Whether the reduction the view needs is still being made; ReductionFinished follows.
    bool IsReductionPending() const;

    // What makes the reductions: ReduceAreaAverage. Tests put a failing one in its place.
    using TReducer = QImage (*)(const QImage&, QSize);
    static inline TReducer Reducer = ReduceAreaAverage;

signals:
    void ReductionFinished();

protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void resizeEvent(QResizeEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
    void wheelEvent(QWheelEvent* AEvent) override;

private:
    struct TReduction {
        qint64 Key = 0; // of the bitmap it was made from
        QSize Size;
        QImage Image;
    };

    double Ratio() const { return devicePixelRatioF(); }
    void UpdateViewSize();
    // After every change of zoom or position.
    void ViewChanged(bool AShowZoom);
    // The reduction the present zoom needs; empty from 100 % up.
    QSize WantedReduction() const;
    // Makes the wanted reduction now when it is cheap, else has the worker make it.
    void RequestReduction();
    void ReductionDone();
    void DrawSharp(QPainter& APainter, QPointF AOrigin);

    QImage FBitmap;
    TViewGeometry FGeometry;
    TReduction FReduced; // the latest of the present bitmap, of whatever size
    TReduction FFailed;  // the key and size of a reduction that failed, never its image
    QFutureWatcher<TReduction> FWorker;
    QSize FWorkerSize;
    qint64 FWorkerKey = 0;
    bool FDragging = false;
    QPointF FDragFrom;
    int FWheel = 0; // wheel turn not yet spent on a zoom step, in eighths of a degree
    QLabel* FZoomLabel = nullptr;
    QTimer FZoomLabelTimer;
};
