#include "map_canvas.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor ink(40, 40, 40);
const QColor frameColor(150, 150, 150);
const QColor dotBorder(60, 60, 60);
const QColor barColor(70, 130, 180);
const QColor markerColor(200, 30, 30);
constexpr double margin = 10;

QString hex(const QColor& c) { return c.name(QColor::HexRgb); }

QString esc(QString s) {
    s.replace('&', "&amp;");
    s.replace('<', "&lt;");
    s.replace('>', "&gt;");
    s.replace('"', "&quot;");
    return s;
}

QString num(double v) { return QString::number(v, 'f', 2); }

}  // namespace

// ---- QPainter -----------------------------------------------------------------

PainterCanvas::PainterCanvas(QPainter& p) : p_(p) { p_.setRenderHint(QPainter::Antialiasing, true); }

void PainterCanvas::rect(const QRectF& r, const QColor& fill, const QColor& border) {
    p_.setPen(border.isValid() ? QPen(border, 1) : QPen(Qt::NoPen));
    p_.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    p_.drawRect(r);
}

void PainterCanvas::dots(const std::vector<QPointF>& centres, double radius, const QColor& fill,
                         const QColor& border) {
    if (centres.empty()) return;
    // One dot drawn once into a small picture, then copied to every
    // centre: tens of thousands of locations take milliseconds, where
    // drawing each as a shape takes a second.
    const qreal dpr = p_.device() ? p_.device()->devicePixelRatioF() : 1.0;
    const double half = radius + 1;
    const int side = int(std::ceil(2 * half * dpr));
    QImage sprite(side, side, QImage::Format_ARGB32_Premultiplied);
    sprite.fill(Qt::transparent);
    sprite.setDevicePixelRatio(dpr);
    {
        QPainter sp(&sprite);
        sp.setRenderHint(QPainter::Antialiasing, true);
        const QPointF c(half, half);
        if (fill.isValid()) {
            if (border.isValid()) {
                sp.setPen(Qt::NoPen);
                sp.setBrush(border);
                sp.drawEllipse(c, radius + 0.5, radius + 0.5);
            }
            sp.setBrush(fill);
            sp.drawEllipse(c, radius, radius);
        } else {
            sp.setPen(QPen(border, 1));
            sp.setBrush(Qt::NoBrush);
            sp.drawEllipse(c, radius - 0.5, radius - 0.5);
        }
    }
    for (const QPointF& c : centres) p_.drawImage(QPointF(std::round(c.x() - half), std::round(c.y() - half)), sprite);
}

void PainterCanvas::line(const QPointF& a, const QPointF& b, const QColor& color, double width, bool dashed) {
    p_.setPen(QPen(color, width, dashed ? Qt::DashLine : Qt::SolidLine));
    p_.drawLine(a, b);
}

void PainterCanvas::text(const QRectF& box, const QString& s, const QColor& color, int alignment) {
    p_.setPen(color);
    p_.drawText(box, alignment, s);
}

double PainterCanvas::textWidth(const QString& s) const { return QFontMetricsF(p_.font()).horizontalAdvance(s); }

double PainterCanvas::textHeight() const { return QFontMetricsF(p_.font()).height(); }

void PainterCanvas::clip(const QRectF& r) {
    p_.save();
    p_.setClipRect(r);
}

void PainterCanvas::unclip() { p_.restore(); }

// ---- SVG ------------------------------------------------------------------------

SvgCanvas::SvgCanvas(double width, double height, const QFont& font) : w_(width), h_(height), font_(font) {}

void SvgCanvas::rect(const QRectF& r, const QColor& fill, const QColor& border) {
    body_ += QString("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\" stroke=\"%6\"/>\n")
                 .arg(num(r.x()), num(r.y()), num(r.width()), num(r.height()),
                      fill.isValid() ? hex(fill) : "none", border.isValid() ? hex(border) : "none");
}

void SvgCanvas::dots(const std::vector<QPointF>& centres, double radius, const QColor& fill,
                     const QColor& border) {
    if (centres.empty()) return;
    body_ += QString("<g fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\">\n")
                 .arg(fill.isValid() ? hex(fill) : "none", border.isValid() ? hex(border) : "none",
                      fill.isValid() ? "0.5" : "1");
    const QString r = num(radius);
    for (const QPointF& c : centres)
        body_ += QString("<circle cx=\"%1\" cy=\"%2\" r=\"%3\"/>\n").arg(num(c.x()), num(c.y()), r);
    body_ += "</g>\n";
}

void SvgCanvas::line(const QPointF& a, const QPointF& b, const QColor& color, double width, bool dashed) {
    body_ += QString("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" stroke-width=\"%6\"%7/>\n")
                 .arg(num(a.x()), num(a.y()), num(b.x()), num(b.y()), hex(color), num(width),
                      dashed ? " stroke-dasharray=\"4 3\"" : "");
}

