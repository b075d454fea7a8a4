#include "image_view.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>

namespace {

// Below this many picture pixels a reduction takes a few milliseconds and is made at once.
constexpr qint64 kQuickPixels = qint64(1) << 20;
constexpr int kZoomShownMs = 1200;
constexpr int kWheelStep = 120; // one notch, in eighths of a degree

} // namespace

// TBackgroundView

void TBackgroundView::SetBitmap(const QImage& ABitmap, const QImage& ADevice) {
    FBitmap = ABitmap;
    FDevice = ADevice;
    FAsked = false;
    update();
}

void TBackgroundView::paintEvent(QPaintEvent*) {
    const QImage& shown = FDevice.isNull() ? FBitmap : FDevice;
    if (shown.isNull())
        return;
    QPainter p(this);
    if (!qFuzzyCompare(shown.devicePixelRatio(), devicePixelRatioF())) {
        // Stretched for now; the window draws it again at the new ratio.
        if (!FAsked) {
            FAsked = true;
            QMetaObject::invokeMethod(
                this, [this] { emit DevicePixelRatioChanged(); }, Qt::QueuedConnection);
        }
        p.drawImage(QRectF(rect()), shown);
        return;
    }
    p.drawImage(QPointF(0, 0), shown);
}

// TImageView

TImageView::TImageView(QWidget* AParent) : QWidget(AParent) {
    connect(&FWorker, &QFutureWatcher<TReduction>::finished, this, &TImageView::ReductionDone);
    FZoomLabel = new QLabel(this);
    FZoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
    FZoomLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Readable over any picture and either appearance.
    FZoomLabel->setStyleSheet(
        QStringLiteral("QLabel { background: rgba(0, 0, 0, 170); color: white; border-radius: 6px; "
                       "padding: 6px 12px; font-size: 15px; }"));
    FZoomLabel->hide();
    FZoomLabelTimer.setSingleShot(true);
    FZoomLabelTimer.setInterval(kZoomShownMs);
    connect(&FZoomLabelTimer, &QTimer::timeout, FZoomLabel, &QWidget::hide);
}

void TImageView::SetBitmap(const QImage& ABitmap, bool AFit) {
    FBitmap = ABitmap;
    if (FReduced.Key != FBitmap.cacheKey())
        FReduced = {};
    FGeometry.SetPictureSize(FBitmap.size());
    if (AFit)
        FGeometry.Fit();
    ViewChanged(false);
}

void TImageView::ZoomFit() {
    if (FBitmap.isNull())
        return;
    FGeometry.Fit();
    ViewChanged(true);
}

void TImageView::ZoomIn() {
    ZoomStepAt(1, QPointF(width() / 2.0, height() / 2.0));
}

void TImageView::ZoomOut() {
    ZoomStepAt(-1, QPointF(width() / 2.0, height() / 2.0));
}

void TImageView::ZoomActual() {
    if (FBitmap.isNull())
        return;
    FGeometry.SetZoom(1);
    ViewChanged(true);
}

void TImageView::ZoomStepAt(int ASteps, QPointF APos) {
    if (FBitmap.isNull())
        return;
    FGeometry.ZoomAt(ZoomLevel(FGeometry.Zoom(), ASteps), APos * Ratio());
    ViewChanged(true);
}

void TImageView::PanBy(QPointF ADelta) {
    if (FBitmap.isNull())
        return;
    FGeometry.PanBy(ADelta * Ratio());
    ViewChanged(false);
}

void TImageView::ScrollStep(Qt::ArrowType ADirection) {
    if (FBitmap.isNull())
        return;
    const QSizeF step = FGeometry.ViewSize() / 10;
    QPointF d;
    switch (ADirection) {
    case Qt::LeftArrow:
        d = QPointF(step.width(), 0);
        break;
    case Qt::RightArrow:
        d = QPointF(-step.width(), 0);
        break;
    case Qt::UpArrow:
        d = QPointF(0, step.height());
        break;
    case Qt::DownArrow:
        d = QPointF(0, -step.height());
        break;
    default:
        return;
    }
    FGeometry.PanBy(d);
    ViewChanged(false);
}

