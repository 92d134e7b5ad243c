#include "map_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Stop {
    double at;
    int r, g, b;
};

QColor ramp(const Stop* stops, int n, double u) {
    if (!(u >= stops[0].at)) u = stops[0].at;  // NaN too
    if (u > stops[n - 1].at) u = stops[n - 1].at;
    int k = 0;
    while (k + 2 < n && u > stops[k + 1].at) ++k;
    const Stop& a = stops[k];
    const Stop& b = stops[k + 1];
    const double f = (u - a.at) / (b.at - a.at);
    auto mix = [f](int p, int q) { return int(std::lround(p + f * (q - p))); };
    return QColor(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

// Brewer's red-blue and yellow-green-blue schemes.
const Stop divergingStops[] = {{-1.0, 5, 48, 97},   {-0.5, 67, 147, 195}, {0.0, 247, 247, 247},
                               {0.5, 214, 96, 77},  {1.0, 103, 0, 31}};
const Stop sequentialStops[] = {{0.0, 255, 255, 204}, {0.25, 161, 218, 180}, {0.5, 65, 182, 196},
                                {0.75, 44, 127, 184}, {1.0, 37, 52, 148}};

}  // namespace

QColor diverging_color(double u) { return ramp(divergingStops, 5, u); }
QColor sequential_color(double u) { return ramp(sequentialStops, 5, u); }

QString short_number(double v) {
    if (std::isnan(v)) return "-";
    if (v == 0) return "0";
    return QString::number(v, 'g', 4);
}

void MapModel::setData(std::vector<double> x, std::vector<double> y, std::vector<double> values,
                       std::vector<double> t, bool divergent) {
    x_ = std::move(x);
    y_ = std::move(y);
    v_ = std::move(values);
    t_ = std::move(t);
    divergent_ = divergent;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0, ysum = 0;
    int placed = 0;
    bool any = false;
    for (int i = 0; i < count(); ++i) {
        if (!std::isfinite(x_[i]) || !std::isfinite(y_[i])) continue;
        ysum += y_[i];
        ++placed;
        if (!any) {
            x0 = x1 = x_[i];
            y0 = y1 = y_[i];
            any = true;
        }
        x0 = std::min(x0, x_[i]);
        x1 = std::max(x1, x_[i]);
        y0 = std::min(y0, y_[i]);
        y1 = std::max(y1, y_[i]);
    }
    bounds_ = QRectF(QPointF(x0, y0), QPointF(x1, y1));
    meanY_ = placed > 0 ? ysum / placed : 0.0;
    classify();
}

void MapModel::setClassing(Classing how, int classes) {
    how_ = how;
    asked_ = std::max(1, classes);
    classify();
}

void MapModel::setMask(bool on, double critical) {
    mask_ = on;
    critical_ = critical;
}

void MapModel::classify() {
    std::vector<double> sorted;
    sorted.reserve(v_.size());
    for (double v : v_)
        if (std::isfinite(v)) sorted.push_back(v);
    std::sort(sorted.begin(), sorted.end());
    breaks_.clear();
    colors_.clear();
    cls_.assign(v_.size(), -1);
    if (sorted.empty()) return;
    const double lo = sorted.front(), hi = sorted.back();
    const int n = asked_;
    breaks_.push_back(lo);
    for (int k = 1; k < n; ++k) {
        double e;
        if (how_ == Classing::EqualIntervals) {
            e = lo + (hi - lo) * k / n;
        } else {
            // The k/n quantile, interpolated between order statistics.
            const double h = (sorted.size() - 1) * double(k) / n;
            const std::size_t j = std::size_t(h);
            e = j + 1 < sorted.size() ? sorted[j] + (h - j) * (sorted[j + 1] - sorted[j]) : sorted[j];
        }
        if (e > breaks_.back() && e < hi) breaks_.push_back(e);
    }
    breaks_.push_back(hi);  // one class [lo, lo] when every value is the same
    const int classes = int(breaks_.size()) - 1;

    // Diverging colours follow each class's middle value, 0 in the light
    // middle of the ramp and the class farthest from 0 at its end; the
    // sequential ramp runs from the lowest class to the highest.
    if (divergent_) {
        double far = 0;
        for (int k = 0; k < classes; ++k) far = std::max(far, std::fabs((breaks_[k] + breaks_[k + 1]) / 2));
        for (int k = 0; k < classes; ++k) {
            const double mid = (breaks_[k] + breaks_[k + 1]) / 2;
            colors_.push_back(diverging_color(far > 0 ? mid / far : 0.0));
        }
    } else {
        for (int k = 0; k < classes; ++k) colors_.push_back(sequential_color(classes > 1 ? double(k) / (classes - 1) : 0.5));
    }
    for (std::size_t i = 0; i < v_.size(); ++i) {
        const double v = v_[i];
        if (!std::isfinite(v)) continue;
        const auto above = std::upper_bound(breaks_.begin() + 1, breaks_.begin() + classes, v);
        cls_[i] = int(above - (breaks_.begin() + 1));
    }
}

bool MapModel::masked(int i) const {
    if (!masking() || cls_[i] < 0) return false;
    const double t = t_[i];
    return std::isfinite(t) && std::fabs(t) < critical_;
}

int MapModel::maskedCount() const {
    int n = 0;
    for (int i = 0; i < count(); ++i) n += masked(i);
    return n;
}

int MapModel::missingCount() const { return int(std::count(cls_.begin(), cls_.end(), -1)); }

QColor MapModel::colorOf(int i) const {
    if (cls_[i] < 0) return QColor();
    if (masked(i)) return masked_color();
    return colors_[cls_[i]];
}

std::vector<LegendEntry> MapModel::legend() const {
    std::vector<LegendEntry> out;
    for (int k = 0; k < classes(); ++k) {
        const QString lo = short_number(breaks_[k]), hi = short_number(breaks_[k + 1]);
        out.push_back({colors_[k], lo == hi ? lo : lo + QString::fromUtf8(" \u2013 ") + hi, false});
    }
    if (masking() && maskedCount() > 0)
        out.push_back({masked_color(), QString::fromUtf8("|t| < ") + short_number(critical_), false});
    if (missingCount() > 0) out.push_back({missing_color(), "no value", true});
    return out;
}

void MapFrame::fit(const QRectF& data, const QRectF& plot, double aspect) {
    data_ = data;
    plot_ = plot;
    aspect_ = aspect > 0 ? aspect : 1.0;
}

namespace {
// Pixels per data unit at zoom 1, and the data centre.
double base_scale(const QRectF& data, const QRectF& plot, double aspect) {
    const double w = data.width() * aspect, h = data.height();
    if (w <= 0 && h <= 0) return 1.0;
    if (w <= 0) return plot.height() / h;
    if (h <= 0) return plot.width() / w;
    return std::min(plot.width() / w, plot.height() / h);
}
}  // namespace

QPointF MapFrame::toScreen(double x, double y) const {
    const double s = base_scale(data_, plot_, aspect_) * zoom_;
    const QPointF c = data_.center();
    return plot_.center() + pan_ + QPointF((x - c.x()) * aspect_ * s, -(y - c.y()) * s);
}

QPointF MapFrame::toData(const QPointF& p) const {
    const double s = base_scale(data_, plot_, aspect_) * zoom_;
    const QPointF c = data_.center();
    const QPointF d = p - plot_.center() - pan_;
    return QPointF(c.x() + d.x() / (aspect_ * s), c.y() - d.y() / s);
}

void MapFrame::zoomAt(const QPointF& at, double factor) {
    // The point under `at` stays: at = centre + pan + f * (at - centre - pan) after the zoom.
    const QPointF rel = at - plot_.center() - pan_;
    zoom_ *= factor;
    pan_ += rel - rel * factor;
}

void MapFrame::panBy(const QPointF& delta) { pan_ += delta; }

void MapFrame::reset() {
    zoom_ = 1.0;
    pan_ = QPointF();
}

double map_aspect(double meanLatitude, bool geographic) {
    if (!geographic) return 1.0;
    const double lat = meanLatitude * M_PI / 180.0;
    return std::max(0.05, std::cos(lat));
}

int Histogram::maxCount() const { return counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end()); }

Histogram make_histogram(const std::vector<double>& values, int bins, double marker) {
    Histogram h;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (double v : values)
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    if (std::isfinite(marker)) {
        lo = std::min(lo, marker);
        hi = std::max(hi, marker);
    }
    if (!std::isfinite(lo)) return h;
    if (hi == lo) {
        lo -= 0.5;
        hi += 0.5;
    }
    bins = std::max(1, bins);
    for (int k = 0; k <= bins; ++k) h.edges.push_back(k == bins ? hi : lo + (hi - lo) * k / bins);
    h.counts.assign(bins, 0);
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        int k = int((v - lo) / (hi - lo) * bins);
        h.counts[std::clamp(k, 0, bins - 1)]++;
    }
    return h;
}

int histogram_bins(int n) { return std::clamp(int(std::ceil(std::sqrt(double(n)))), 5, 40); }