void SvgCanvas::text(const QRectF& box, const QString& s, const QColor& color, int alignment) {
    QString anchor = "start";
    double x = box.left();
    if (alignment & Qt::AlignRight) {
        anchor = "end";
        x = box.right();
    } else if (alignment & Qt::AlignHCenter) {
        anchor = "middle";
        x = box.center().x();
    }
    const QFontMetricsF fm(font_);
    double y = box.top() + fm.ascent();
    if (alignment & Qt::AlignVCenter) y = box.center().y() + (fm.ascent() - fm.descent()) / 2;
    if (alignment & Qt::AlignBottom) y = box.bottom() - fm.descent();
    body_ += QString("<text x=\"%1\" y=\"%2\" fill=\"%3\" text-anchor=\"%4\">%5</text>\n")
                 .arg(num(x), num(y), hex(color), anchor, esc(s));
}

double SvgCanvas::textWidth(const QString& s) const { return QFontMetricsF(font_).horizontalAdvance(s); }

double SvgCanvas::textHeight() const { return QFontMetricsF(font_).height(); }

void SvgCanvas::clip(const QRectF& r) {
    if (clipped_) unclip();
    ++clips_;
    body_ += QString("<clipPath id=\"clip%1\"><rect x=\"%2\" y=\"%3\" width=\"%4\" height=\"%5\"/></clipPath>\n"
                     "<g clip-path=\"url(#clip%1)\">\n")
                 .arg(clips_)
                 .arg(num(r.x()), num(r.y()), num(r.width()), num(r.height()));
    clipped_ = true;
}

void SvgCanvas::unclip() {
    if (!clipped_) return;
    body_ += "</g>\n";
    clipped_ = false;
}

QString SvgCanvas::svg() const {
    QString head = QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                           "viewBox=\"0 0 %1 %2\" font-family=\"%3\" font-size=\"%4\">\n")
                       .arg(num(w_), num(h_), esc(font_.family()), num(QFontMetricsF(font_).height() * 0.8));
    return head + body_ + (clipped_ ? "</g>\n" : "") + "</svg>\n";
}

// ---- The map ----------------------------------------------------------------------

MapLayout layout_map(const Canvas& c, const MapModel& m, const QSizeF& size, const QString& title) {
    MapLayout lay;
    const std::vector<LegendEntry> entries = m.legend();
    const double lineH = c.textHeight() + 4;
    const double swatch = std::min(14.0, lineH - 2);
    double textW = c.textWidth(title);
    for (const LegendEntry& e : entries) textW = std::max(textW, swatch + 6 + c.textWidth(e.label));
    const double legendW = std::min(std::max(textW + 2 * margin, 120.0), size.width() * 0.45);
    lay.legend = QRectF(size.width() - legendW - margin, margin, legendW, (entries.size() + 1) * lineH + 2 * margin);
    lay.title = QRectF(lay.legend.left() + margin, lay.legend.top() + margin, legendW - 2 * margin, lineH);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const double y = lay.title.bottom() + k * lineH;
        lay.swatches.push_back(QRectF(lay.title.left(), y + (lineH - swatch) / 2, swatch, swatch));
        lay.labels.push_back(QRectF(lay.title.left() + swatch + 6, y, legendW - 2 * margin - swatch - 6, lineH));
    }
    lay.plot = QRectF(margin, margin, std::max(10.0, lay.legend.left() - 2 * margin), std::max(10.0, size.height() - 2 * margin));
    const int n = m.count();
    lay.radius = n < 500 ? 5.0 : n < 2000 ? 4.0 : n < 20000 ? 3.0 : 2.0;
    return lay;
}