QPointF TImageView::MapToPicture(QPointF APos) const {
    return FGeometry.ToPicture(APos * Ratio());
}

QPointF TImageView::MapFromPicture(QPointF APicture) const {
    return FGeometry.ToView(APicture) / Ratio();
}

QString TImageView::ZoomText() const {
    return FZoomLabel->text();
}

QSize TImageView::WantedReduction() const {
    if (FBitmap.isNull() || FGeometry.Zoom() >= 1)
        return {};
    const double z = FGeometry.Zoom();
    const QSize size(std::max(1, int(std::lround(FBitmap.width() * z))),
                     std::max(1, int(std::lround(FBitmap.height() * z))));
    if (size.width() >= FBitmap.width() && size.height() >= FBitmap.height())
        return {};
    return size;
}

bool TImageView::IsReductionPending() const {
    const QSize wanted = WantedReduction();
    const qint64 key = FBitmap.cacheKey();
    return !wanted.isEmpty() && !(FReduced.Key == key && FReduced.Size == wanted) &&
           !(FFailed.Key == key && FFailed.Size == wanted);
}

void TImageView::RequestReduction() {
    if (!IsReductionPending())
        return;
    // One at a time: when the running one ends, ReductionDone asks for what is wanted then.
    if (FWorker.isRunning())
        return;
    const QSize wanted = WantedReduction();
    const qint64 key = FBitmap.cacheKey();
    if (qint64(FBitmap.width()) * FBitmap.height() <= kQuickPixels) {
        FReduced = {key, wanted, Reducer(FBitmap, wanted)};
        return;
    }
    const QImage source = FBitmap; // shared, not copied; the view never changes its bitmap
    const auto reduce = Reducer;
    FWorker.setFuture(QtConcurrent::run([source, wanted, key, reduce] {
        // A failure (no memory for the reduction) must not leave the worker: the future would
        // rethrow it inside a slot. The view then goes on with the picture, smoothly scaled.
        try {
            return TReduction{key, wanted, reduce(source, wanted)};
        } catch (const std::exception&) {
            return TReduction{key, wanted, QImage()};
        }
    }));
}

void TImageView::ReductionDone() {
    TReduction done = FWorker.result();
    if (done.Image.isNull()) // failed: not asked for again until the bitmap or size changes
        FFailed = {done.Key, done.Size, QImage()};
    // A reduction of the present bitmap is better than none while the right one is made.
    else if (done.Key == FBitmap.cacheKey() && IsReductionPending())
        FReduced = std::move(done);
    update();
    if (IsReductionPending())
        RequestReduction();
    else
        emit ReductionFinished();
}

void TImageView::UpdateViewSize() {
    const QSizeF size = QSizeF(this->size()) * Ratio();
    if (size != FGeometry.ViewSize())
        FGeometry.SetViewSize(size);
}

void TImageView::ViewChanged(bool AShowZoom) {
    RequestReduction();
    if (FDragging)
        setCursor(Qt::ClosedHandCursor);
    else if (!FBitmap.isNull() && FGeometry.CanPan())
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
    if (AShowZoom && !FBitmap.isNull()) {
        FZoomLabel->setText(ZoomPercentText(FGeometry.Zoom()));
        FZoomLabel->adjustSize();
        FZoomLabel->move((width() - FZoomLabel->width()) / 2, height() - FZoomLabel->height() - 16);
        FZoomLabel->show();
        FZoomLabel->raise();
        FZoomLabelTimer.start();
    }
    update();
}

