// GeoPackage result files, read back by GDAL: in-process through the OGR
// library (every value bit for bit) and through the ogrinfo program, as a
// GIS user would (every value as that program prints it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "control/control.h"
#include "control/stop.h"
#include "results/results.h"
#include "support/testing.h"

using testing_support::harness;
using testing_support::lines;
using testing_support::read_file;
using testing_support::tempdir;

namespace {

namespace fs = std::filesystem;
const double nothing = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

// One layer as GDAL reads it.  A field without a value reads as NaN.
struct layer_read {
    std::string name;
    std::vector<std::string> fields;  // after the key
    std::vector<OGRFieldType> types;
    std::vector<std::vector<double>> rows;
    std::vector<double> x, y;
    int epsg = 0;        // 0: none with an EPSG code
    std::string srs;     // the coordinate system's name
    std::string global;  // the GLOBAL_ESTIMATES metadata
};

layer_read read_gpkg(const std::string& path) {
    GDALAllRegister();
    layer_read r;
    std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    EXPECT_TRUE(ds) << path;
    if (!ds) return r;
    EXPECT_EQ(ds->GetLayerCount(), 1);
    OGRLayer* layer = ds->GetLayer(0);
    r.name = layer->GetName();
    OGRFeatureDefn* def = layer->GetLayerDefn();
    for (int i = 0; i < def->GetFieldCount(); ++i) {
        r.fields.push_back(def->GetFieldDefn(i)->GetNameRef());
        r.types.push_back(def->GetFieldDefn(i)->GetType());
    }
    if (const OGRSpatialReference* srs = layer->GetSpatialRef()) {
        const char* code = srs->GetAuthorityCode(nullptr);
        r.epsg = code ? std::atoi(code) : 0;
        r.srs = srs->GetName();
    }
    if (const char* g = layer->GetMetadataItem("GLOBAL_ESTIMATES")) r.global = g;
    for (auto& f : *layer) {
        std::vector<double> row;
        for (int i = 0; i < def->GetFieldCount(); ++i)
            row.push_back(f->IsFieldSetAndNotNull(i) ? f->GetFieldAsDouble(i) : nothing);
        r.rows.push_back(row);
        const OGRPoint* p = f->GetGeometryRef()->toPoint();
        r.x.push_back(p->getX());
        r.y.push_back(p->getY());
    }
    return r;
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// The features as the ogrinfo program lists them: field name to text, and
// the point's text.  Empty when the program is missing.
struct listed {
    std::map<std::string, std::string> values;
    std::string point;
};

bool have_ogrinfo() { return std::system("command -v ogrinfo >/dev/null 2>&1") == 0; }

std::vector<listed> ogrinfo(const std::string& path, std::string* summary = nullptr) {
    std::vector<listed> out;
    std::string text;
    if (FILE* p = ::popen(("ogrinfo -al -q '" + path + "' 2>&1").c_str(), "r")) {
        char buf[4096];
        while (std::fgets(buf, sizeof buf, p)) text += buf;
        ::pclose(p);
    }
    if (summary)
        if (FILE* p = ::popen(("ogrinfo -al -so '" + path + "' 2>&1").c_str(), "r")) {
            char buf[4096];
            while (std::fgets(buf, sizeof buf, p)) *summary += buf;
            ::pclose(p);
        }
    for (const std::string& l : lines(text)) {
        if (l.rfind("OGRFeature(", 0) == 0) {
            out.emplace_back();
        } else if (!out.empty() && l.rfind("  POINT (", 0) == 0) {
            out.back().point = l.substr(2);
        } else if (!out.empty() && l.size() > 2) {
            const auto eq = l.find(") = ");
            const auto open = l.rfind(" (", eq);
            if (eq != std::string::npos && open != std::string::npos)
                out.back().values[l.substr(2, open - 2)] = l.substr(eq + 4);
        }
    }
    return out;
}

// How ogrinfo prints a real: 15 significant digits, no value as "(null)".
std::string printed(double v) {
    if (std::isnan(v)) return "(null)";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// Checks every value of the layer against the expected table, bit for bit
// through the library and as printed through ogrinfo.
void check_values(const std::string& path, const std::vector<std::string>& names,
                  const std::vector<std::vector<double>>& want, const std::vector<double>& wx,
                  const std::vector<double>& wy) {
    layer_read r = read_gpkg(path);
    ASSERT_EQ(r.fields, names);
    ASSERT_EQ(r.rows.size(), want.size());
    for (std::size_t l = 0; l < want.size(); ++l) {
        EXPECT_EQ(r.x[l], wx[l]) << "feature " << l + 1;
        EXPECT_EQ(r.y[l], wy[l]) << "feature " << l + 1;
        for (std::size_t c = 0; c < names.size(); ++c)
            EXPECT_TRUE(same(r.rows[l][c], want[l][c]))
                << "feature " << l + 1 << " " << names[c] << ": " << r.rows[l][c] << " for " << want[l][c];
    }
    if (!have_ogrinfo()) return;  // the program is optional: the library check stands
    std::vector<listed> shown = ogrinfo(path);
    ASSERT_EQ(shown.size(), want.size());
    for (std::size_t l = 0; l < want.size(); ++l) {
        for (std::size_t c = 0; c < names.size(); ++c) {
            const std::string expect = c == 0 ? std::to_string(static_cast<long>(want[l][c])) : printed(want[l][c]);
            EXPECT_EQ(shown[l].values[names[c]], expect) << "feature " << l + 1 << " " << names[c];
        }
        double px = 0, py = 0;
        ASSERT_EQ(std::sscanf(shown[l].point.c_str(), "POINT (%lf %lf)", &px, &py), 2) << shown[l].point;
        EXPECT_NEAR(px, wx[l], 1e-13 * std::max(1.0, std::fabs(wx[l])));
        EXPECT_NEAR(py, wy[l], 1e-13 * std::max(1.0, std::fabs(wy[l])));
    }
}

void prepare(gwr::state& s, int m, int p) {
    s.fit3.nloc = m;
    s.outst1.npar = p;
    s.set_parameter_count(p);
    s.size_obs(m);
    s.size_loc(m, p);
    s.fit1.xfit.assign(m, 0.0);
    s.fit1.yfit.assign(m, 0.0);
    s.fit2.fitid.assign(m, 0);
    s.trig.degrad = 57.29577951308232;
    s.trig.raddeg = 0.017453292519943295;
    s.output.samepts = 1;
}

const double awkward[] = {0.1, 1.0 / 3.0, -2.0 / 3.0, 1e-300, -2.5e17, 123456789.123, 0.0, 5e-324, -1e-7};

}  // namespace

// Names for people, made unique where the data file's names meet each other
// or the fixed columns; every value and marker as the engine holds it.
TEST(GeoPackage, ModelLayerNamesValuesAndMarkers) {
    harness h;
    gwr::state& s = *h.s;
    const int p = 4;
    prepare(s, 2, p);
    s.lab1.modful = {"Income per head", "Income per head_SE", "obs"};
    s.fit2.fitid = {11, 12};
    s.fit1.xfit = {123.456789012345678, -7.25};
    s.fit1.yfit = {0.30000000000000004, 3e6};
    int a = 0;
    for (int l = 0; l < 2; ++l)
        for (int k = 0; k < p; ++k) {
            s.bvals(l, k) = awkward[a++ % 9];
            s.svals(l, k) = awkward[a++ % 9];
        }
    s.svals(1, 3) = 0.0;  // t value 0
    s.struc2.ydep = {1.0 / 7.0, 2.0};
    s.output.yhat = {0.3, -1e-20};
    s.output.resid = {1.0 / 7.0 - 0.3, 2.0 + 1e-20};
    s.hat1.hatdg = {0.25, 1.0};
    s.diags.stdres = {1.0 / 9.0, -999.0};
    s.diags.cookd = {2e-5, -999.0};
    s.diags.locr2 = {0.999999999999, nothing};
    s.diags.cond = {12.5, inf};
    s.anova.gbeta = {0.1, -1.0 / 3.0, 2e-17, 7.0};

    tempdir dir;
    s.files.outfil = dir.file("model.csv");
    gwr::wr_gpkg(s);
    EXPECT_EQ(gwr::gpkg_note(s), "** Results written to GeoPackage file " + dir.file("model.gpkg") + ": 2 features");
    // Only the finished file is there.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);

    const std::vector<std::string> names{
        "ID",  "Intercept", "Intercept_SE", "Intercept_T", "Income per head", "Income per head_SE",
        "Income per head_T", "Income per head_SE_2", "Income per head_SE_SE", "Income per head_SE_T",
        "obs_2", "obs_SE", "obs_T", "OBS", "PRED", "RESID", "HAT", "STDRES", "COOKSD", "LOCRSQ", "COND"};
    std::vector<std::vector<double>> want;
    for (int l = 0; l < 2; ++l) {
        std::vector<double> row{double(s.fit2.fitid[l])};
        for (int k = 0; k < p; ++k) {
            row.push_back(s.bvals(l, k));
            row.push_back(s.svals(l, k));
            row.push_back(s.svals(l, k) > 0 ? s.bvals(l, k) / s.svals(l, k) : 0.0);
        }
        for (double v : {s.struc2.ydep[l], s.output.yhat[l], s.output.resid[l], s.hat1.hatdg[l],
                         s.diags.stdres[l], s.diags.cookd[l], s.diags.locr2[l]})
            row.push_back(v);
        row.push_back(std::isfinite(s.diags.cond[l]) ? s.diags.cond[l] : nothing);  // no value for infinity
        want.push_back(row);
    }
    check_values(dir.file("model.gpkg"), names, want, s.fit1.xfit, s.fit1.yfit);

    layer_read r = read_gpkg(dir.file("model.gpkg"));
    EXPECT_EQ(r.name, "model");
    EXPECT_EQ(r.types[0], OFTInteger);
    EXPECT_EQ(r.types[1], OFTReal);
    // Cartesian, no code given: the "undefined Cartesian" system, not the
    // geographic one a layer without a system would be taken for.
    EXPECT_EQ(r.epsg, 0);
    EXPECT_EQ(r.srs, "Undefined Cartesian SRS");
    std::istringstream g(r.global);
    for (double want_b : s.anova.gbeta) {
        double b = 0;
        g >> b;
        EXPECT_EQ(b, want_b);
    }

    // Away from the observations the observed column carries -1.
    s.output.samepts = 0;
    s.files.outfil = dir.file("away");
    gwr::wr_gpkg(s);
    EXPECT_EQ(read_gpkg(dir.file("away.gpkg")).rows[0][13], -1.0);
}

// Local statistics: <name>_MEAN, _VAR, _SD; spherical runs in degrees on
// WGS 84, Cartesian ones on the code of the epsg record.
TEST(GeoPackage, LocalStatisticsAndCoordinateSystems) {
    harness h;
    gwr::state& s = *h.s;
    prepare(s, 2, 2);
    s.lab1.modful = {"Pop density", ""};
    s.fit2.fitid = {5, 6};
    s.fit1.xfit = {0.5, -3.0};
    s.fit1.yfit = {-1.0, 1.5};
    s.bvals(0, 0) = 10.0;
    s.bvals(0, 1) = 1.0 / 3.0;
    s.svals(0, 0) = 4.0;
    s.svals(0, 1) = 0.01;
    s.bvals(1, 0) = -2.0;
    s.bvals(1, 1) = nothing;
    s.svals(1, 0) = 0.0;
    s.svals(1, 1) = -1e-18;  // rounding below zero: standard deviation 0
    testing_support::describe(s, [](gwr::run_description& r) {
        r.coords = gwr::coordinates::spherical;
        r.keys.epsg = 27700;  // not for spherical runs
    });
    tempdir dir;
    s.files.outfil = dir.file("stats.csv");
    gwr::wrsgpkg(s);
    const std::vector<std::string> names{"ID", "Pop density_MEAN", "Pop density_VAR", "Pop density_SD",
                                         "VAR2_MEAN", "VAR2_VAR", "VAR2_SD"};
    check_values(dir.file("stats.gpkg"), names,
                 {{5, 10.0, 4.0, 2.0, 1.0 / 3.0, 0.01, std::sqrt(0.01)}, {6, -2.0, 0.0, 0.0, nothing, -1e-18, 0.0}},
                 {0.5 * s.trig.degrad, -3.0 * s.trig.degrad}, {-1.0 * s.trig.degrad, 1.5 * s.trig.degrad});
    EXPECT_EQ(read_gpkg(dir.file("stats.gpkg")).epsg, 4326);
    if (have_ogrinfo()) {
        std::string summary;
        ogrinfo(dir.file("stats.gpkg"), &summary);
        EXPECT_NE(summary.find("ID[\"EPSG\",4326]"), std::string::npos) << summary;
        EXPECT_NE(summary.find("Feature Count: 2"), std::string::npos) << summary;
    }

    testing_support::set_spherical(s, false);
    gwr::wrsgpkg(s);  // replaces the file
    EXPECT_EQ(read_gpkg(dir.file("stats.gpkg")).epsg, 27700);
    EXPECT_EQ(read_gpkg(dir.file("stats.gpkg")).x[1], -3.0);

    testing_support::describe(s, [](gwr::run_description& r) { r.keys.epsg = 99999999; });
    gwr::wrsgpkg(s);
    EXPECT_EQ(read_gpkg(dir.file("stats.gpkg")).srs, "Undefined Cartesian SRS");
    EXPECT_NE(h.listing().find(" ** Unknown EPSG code 99999999: the GeoPackage carries no coordinate system"),
              std::string::npos)
        << h.listing();
}

TEST(GeoPackage, FileNames) {
    EXPECT_EQ(gwr::gpkg_name("/data/run/model.csv"), "/data/run/model.gpkg");
    EXPECT_EQ(gwr::gpkg_name("out.v2/model"), "out.v2/model.gpkg");
    EXPECT_EQ(gwr::gpkg_name("a.gpkg"), "a.gpkg");
    EXPECT_EQ(gwr::gpkg_name("  "), "results.gpkg");
}

namespace {

// The bundled example's control file with absolute paths and the result
// file type replaced.
std::string example_control(const std::string& outfil, int code) {
    std::vector<std::string> rec = lines(read_file(std::string(EXAMPLES_DIR) + "/gaussian.tzm"));
    rec[0] = std::string(EXAMPLES_DIR) + "/" + rec[0];
    rec[2] = outfil;
    rec[11] = std::to_string(code);
    std::string text;
    for (const std::string& r : rec) text += r + "\n";
    return text;
}

// Runs a control text in-process and checks the GeoPackage it wrote against
// the run's own tables.
void run_and_check(const std::string& control, const std::string& gpkg, const std::vector<std::string>& vars,
                   int epsg) {
    harness h(control);
    gwr::state& s = *h.s;
    ASSERT_EQ(gwr::run(s), 0) << h.err.str();
    const int m = s.fit3.nloc, p = s.outst1.npar;
    EXPECT_NE(h.listing().find("\n** Output estimates to be written to .gpkg file\n"), std::string::npos);
    EXPECT_NE(h.listing().find(" ** Results written to GeoPackage file " + gpkg + ": " + std::to_string(m) +
                               " features\n"),
              std::string::npos);
    std::vector<std::string> names{"ID"};
    for (const std::string& v : vars)
        for (const char* suffix : {"", "_SE", "_T"}) names.push_back(v + suffix);
    for (const char* c : {"OBS", "PRED", "RESID", "HAT", "STDRES", "COOKSD", "LOCRSQ", "COND"}) names.push_back(c);
    std::vector<std::vector<double>> want;
    std::vector<double> wx, wy;
    const double deg = s.run().spherical() ? s.trig.degrad : 1.0;
    for (int l = 0; l < m; ++l) {
        std::vector<double> row{double(s.fit2.fitid[l])};
        for (int k = 0; k < p; ++k) {
            const double b = s.bvals(l, k), se = s.svals(l, k);
            row.insert(row.end(), {b, se, se > 0 ? b / se : 0.0});
        }
        row.insert(row.end(), {s.output.samepts == 1 ? s.struc2.ydep[l] : -1.0, s.output.yhat[l],
                               s.output.resid[l], s.hat1.hatdg[l], s.diags.stdres[l], s.diags.cookd[l],
                               s.diags.locr2[l], s.diags.cond[l]});
        want.push_back(row);
        wx.push_back(s.fit1.xfit[l] * deg);
        wy.push_back(s.fit1.yfit[l] * deg);
    }
    check_values(gpkg, names, want, wx, wy);
    EXPECT_EQ(read_gpkg(gpkg).epsg, epsg);
    if (epsg == 0) {
        EXPECT_EQ(read_gpkg(gpkg).srs, "Undefined Cartesian SRS");
    }
}

}  // namespace

TEST(GeoPackage, BundledExampleAndSphericalRunReadBackExactly) {
    tempdir dir;
    run_and_check(example_control(dir.file("columbus_results.csv"), 4), dir.file("columbus_results.gpkg"),
                  {"Intercept", "INC", "HOVAL"}, 0);
    const std::string sphere = std::string(TESTDATA_DIR) + "/gaussian_sphere.csv";
    run_and_check(sphere + "\n\n" + dir.file("sphere") + "\n4\n2,3,6\nWeighted, on the sphere\n" +
                      "FFFFTF\nfnn\n40\n0\n0\n4\n0\n1\n2\n2\n",
                  dir.file("sphere.gpkg"), {"Intercept", "P1"}, 4326);
}

// A result that cannot be written stops the run with status 2 and one line
// on standard error, and leaves no file behind.
TEST(GeoPackage, UnwritablePlacesStopWithStatusTwoAndLeaveNothing) {
    tempdir dir;
    fs::create_directory(dir.path / "out.gpkg");
    fs::create_directory(dir.path / "locked");
    fs::permissions(dir.path / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    // The superuser writes into any folder: a place no one can create files
    // in stands in for the read-only one.
    const bool superuser = ::geteuid() == 0;
    const std::string locked = superuser ? "/proc/gwr_results.csv" : (dir.path / "locked" / "r.csv").string();
    for (const std::string& out : {dir.file("out.csv"), locked}) {
        SCOPED_TRACE(out);
        auto r = testing_support::run_tzm(example_control(out, 4), dir.path);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("tzm: cannot create result file '" + gwr::gpkg_name(out) + "'", 0), 0u) << r.err;
        EXPECT_EQ(r.out.find("** Results written to GeoPackage"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_empty(dir.path / "out.gpkg"));
    EXPECT_TRUE(fs::is_empty(dir.path / "locked"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2);
    EXPECT_FALSE(fs::exists("/proc/gwr_results.gpkg"));
    fs::permissions(dir.path / "locked", fs::perms::owner_all);
}
