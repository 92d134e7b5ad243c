#include "result_table.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "toolkit/toolkit.h"

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN();

// A field as a number; empty or unreadable text is no value.
double field_value(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty()) return none;
    bool ok = false;
    const double v = text.toDouble(&ok);  // the C locale's decimal point, whatever the user's locale
    return ok ? v : none;
}

// The lines of a text, without their line ends and without blank lines.
QList<QStringView> text_lines(const QString& text) {
    QList<QStringView> out;
    for (QStringView l : QStringView(text).split(QChar('\n'))) {
        if (l.endsWith(QChar('\r'))) l.chop(1);
        if (!l.trimmed().isEmpty()) out.append(l);
    }
    return out;
}

// Points the coordinates at the columns named `xname` and `yname`.
void take_coordinates(ResultTable& t, const QString& xname, const QString& yname) {
    const int cx = t.column(xname), cy = t.column(yname);
    const int n = t.cols.empty() ? 0 : int(t.cols[0].size());
    t.x.assign(n, none);
    t.y.assign(n, none);
    if (cx >= 0) t.x = t.cols[cx];
    if (cy >= 0) t.y = t.cols[cy];
}

bool read_text_file(const QString& path, QString& text, QString& error) {
    switch (tk::toolkit().readTextFile(path, text)) {
    case tk::FileError::None: return true;
    case tk::FileError::NotFound: error = "There is no file " + path + "."; return false;
    case tk::FileError::InUse: error = "The file " + path + " is in use."; return false;
    case tk::FileError::Access: error = "The file " + path + " cannot be read (access denied)."; return false;
    default: error = "The file " + path + " cannot be read."; return false;
    }
}

// The number in bytes [b, e) with blanks around it; NaN when there is none.
double parse_number(const char* b, const char* e) {
    while (b < e && (*b == ' ' || *b == '\t')) ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r')) --e;
    if (b < e && *b == '+') ++b;
    double v = none;
    const auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e ? v : none;
}

// Comma-delimited: a header line of names, then one line per location.
// Parsed on the bytes: tens of thousands of lines read in a blink.
bool read_csv(const QString& path, ResultTable& t, QString& error) {
    QString text;
    if (!read_text_file(path, text, error)) return false;
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    auto next_line = [&](const char*& b, const char*& e) {
        for (;;) {
            if (p >= end) return false;
            b = p;
            e = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (!e) e = end;
            p = e < end ? e + 1 : end;
            const char* q = b;
            while (q < e && (*q == ' ' || *q == '\t' || *q == '\r')) ++q;
            if (q < e) return true;  // blank lines are skipped
        }
    };
    const char *b = nullptr, *e = nullptr;
    if (!next_line(b, e)) {
        error = "The file " + path + " is empty.";
        return false;
    }
    for (const QString& n : QString::fromUtf8(b, e - b).split(QChar(','))) t.names << n.trimmed();
    const int ncol = int(t.names.size());
    t.cols.assign(ncol, {});
    int line = 1;
    while (next_line(b, e)) {
        ++line;
        int c = 0;
        const char* f = b;
        for (const char* q = b;; ++q) {
            if (q == e || *q == ',') {
                if (c < ncol) t.cols[c].push_back(parse_number(f, q));
                ++c;
                f = q + 1;
                if (q == e) break;
            }
        }
        if (c != ncol) {
            error = QString("Line %1 of %2 has %3 fields; its header names %4.").arg(line).arg(path).arg(c).arg(ncol);
            return false;
        }
    }
    if (t.column("FITX") >= 0)
        take_coordinates(t, "FITX", "FITY");
    else
        take_coordinates(t, "X", "Y");
    return true;
}

