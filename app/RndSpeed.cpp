#include "app/RndSpeed.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

TRndSpeedButton::TRndSpeedButton(QWidget* owner)
    : QWidget(owner)
    , FColor(palette().color(QPalette::Button))
{
    resize(25, 25);
}

TRndSpeedButton::~TRndSpeedButton() = default;

void TRndSpeedButton::SetColor(const QColor& value)
{
    if (value == FColor)
        return;
    FColor = value;
    update();
}

void TRndSpeedButton::SetGlyph(const QImage& bitmap)
{
    // Where the given picture is smaller than the button, the rest takes its
    // transparent colour, so it shows the face rather than black.
    QImage cut(width(), height(), QImage::Format_RGB32);
    cut.fill(bitmap.isNull() ? Qt::black : bitmap.pixelColor(0, 0));
    QPainter painter(&cut);
    painter.drawImage(QPoint(0, 0), bitmap, QRect(0, 0, width(), height()));
    painter.end();
    FGlyph = cut;
    update();
}

bool TRndSpeedButton::InsideEllipse(int x, int y) const
{
    return QRegion(rect(), QRegion::Ellipse).contains(QPoint(x, y));
}

QRect TRndSpeedButton::glyphRect() const
{
    const int left = width() / 2 - FGlyph.width() / 2 + 2;
    const int top = height() / 2 - FGlyph.height() / 2 + 2;
    return { left, top, FGlyph.width(), FGlyph.height() };
}

void TRndSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setBrush(FColor);
    painter.setPen(FColor);
    painter.drawEllipse(QRect(0, 0, width() - 1, height() - 1));

    if (!FGlyph.isNull()) {
        const QRect target = IsUp ? glyphRect() : glyphRect().translated(1, 1);
        DrawTransparentBitmap(painter, target, FGlyph, FGlyph.pixelColor(0, 0), FGlyph.rect());
    }
    drawRim(painter);
}

void TRndSpeedButton::drawRim(QPainter& painter) const
{
    // Angles in sixteenths of a degree, counter-clockwise from three o'clock:
    // the upper-left half runs from 45 to 225 degrees, the lower-right half
    // from 225 to 405.
    constexpr int upperLeft = 45 * 16;
    constexpr int lowerRight = 225 * 16;
    constexpr int half = 180 * 16;
    const QRect outer(0, 0, width() - 1, height() - 1);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const QColor shadow = palette().color(QPalette::Dark);
    painter.setBrush(Qt::NoBrush);

    const QColor light = Qt::white;
    const QColor dark = Qt::black;
    painter.setPen(IsUp ? light : dark);
    painter.drawArc(outer, upperLeft, half);
    painter.setPen(IsUp ? dark : light);
    painter.drawArc(outer, lowerRight, half);
    painter.setPen(shadow);
    painter.drawArc(inner, IsUp ? lowerRight : upperLeft, half);
}

void TRndSpeedButton::mousePressEvent(QMouseEvent* event)
{
    press(event);
}

void TRndSpeedButton::press(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (!InsideEllipse(at.x(), at.y()))
        return;
    IsUp = false;
    update();
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
}

void TRndSpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasUp = IsUp;
    IsUp = true;
    update();
    const QPoint at = event->position().toPoint();
    if (!InsideEllipse(at.x(), at.y()))
        return;
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
    if (!wasUp && OnClick)
        OnClick(this);
}

void TRndSpeedButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (!InsideEllipse(at.x(), at.y()))
        return;
    // Repaints are deferred, so the user keeps seeing the raised face.
    IsUp = false;
    update();
    IsUp = true;
    update();
    if (OnDblClick)
        OnDblClick(this);
    // The second click of a double click arrives here instead of as a press.
    press(event);
}

void DrawTransparentBitmap(
    QPainter& canvas, const QRect& dest, const QImage& bitmap, const QColor& transparent, const QRect& sourceRect)
{
    if (bitmap.isNull())
        return;
    QImage part = bitmap.copy(sourceRect).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent.rgb();
    const QRgb face = canvas.brush().color().rgb();
    for (int y = 0; y < part.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            if ((line[x] & RGB_MASK) == (key & RGB_MASK))
                line[x] = face;
        }
    }
    canvas.drawImage(dest.topLeft(), part, QRect(0, 0, dest.width(), dest.height()));
}
