// GeoPackage files of the local results: one point layer named after the
// file, one feature per fit location, double-precision coordinates, and
// columns named after the data file's variables.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "control/stop.h"
#include "format/format.h"
#include "gaussian/inference.h"
#include "results/results.h"
#include "results/written.h"

namespace gwr {

namespace fs = std::filesystem;

namespace {

// Columns every model layer has after the parameters.
const char* const casewise_names[] = {"OBS", "PRED", "RESID", "HAT", "STDRES", "COOKSD", "LOCRSQ", "COND"};

std::string lower(std::string t) {
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return t;
}

// Makes `names` unique without regard to case, as the file's database
// compares them: a name already taken gets _2, _3, ... appended.  Names in
// `taken` (lower case) are taken before any of `names`.
void make_unique(std::vector<std::string>& names, std::set<std::string> taken) {
    for (std::string& n : names) {
        std::string candidate = n;
        for (int k = 2; taken.count(lower(candidate)); ++k) candidate = n + "_" + std::to_string(k);
        taken.insert(lower(candidate));
        n = candidate;
    }
}

// The variable names of the result columns: the data file's names whole,
// "Intercept" first for a model; an empty name becomes VAR and the
// variable's position among them.
std::vector<std::string> variable_names(const state& s, bool model) {
    std::vector<std::string> v;
    if (model) v.push_back("Intercept");
    const std::vector<std::string>& full = s.lab1.modful;
    const int count = model ? s.outst1.npar - 1 : s.run().K;
    for (int k = 0; k < count; ++k) {
        std::string n = k < static_cast<int>(full.size()) ? full[k] : std::string();
        if (n.empty()) n = "VAR" + std::to_string(k + 1);
        v.push_back(n);
    }
    return v;
}

// Silences GDAL's messages on standard error while a file is written; the
// last one explains a failure.
struct quiet_gdal {
    quiet_gdal() {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~quiet_gdal() { CPLPopErrorHandler(); }
    quiet_gdal(const quiet_gdal&) = delete;
    quiet_gdal& operator=(const quiet_gdal&) = delete;
};

std::string gdal_reason() {
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? std::string(": ") + m : std::string();
}

// Removes what SQLite may have left beside the temporary file of a write
// that failed; the staged file removes the temporary itself.
struct journals {
    const std::string& path;
    bool done = false;
    ~journals() {
        if (done) return;
        for (const char* ext : {"-journal", "-wal", "-shm"}) std::remove((path + ext).c_str());
    }
};

using value_fill = std::function<void(int l, std::vector<double>& vals)>;

// Writes the layer.  Its columns are ID, the columns named after variables
// (`named`, made unique here), then the `fixed` ones; `fill` gives each
// location's values in that order, after ID.  `global` holds the global
// model's estimates, kept as layer metadata.  The file is written under a
// temporary name in the same folder and renamed when complete, so a failure
// never leaves a half-written file nor destroys an older one.
void write_gpkg(state& s, std::vector<std::string> named, const std::vector<std::string>& fixed,
                const value_fill& fill, const std::vector<double>& global, double critical = 0.0) {
    const std::string target = gpkg_name(s.files.outfil);
    const fs::path tp(target);
    const std::string what = "cannot create result file '" + target + "'";

    // GDAL names the key column fid and the geometry geom.
    std::set<std::string> taken{"fid", "geom", "id"};
    for (const std::string& f : fixed) taken.insert(lower(f));
    make_unique(named, taken);
    std::vector<std::string> columns = named;
    columns.insert(columns.end(), fixed.begin(), fixed.end());

    written::staged_file staged(target);
    journals left{staged.temp()};

    GDALAllRegister();
    quiet_gdal quiet;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (!driver) throw io_error(what + ": GDAL offers no GeoPackage driver");
    std::unique_ptr<GDALDataset> ds(driver->Create(staged.vacate().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds) throw io_error(what + gdal_reason());

    // Coordinate system: WGS 84 longitude/latitude for spherical runs, the
    // code of the epsg keyword record for Cartesian ones, else the
    // GeoPackage's "undefined Cartesian" system (GIS programs would take a
    // layer without one for longitude and latitude).
    OGRSpatialReference srs;
    const int code = s.run().spherical() ? 4326 : s.run().keys.epsg;
    bool known = false;
    if (code > 0) {
        known = srs.importFromEPSG(code) == OGRERR_NONE;
        if (!known)
            ftn::ldwrite(*s.out, {"** Unknown EPSG code " + std::to_string(code) +
                                  ": the GeoPackage carries no coordinate system"});
        CPLErrorReset();
    }
    if (!known)
        srs.SetFromUserInput(
            "LOCAL_CS[\"Undefined Cartesian SRS\",UNIT[\"Meter\",1],AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH]]");
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

    std::string layer_name = tp.stem().string();
    if (layer_name.empty()) layer_name = "results";
    OGRLayer* layer = ds->CreateLayer(layer_name.c_str(), &srs, wkbPoint, nullptr);
    if (!layer) throw io_error(what + gdal_reason());
    {
        OGRFieldDefn id("ID", OFTInteger);
        if (layer->CreateField(&id) != OGRERR_NONE) throw io_error(what + gdal_reason());
    }
    for (const std::string& c : columns) {
        OGRFieldDefn fd(c.c_str(), OFTReal);
        if (layer->CreateField(&fd) != OGRERR_NONE) throw io_error(what + gdal_reason());
    }
    if (!global.empty()) {
        std::string text;
        for (double g : global) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.17g", g);
            if (!text.empty()) text += ' ';
            text += buf;
        }
        layer->SetMetadataItem("GLOBAL_ESTIMATES", text.c_str());
    }
    if (critical > 0.0) {
        // The critical |t| at the 5 % level adjusted for multiple testing,
        // for the results window's mask.
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", critical);
        layer->SetMetadataItem("ADJUSTED_CRITICAL_T", buf);
    }

    if (ds->StartTransaction() != OGRERR_NONE) throw io_error(what + gdal_reason());
    const int m = s.fit3.nloc;
    const double to_degrees = s.run().spherical() ? s.trig.degrad : 1.0;
    OGRFeature feature(layer->GetLayerDefn());
    std::vector<double> vals;
    vals.reserve(columns.size());
    for (int l = 0; l < m; ++l) {
        vals.clear();
        fill(l, vals);
        feature.SetFID(OGRNullFID);
        feature.SetField(0, s.fit2.fitid[l]);
        for (std::size_t c = 0; c < vals.size(); ++c) {
            // A value that is no finite number is written as no value: GIS
            // programs classify and plot what they read.
            if (std::isfinite(vals[c]))
                feature.SetField(static_cast<int>(c) + 1, vals[c]);
            else
                feature.SetFieldNull(static_cast<int>(c) + 1);
        }
        OGRPoint pt(s.fit1.xfit[l] * to_degrees, s.fit1.yfit[l] * to_degrees);
        feature.SetGeometry(&pt);
        if (layer->CreateFeature(&feature) != OGRERR_NONE) throw io_error(what + gdal_reason());
    }
    if (ds->CommitTransaction() != OGRERR_NONE) throw io_error(what + gdal_reason());
    CPLErrorReset();
    ds.reset();  // closes the file, writing what is pending
    if (CPLGetLastErrorType() >= CE_Failure) throw io_error(what + gdal_reason());

    staged.commit();
    left.done = true;
}

}  // namespace

std::string gpkg_name(const std::string& outfil) {
    if (outfil.find_first_not_of(" \t") == std::string::npos) return "results.gpkg";
    fs::path p(outfil);
    p.replace_extension(".gpkg");
    return p.string();
}

std::string gpkg_note(const state& s) {
    const int m = s.fit3.nloc;
    return "** Results written to GeoPackage file " + gpkg_name(s.files.outfil) + ": " + std::to_string(m) +
           (m == 1 ? " feature" : " features");
}

void wr_gpkg(state& s) {
    const int p = s.outst1.npar;
    const std::vector<std::string> vars = variable_names(s, true);
    std::vector<std::string> columns;
    for (int k = 0; k < p; ++k) {
        columns.push_back(vars[k]);
        columns.push_back(vars[k] + "_SE");
        columns.push_back(vars[k] + "_T");
    }

    std::vector<double> global;
    if (static_cast<int>(s.anova.gbeta.size()) == p) global = s.anova.gbeta;
    std::vector<std::string> fixed(std::begin(casewise_names), std::end(casewise_names));
    const bool pred = written::predicted(s);
    if (pred) {
        fixed.push_back("PREDY");
        fixed.push_back("PREDSE");
    }
    double level = 0.0, critical = 0.0;
    if (!adjusted_t(s, 0.05, level, critical)) critical = 0.0;
    write_gpkg(
        s, columns, fixed,
        [&s, p, pred](int l, std::vector<double>& vals) {
            for (int k = 0; k < p; ++k) {
                vals.push_back(s.bvals(l, k));
                vals.push_back(s.svals(l, k));
                vals.push_back(written::tvalue(s, l, k));
            }
            double cw[7];
            written::casewise(s, l, cw);
            vals.insert(vals.end(), cw, cw + 7);
            const auto& cond = s.diags.cond;
            vals.push_back(l < static_cast<int>(cond.size()) ? cond[l] : std::nan(""));
            if (pred) {
                vals.push_back(s.pred.predy[l]);
                vals.push_back(s.pred.predse[l]);
            }
        },
        global, critical);
}

void wrsgpkg(state& s) {
    const int v = s.run().K;
    const std::vector<std::string> vars = variable_names(s, false);
    std::vector<std::string> columns;
    for (int k = 0; k < v; ++k) {
        columns.push_back(vars[k] + "_MEAN");
        columns.push_back(vars[k] + "_VAR");
        columns.push_back(vars[k] + "_SD");
    }
    write_gpkg(
        s, columns, {},
        [&s, v](int l, std::vector<double>& vals) {
            for (int k = 0; k < v; ++k) {
                const double var = s.svals(l, k);
                vals.push_back(s.bvals(l, k));
                vals.push_back(var);
                vals.push_back(var > 0.0 ? std::sqrt(var) : 0.0);
            }
        },
        {});
}

}  // namespace gwr