// MapInfo interchange: the column names in the .mif file, the values in the
// .mid file beside it, separated by blanks.
bool read_mif(const QString& path, ResultTable& t, QString& error) {
    QString mif, mid;
    if (!read_text_file(path, mif, error)) return false;
    const QString midPath = path.left(path.size() - 4) + (path.endsWith(".MIF") ? ".MID" : ".mid");
    if (!read_text_file(midPath, mid, error)) return false;
    const QList<QStringView> head = text_lines(mif);
    qsizetype i = 0;
    while (i < head.size() && !head[i].trimmed().startsWith(QLatin1String("COLUMNS"), Qt::CaseInsensitive)) ++i;
    if (i == head.size()) {
        error = "The file " + path + " declares no columns.";
        return false;
    }
    const int n = head[i].trimmed().mid(7).trimmed().toInt();
    for (int k = 1; k <= n && i + k < head.size(); ++k)
        t.names << head[i + k].trimmed().split(QChar(' '), Qt::SkipEmptyParts).value(0).toString();
    t.cols.assign(t.names.size(), {});
    const QList<QStringView> rows = text_lines(mid);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QList<QStringView> f = rows[r].split(QChar(' '), Qt::SkipEmptyParts);
        if (f.size() != t.names.size()) {
            error = QString("Line %1 of %2 has %3 values; %4 columns are declared.")
                        .arg(r + 1).arg(midPath).arg(f.size()).arg(t.names.size());
            return false;
        }
        for (qsizetype c = 0; c < f.size(); ++c) t.cols[c].push_back(field_value(f[c]));
    }
    take_coordinates(t, "X", "Y");
    return true;
}