MapLayout render_map(Canvas& c, const MapModel& m, MapFrame& frame, const QSizeF& size, const QString& title,
                     double aspect) {
    const MapLayout lay = layout_map(c, m, size, title);
    c.rect(QRectF(QPointF(0, 0), size), Qt::white, QColor());
    // Room for half a dot around the extent.
    frame.fit(m.bounds(), lay.plot.adjusted(lay.radius + 2, lay.radius + 2, -lay.radius - 2, -lay.radius - 2), aspect);

    // Points: without a value, greyed by the mask, then class by class, so
    // that the coloured ones lie on top.
    const int classes = m.classes();
    std::vector<std::vector<QPointF>> byClass(classes);
    std::vector<QPointF> grey, hollow;
    const QRectF visible = lay.plot.adjusted(-lay.radius, -lay.radius, lay.radius, lay.radius);
    for (int i = 0; i < m.count(); ++i) {
        if (!std::isfinite(m.x(i)) || !std::isfinite(m.y(i))) continue;
        const QPointF p = frame.toScreen(m.x(i), m.y(i));
        if (!visible.contains(p)) continue;
        const int k = m.classOf(i);
        if (k < 0)
            hollow.push_back(p);
        else if (m.masked(i))
            grey.push_back(p);
        else
            byClass[k].push_back(p);
    }
    c.clip(lay.plot);
    c.dots(hollow, lay.radius, QColor(), missing_color());
    c.dots(grey, lay.radius, masked_color(), QColor());
    for (int k = 0; k < classes; ++k) c.dots(byClass[k], lay.radius, m.classColors()[k], dotBorder);
    c.unclip();
    c.rect(lay.plot, QColor(), frameColor);

    // Legend.
    c.rect(lay.legend, QColor(255, 255, 255), frameColor);
    c.text(lay.title, title, ink, Qt::AlignLeft | Qt::AlignVCenter);
    const std::vector<LegendEntry> entries = m.legend();
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const LegendEntry& e = entries[k];
        if (e.hollow)
            c.rect(lay.swatches[k].adjusted(1, 1, -1, -1), QColor(), e.color);
        else
            c.rect(lay.swatches[k], e.color, dotBorder);
        c.text(lay.labels[k], e.label, ink, Qt::AlignLeft | Qt::AlignVCenter);
    }
    return lay;
}

// ---- The histogram ------------------------------------------------------------------

double histogram_x(const Histogram& h, const QRectF& plot, double v) {
    const double lo = h.edges.front(), hi = h.edges.back();
    return plot.left() + (v - lo) / (hi - lo) * plot.width();
}

QRectF render_histogram(Canvas& c, const Histogram& h, const QSizeF& size, const QString& title, double marker,
                        const QString& markerLabel) {
    c.rect(QRectF(QPointF(0, 0), size), Qt::white, QColor());
    const double th = c.textHeight();
    const int top = h.maxCount();
    const double axisW = c.textWidth(QString::number(std::max(top, 10))) + 8;
    const QRectF plot(margin + axisW, margin + 2 * th + 6, std::max(10.0, size.width() - 2 * margin - axisW - 10),
                      std::max(10.0, size.height() - 2 * margin - 3 * th - 14));
    c.text(QRectF(margin, margin, size.width() - 2 * margin, th), title, ink, Qt::AlignHCenter | Qt::AlignVCenter);
    if (h.counts.empty() || top == 0) {
        c.text(plot, "no values", ink, Qt::AlignCenter);
        return plot;
    }
    // Bars.
    for (std::size_t k = 0; k < h.counts.size(); ++k) {
        const double x0 = histogram_x(h, plot, h.edges[k]), x1 = histogram_x(h, plot, h.edges[k + 1]);
        const double bh = plot.height() * h.counts[k] / top;
        if (h.counts[k] > 0) c.rect(QRectF(x0, plot.bottom() - bh, x1 - x0, bh), barColor, Qt::white);
    }
    // Axes: counts on the left, values below.
    c.line(plot.bottomLeft(), plot.bottomRight(), ink, 1, false);
    c.line(plot.bottomLeft(), plot.topLeft(), ink, 1, false);
    for (int v : {0, top / 2, top}) {
        const double y = plot.bottom() - plot.height() * v / top;
        c.line(QPointF(plot.left() - 4, y), QPointF(plot.left(), y), ink, 1, false);
        c.text(QRectF(margin, y - th / 2, axisW - 6, th), QString::number(v), ink, Qt::AlignRight | Qt::AlignVCenter);
    }
    const int ticks = 5;
    for (int k = 0; k < ticks; ++k) {
        const double v = h.edges.front() + (h.edges.back() - h.edges.front()) * k / (ticks - 1);
        const double x = histogram_x(h, plot, v);
        c.line(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4), ink, 1, false);
        const QString label = short_number(v);
        const double w = c.textWidth(label) + 4;
        const double left = std::clamp(x - w / 2, 0.0, std::max(0.0, size.width() - w));
        c.text(QRectF(left, plot.bottom() + 5, w, th), label, ink, Qt::AlignHCenter | Qt::AlignTop);
    }
    // The marker, with its label above the plot.
    if (std::isfinite(marker)) {
        const double x = histogram_x(h, plot, marker);
        c.line(QPointF(x, plot.top() - 2), QPointF(x, plot.bottom()), markerColor, 2, true);
        const double w = c.textWidth(markerLabel) + 4;
        const double left = std::clamp(x - w / 2, 0.0, std::max(0.0, size.width() - w));
        c.text(QRectF(left, plot.top() - th - 4, w, th), markerLabel, markerColor, Qt::AlignHCenter | Qt::AlignVCenter);
    }
    return plot;
}
