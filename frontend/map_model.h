// What the results window draws, apart from the drawing: the classes of a
// mapped column and their colours, the points greyed out by the t mask, the
// projection of the coordinates onto the screen, and the bins of the
// histogram.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

enum class Classing { Quantiles, EqualIntervals };

// Colour ramps.  diverging(u), u in [-1, 1]: blue through a light grey at 0
// to red; sequential(u), u in [0, 1]: light yellow through green to dark
// blue.
QColor diverging_color(double u);
QColor sequential_color(double u);

// The grey of a point whose |t| is below the critical value, and the
// outline of a point without a value.
inline QColor masked_color() { return QColor(200, 200, 200); }
inline QColor missing_color() { return QColor(120, 120, 120); }

struct LegendEntry {
    QColor color;
    QString label;
    bool hollow = false;  // drawn as an outline: the points without a value
};

class MapModel {
public:
    // The points and the values that colour them (NaN: no value).  `t` holds
    // the t values that decide the mask (empty: no mask possible).
    void setData(std::vector<double> x, std::vector<double> y, std::vector<double> values, std::vector<double> t,
                 bool divergent);
    void setClassing(Classing how, int classes);
    // Greys out the points whose |t| is below `critical` while `on`.
    void setMask(bool on, double critical);

    int count() const { return int(x_.size()); }
    double x(int i) const { return x_[i]; }
    double y(int i) const { return y_[i]; }
    double value(int i) const { return v_[i]; }
    double tvalue(int i) const { return i < int(t_.size()) ? t_[i] : 0.0; }
    bool canMask() const { return !t_.empty(); }
    bool masking() const { return mask_ && canMask(); }
    double critical() const { return critical_; }
    bool divergent() const { return divergent_; }

    // Class edges, ascending: class k holds the values from edge k up to
    // (but without) edge k + 1, the last class also its upper edge.  Fewer
    // classes than asked for when values repeat.
    const std::vector<double>& breaks() const { return breaks_; }
    int classes() const { return int(colors_.size()); }
    const std::vector<QColor>& classColors() const { return colors_; }
    // The class of point i; -1 for a point without a value.
    int classOf(int i) const { return cls_[i]; }
    bool masked(int i) const;
    int maskedCount() const;
    int missingCount() const;
    // The colour point i is drawn in (for a point without a value: none).
    QColor colorOf(int i) const;
    // The legend: the classes from the lowest to the highest, then the grey
    // of the mask when it is on and points are greyed, then "no value"
    // when some point has none.
    std::vector<LegendEntry> legend() const;
    // The extent of the points with coordinates, and the mean of their y.
    QRectF bounds() const { return bounds_; }
    double meanY() const { return meanY_; }

private:
    void classify();
    std::vector<double> x_, y_, v_, t_;
    bool divergent_ = false;
    Classing how_ = Classing::Quantiles;
    int asked_ = 5;
    bool mask_ = false;
    double critical_ = 1.96;
    std::vector<double> breaks_;
    std::vector<QColor> colors_;
    std::vector<int> cls_;
    QRectF bounds_;
    double meanY_ = 0;
};

// Text of a number for legends and labels: 4 significant digits.
QString short_number(double v);

// Places data coordinates on the screen: the extent of the points fills the
// plot rectangle, x stretched by `aspect` (the cosine of the mean latitude
// for longitude and latitude, else 1), then zoomed about and shifted by the
// user's wheel and drags.
class MapFrame {
public:
    void fit(const QRectF& data, const QRectF& plot, double aspect);
    QPointF toScreen(double x, double y) const;
    QPointF toData(const QPointF& p) const;
    // Zooms by `factor` keeping the point under `at` in place.
    void zoomAt(const QPointF& at, double factor);
    void panBy(const QPointF& delta);
    void reset();
    double zoom() const { return zoom_; }
    QPointF pan() const { return pan_; }
    const QRectF& plot() const { return plot_; }

private:
    QRectF data_;
    QRectF plot_;
    double aspect_ = 1.0;
    double zoom_ = 1.0;
    QPointF pan_;
};

// The aspect for coordinates: the cosine of the mean latitude (degrees) for
// longitude and latitude, else 1.
double map_aspect(double meanLatitude, bool geographic);

// Equal-width bins over the values with a value, widened to include
// `marker` when it is a number.
struct Histogram {
    std::vector<double> edges;  // bins + 1
    std::vector<int> counts;
    int maxCount() const;
};
Histogram make_histogram(const std::vector<double>& values, int bins, double marker);
// The number of bins for n values: the square root, from 5 to 40.
int histogram_bins(int n);
