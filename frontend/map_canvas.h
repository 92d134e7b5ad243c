// Drawing of the results window's map and histogram on a canvas: the screen
// or an image through QPainter, or the text of an SVG file.  Tests render
// both offscreen and look at the pixels or the elements.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

#include "map_model.h"

class QPainter;

class Canvas {
public:
    virtual ~Canvas() = default;
    // An invalid colour draws nothing (no fill, or no border).
    virtual void rect(const QRectF& r, const QColor& fill, const QColor& border) = 0;
    // Round dots of one colour; `border` outlines each.
    virtual void dots(const std::vector<QPointF>& centres, double radius, const QColor& fill,
                      const QColor& border) = 0;
    virtual void line(const QPointF& a, const QPointF& b, const QColor& color, double width, bool dashed) = 0;
    virtual void text(const QRectF& box, const QString& s, const QColor& color, int alignment) = 0;
    virtual double textWidth(const QString& s) const = 0;
    virtual double textHeight() const = 0;
    // Limits the drawing to `r` until unclip().
    virtual void clip(const QRectF& r) = 0;
    virtual void unclip() = 0;
};

class PainterCanvas : public Canvas {
public:
    explicit PainterCanvas(QPainter& p);
    void rect(const QRectF& r, const QColor& fill, const QColor& border) override;
    void dots(const std::vector<QPointF>& centres, double radius, const QColor& fill, const QColor& border) override;
    void line(const QPointF& a, const QPointF& b, const QColor& color, double width, bool dashed) override;
    void text(const QRectF& box, const QString& s, const QColor& color, int alignment) override;
    double textWidth(const QString& s) const override;
    double textHeight() const override;
    void clip(const QRectF& r) override;
    void unclip() override;

private:
    QPainter& p_;
};

// Collects the drawing as SVG elements; svg() gives the whole document.
class SvgCanvas : public Canvas {
public:
    SvgCanvas(double width, double height, const QFont& font);
    void rect(const QRectF& r, const QColor& fill, const QColor& border) override;
    void dots(const std::vector<QPointF>& centres, double radius, const QColor& fill, const QColor& border) override;
    void line(const QPointF& a, const QPointF& b, const QColor& color, double width, bool dashed) override;
    void text(const QRectF& box, const QString& s, const QColor& color, int alignment) override;
    double textWidth(const QString& s) const override;
    double textHeight() const override;
    void clip(const QRectF& r) override;
    void unclip() override;
    QString svg() const;

private:
    double w_, h_;
    QFont font_;
    QString body_;
    int clips_ = 0;
    bool clipped_ = false;
};

// Where the parts of the map go in a picture of `size`: the plot of the
// points on the left, the legend on the right with one swatch per entry of
// the model's legend, in its order from the top.
struct MapLayout {
    QRectF plot;
    QRectF legend;
    QRectF title;
    std::vector<QRectF> swatches;
    std::vector<QRectF> labels;
    double radius = 3.0;  // of the dots
};
MapLayout layout_map(const Canvas& c, const MapModel& m, const QSizeF& size, const QString& title);

// Draws the map: fits `frame` to the layout's plot (keeping its zoom and
// shift), then the points, the mask and the legend.  `aspect` as for
// MapFrame::fit.
MapLayout render_map(Canvas& c, const MapModel& m, MapFrame& frame, const QSizeF& size, const QString& title,
                     double aspect);

// Draws the histogram with a dashed line at `marker` (when it is a number)
// labelled `markerLabel`.  Returns the plot rectangle of the bars.
QRectF render_histogram(Canvas& c, const Histogram& h, const QSizeF& size, const QString& title, double marker,
                        const QString& markerLabel);

// The x pixel of value v on a histogram plot.
double histogram_x(const Histogram& h, const QRectF& plot, double v);