// GeoPackage: the first layer's numeric fields, and the points.
bool read_gpkg(const QString& path, ResultTable& t, QString& error) {
    GDALAllRegister();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    std::unique_ptr<GDALDataset> ds(
        GDALDataset::Open(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    CPLPopErrorHandler();
    if (!ds || ds->GetLayerCount() < 1) {
        error = "The file " + path + " cannot be read as a GeoPackage.";
        return false;
    }
    OGRLayer* layer = ds->GetLayer(0);
    OGRFeatureDefn* def = layer->GetLayerDefn();
    std::vector<int> fields;
    for (int i = 0; i < def->GetFieldCount(); ++i) {
        const OGRFieldType type = def->GetFieldDefn(i)->GetType();
        if (type == OFTInteger || type == OFTInteger64 || type == OFTReal) {
            fields.push_back(i);
            t.names << QString::fromUtf8(def->GetFieldDefn(i)->GetNameRef());
        }
    }
    if (const OGRSpatialReference* srs = layer->GetSpatialRef()) t.geographic = srs->IsGeographic();
    if (const char* g = layer->GetMetadataItem("GLOBAL_ESTIMATES"))
        for (const QString& v : QString::fromLatin1(g).split(QChar(' '), Qt::SkipEmptyParts))
            t.global.push_back(field_value(v));
    if (const char* c = layer->GetMetadataItem("ADJUSTED_CRITICAL_T")) {
        const double v = field_value(QString::fromLatin1(c));
        if (v > 0) t.critical = v;
    }
    t.cols.assign(fields.size(), {});
    layer->ResetReading();
    for (auto& f : *layer) {
        for (std::size_t c = 0; c < fields.size(); ++c)
            t.cols[c].push_back(f->IsFieldSetAndNotNull(fields[c]) ? f->GetFieldAsDouble(fields[c]) : none);
        const OGRGeometry* g = f->GetGeometryRef();
        if (g && wkbFlatten(g->getGeometryType()) == wkbPoint && !g->IsEmpty()) {
            t.x.push_back(g->toPoint()->getX());
            t.y.push_back(g->toPoint()->getY());
        } else {
            t.x.push_back(none);
            t.y.push_back(none);
        }
    }
    // The table shows the coordinates beside the identifier.
    const int at = t.column("ID") + 1;
    t.names.insert(at, t.geographic ? "Longitude" : "X coordinate");
    t.names.insert(at + 1, t.geographic ? "Latitude" : "Y coordinate");
    t.cols.insert(t.cols.begin() + at, t.y);
    t.cols.insert(t.cols.begin() + at, t.x);
    return true;
}

// The number k at the end of a numbered name (PARM_2, PARM12, VAR__3), or 0.
int number_after(const QString& name, const QString& stem) {
    if (!name.startsWith(stem) || name.size() != stem.size() + 2) return 0;
    QString digits = name.mid(stem.size());
    if (digits[0] == QChar('_')) digits.remove(0, 1);
    bool ok = false;
    const int k = digits.toInt(&ok);
    return ok && k > 0 ? k : 0;
}

}  // namespace

bool read_results(const QString& path, ResultTable& table, QString& error) {
    table = ResultTable();
    table.path = path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool ok = false;
    if (suffix == "gpkg")
        ok = read_gpkg(path, table, error);
    else if (suffix == "mif")
        ok = read_mif(path, table, error);
    else
        ok = read_csv(path, table, error);
    if (ok && table.rows() == 0) {
        error = "The file " + path + " holds no locations.";
        ok = false;
    }
    if (!ok) table = ResultTable();
    return ok;
}

std::vector<ColumnInfo> classify_columns(const QStringList& names, const QStringList& variables) {
    std::vector<ColumnInfo> out(names.size());
    auto named = [&variables](int k, const QString& fallback) {
        return k >= 1 && k <= variables.size() ? variables[k - 1] : fallback;
    };
    static const struct {
        const char* name;
        ColumnKind kind;
    } fixed[] = {{"ID", ColumnKind::Id},           {"FITX", ColumnKind::Coordinate},
                 {"FITY", ColumnKind::Coordinate}, {"X", ColumnKind::Coordinate},
                 {"Y", ColumnKind::Coordinate},    {"Longitude", ColumnKind::Coordinate},
                 {"Latitude", ColumnKind::Coordinate}, {"X coordinate", ColumnKind::Coordinate},
                 {"Y coordinate", ColumnKind::Coordinate}, {"OBS", ColumnKind::Observed},
                 {"PRED", ColumnKind::Predicted},  {"RESID", ColumnKind::Residual},
                 {"HAT", ColumnKind::Leverage},    {"STDRES", ColumnKind::StdResidual},
                 {"COOKSD", ColumnKind::CooksD},   {"LOCRSQ", ColumnKind::LocalR2},
                 {"COND", ColumnKind::Condition}};
    // Numbered names of the comma-delimited and MapInfo files.
    static const struct {
        const char* stem;
        ColumnKind kind;
    } numbered[] = {{"PARM", ColumnKind::Estimate}, {"SVAL", ColumnKind::StdError}, {"TVAL", ColumnKind::TValue},
                    {"MEAN", ColumnKind::Mean},     {"VAR_", ColumnKind::Variance}, {"STD_", ColumnKind::StdDev}};
    auto has = [&names](const QString& s) { return names.contains(s); };
    for (int c = 0; c < names.size(); ++c) {
        ColumnInfo& info = out[c];
        const QString& n = names[c];
        // Names of the GeoPackage: <name>, <name>_SE, <name>_T; <name>_MEAN,
        // <name>_VAR, <name>_SD.  A variable may be called anything, so these
        // come first.
        if (has(n + "_SE") && has(n + "_T")) {
            info.kind = ColumnKind::Estimate;
            info.variable = n;
            continue;
        }
        if (n.endsWith("_SE") && has(n.chopped(3)) && has(n.chopped(3) + "_T")) {
            info.kind = ColumnKind::StdError;
            info.variable = n.chopped(3);
            continue;
        }
        if (n.endsWith("_T") && has(n.chopped(2)) && has(n.chopped(2) + "_SE")) {
            info.kind = ColumnKind::TValue;
            info.variable = n.chopped(2);
            continue;
        }
        if (n.endsWith("_MEAN") && has(n.chopped(5) + "_VAR")) {
            info.kind = ColumnKind::Mean;
            info.variable = n.chopped(5);
            continue;
        }
        if (n.endsWith("_VAR") && has(n.chopped(4) + "_MEAN")) {
            info.kind = ColumnKind::Variance;
            info.variable = n.chopped(4);
            continue;
        }
        if (n.endsWith("_SD") && has(n.chopped(3) + "_MEAN")) {
            info.kind = ColumnKind::StdDev;
            info.variable = n.chopped(3);
            continue;
        }
        bool done = false;
        for (const auto& f : fixed)
            if (n == QLatin1String(f.name)) {
                info.kind = f.kind;
                done = true;
            }
        for (const auto& s : numbered) {
            if (done) break;
            if (const int k = number_after(n, s.stem)) {
                info.kind = s.kind;
                const bool model = s.kind == ColumnKind::Estimate || s.kind == ColumnKind::StdError ||
                                   s.kind == ColumnKind::TValue;
                info.variable = named(k, model ? QString("PARM_%1").arg(k) : QString("Variable %1").arg(k));
                if (model) info.parameter = k - 1;
                done = true;
            }
        }
    }
    // Parameter numbers of the named columns follow the estimates' order;
    // every estimate and standard error learns where its t value is.
    int next = 0;
    for (ColumnInfo& info : out)
        if (info.kind == ColumnKind::Estimate && info.parameter < 0) info.parameter = next++;
    for (ColumnInfo& info : out) {
        if (info.kind != ColumnKind::Estimate && info.kind != ColumnKind::StdError && info.kind != ColumnKind::TValue)
            continue;
        for (int c = 0; c < int(out.size()); ++c) {
            if (out[c].kind != ColumnKind::TValue) continue;
            const bool sameNumber = names[c].startsWith("TVAL") && info.parameter >= 0 &&
                                    out[c].parameter == info.parameter;
            const bool sameName = !names[c].startsWith("TVAL") && out[c].variable == info.variable;
            if (sameNumber || sameName) info.tcol = c;
        }
        if (info.kind != ColumnKind::Estimate && info.parameter < 0)
            for (const ColumnInfo& e : out)
                if (e.kind == ColumnKind::Estimate && e.variable == info.variable) info.parameter = e.parameter;
    }
    return out;
}

QString column_label(const ColumnInfo& info, const QString& name) {
    switch (info.kind) {
    case ColumnKind::Estimate: return info.variable + ": estimate";
    case ColumnKind::StdError: return info.variable + ": standard error";
    case ColumnKind::TValue: return info.variable + ": t value";
    case ColumnKind::Observed: return "Observed value";
    case ColumnKind::Predicted: return "Predicted value";
    case ColumnKind::Residual: return "Residual";
    case ColumnKind::Leverage: return "Leverage";
    case ColumnKind::StdResidual: return "Standardised residual";
    case ColumnKind::CooksD: return "Cook's distance";
    case ColumnKind::LocalR2: return QString::fromUtf8("Local R\u00b2");
    case ColumnKind::Condition: return "Condition number";
    case ColumnKind::Mean: return info.variable + ": local mean";
    case ColumnKind::Variance: return info.variable + ": local variance";
    case ColumnKind::StdDev: return info.variable + ": local standard deviation";
    default: return name;
    }
}

bool diverges(ColumnKind kind) { return kind == ColumnKind::Estimate || kind == ColumnKind::TValue; }

std::vector<double> mapped_values(const ResultTable& t, int c, const ColumnInfo& info) {
    std::vector<double> v = t.cols[c];
    switch (info.kind) {
    case ColumnKind::StdResidual:
    case ColumnKind::CooksD:
        for (double& x : v)
            if (x == -999.0) x = none;
        [[fallthrough]];
    case ColumnKind::Observed:
    case ColumnKind::Predicted:
    case ColumnKind::Residual:
    case ColumnKind::Leverage:
    case ColumnKind::LocalR2: {
        bool allMinusOne = true;
        for (double x : t.cols[c])
            if (x != -1.0) allMinusOne = false;
        if (allMinusOne) v.assign(v.size(), none);
        break;
    }
    default: break;
    }
    return v;
}
