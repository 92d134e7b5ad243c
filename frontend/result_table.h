// A result file of the engine read into memory for the results window:
// named numeric columns, one row per fit location, the locations'
// coordinates, and what each column holds.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct ResultTable {
    QString path;
    QStringList names;                      // column headers, as the file names them
    std::vector<std::vector<double>> cols;  // cols[c][row]; NaN where a field has no value
    std::vector<double> x, y;               // coordinates of each row (NaN when it has none)
    bool geographic = false;                // x and y are longitude and latitude in degrees
    std::vector<double> global;             // the global model's estimates, by parameter (may be empty)
    double critical = 0;                    // the critical |t| at 5 % adjusted for multiple testing, 0: none

    int rows() const { return int(x.size()); }
    int column(const QString& name) const { return int(names.indexOf(name)); }
};

// Reads a comma-delimited, GeoPackage or MapInfo (.mif with its .mid)
// result file.  False with a reason in `error` when it cannot be read.
bool read_results(const QString& path, ResultTable& table, QString& error);

// What a result column holds, judged by its name.
enum class ColumnKind {
    Id,
    Coordinate,
    Estimate,
    StdError,
    TValue,
    Observed,
    Predicted,
    Residual,
    Leverage,
    StdResidual,
    CooksD,
    LocalR2,
    Condition,
    Mean,
    Variance,
    StdDev,
    Other
};

struct ColumnInfo {
    ColumnKind kind = ColumnKind::Other;
    QString variable;    // the parameter's or variable's name, for the kinds that have one
    int parameter = -1;  // 0-based parameter number of an estimate, standard error or t value
    int tcol = -1;       // the column of the same parameter's t value, -1 when there is none
};

// Classifies the columns of a result file.  The comma-delimited files name
// parameters by number (PARM_2, SVAL_2, TVAL_2; MEAN_1, VAR__1, STD__1):
// `variables` gives their names in that order ("Intercept" first for a
// model) when they are known; otherwise the numbered names stay.
std::vector<ColumnInfo> classify_columns(const QStringList& names, const QStringList& variables = {});

// The text a picker shows for a column: the variable's name and what the
// column holds ("INC: estimate", "Local R\u00b2").
QString column_label(const ColumnInfo& info, const QString& name);

// True for columns whose colours diverge from 0 (estimates and t values).
bool diverges(ColumnKind kind);

// The values of column `c` to map and chart: the markers of "no value"
// (-999 for standardised residuals and Cook's distances at a leverage of 1
// or more; -1 throughout the casewise columns of a run whose locations are
// not the observations) become NaN.
std::vector<double> mapped_values(const ResultTable& t, int c, const ColumnInfo& info);