void TImageView::paintEvent(QPaintEvent*) {
    if (FBitmap.isNull())
        return;
    UpdateViewSize(); // the window may have moved to a screen of another pixel ratio
    const double r = Ratio();
    QPainter p(this);
    // From here on in device pixels, so that picture pixels meet screen pixels exactly.
    p.setWorldTransform(QTransform::fromScale(1 / r, 1 / r));
    const QPointF exact = FGeometry.ToView(QPointF(0, 0));
    const QPointF origin(std::round(exact.x()), std::round(exact.y()));
    const QSize wanted = WantedReduction();
    if (wanted.isEmpty()) {
        DrawSharp(p, origin);
        return;
    }
    RequestReduction();
    const qint64 key = FBitmap.cacheKey();
    if (FReduced.Key == key && FReduced.Size == wanted) {
        p.drawImage(origin, FReduced.Image);
        return;
    }
    // While the worker makes the reduction: the nearest one at hand, else the picture itself,
    // both smoothly scaled.
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF target(origin, QSizeF(FBitmap.size()) * FGeometry.Zoom());
    p.drawImage(target, FReduced.Key == key ? FReduced.Image : FBitmap);
}

void TImageView::DrawSharp(QPainter& APainter, QPointF AOrigin) {
    // Only the picture pixels in sight, whole ones, each a square of zoom × zoom.
    const double z = FGeometry.Zoom();
    const QSizeF view = FGeometry.ViewSize();
    const int w = FBitmap.width(), h = FBitmap.height();
    const int x0 = std::clamp(int(std::floor(-AOrigin.x() / z)), 0, w);
    const int x1 = std::clamp(int(std::ceil((view.width() - AOrigin.x()) / z)), 0, w);
    const int y0 = std::clamp(int(std::floor(-AOrigin.y() / z)), 0, h);
    const int y1 = std::clamp(int(std::ceil((view.height() - AOrigin.y()) / z)), 0, h);
    if (x1 <= x0 || y1 <= y0)
        return;
    const QRectF source(x0, y0, x1 - x0, y1 - y0);
    const QRectF target(AOrigin.x() + x0 * z, AOrigin.y() + y0 * z, (x1 - x0) * z, (y1 - y0) * z);
    APainter.drawImage(target, FBitmap, source);
}

void TImageView::resizeEvent(QResizeEvent* AEvent) {
    QWidget::resizeEvent(AEvent);
    UpdateViewSize();
    if (FZoomLabel->isVisible())
        FZoomLabel->move((width() - FZoomLabel->width()) / 2, height() - FZoomLabel->height() - 16);
    ViewChanged(false);
}

void TImageView::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton || FBitmap.isNull()) {
        QWidget::mousePressEvent(AEvent);
        return;
    }
    FDragging = true;
    FDragFrom = AEvent->position();
    setCursor(Qt::ClosedHandCursor);
    AEvent->accept();
}

void TImageView::mouseMoveEvent(QMouseEvent* AEvent) {
    if (!FDragging) {
        QWidget::mouseMoveEvent(AEvent);
        return;
    }
    const QPointF at = AEvent->position();
    PanBy(at - FDragFrom);
    FDragFrom = at;
    AEvent->accept();
}

void TImageView::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton || !FDragging) {
        QWidget::mouseReleaseEvent(AEvent);
        return;
    }
    FDragging = false;
    ViewChanged(false);
    AEvent->accept();
}

void TImageView::mouseDoubleClickEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton || FBitmap.isNull()) {
        QWidget::mouseDoubleClickEvent(AEvent);
        return;
    }
    ZoomFit();
    AEvent->accept();
}

void TImageView::wheelEvent(QWheelEvent* AEvent) {
    const int delta = AEvent->angleDelta().y();
    if (FBitmap.isNull() || delta == 0) {
        QWidget::wheelEvent(AEvent);
        return;
    }
    // A turn back drops what the other way had gathered.
    if ((delta > 0) != (FWheel > 0))
        FWheel = 0;
    FWheel += delta;
    const int steps = FWheel / kWheelStep;
    FWheel -= steps * kWheelStep;
    if (steps != 0)
        ZoomStepAt(steps, AEvent->position());
    AEvent->accept();
}
