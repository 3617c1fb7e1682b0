#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

class QPainter;

// A small round push button: an ellipse with a 3-D rim and a centred glyph.
// It reacts only to presses and releases inside the ellipse and raises its
// own events rather than the generic widget signals.
class TRndSpeedButton : public QWidget
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TMouseEvent
        = std::function<void(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;

    explicit TRndSpeedButton(QWidget* owner = nullptr);
    ~TRndSpeedButton() override;

    bool IsUp = true;

    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);

    const QImage& Glyph() const { return FGlyph; }
    // Keeps a copy cut to the button's current size; the caller keeps its image.
    void SetGlyph(const QImage& bitmap);

    // Whether (x, y), in the button's own coordinates, lies inside its ellipse.
    bool InsideEllipse(int x, int y) const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void press(QMouseEvent* event);
    QRect glyphRect() const;
    void drawRim(QPainter& painter) const;

    QColor FColor;
    QImage FGlyph;
};

// Draws `source` (part `sourceRect`) of the bitmap at the top-left of `dest`,
// unscaled, with every pixel of colour `transparent` taking the painter's
// brush colour instead.
void DrawTransparentBitmap(
    QPainter& canvas, const QRect& dest, const QImage& bitmap, const QColor& transparent, const QRect& sourceRect);
