// The model control file as one typed value, shared by the model editor,
// the descriptive statistics editor, their writer and the readers.
//
// A control file holds 16 records, one a line, then optional keyword records
// ("limits 50 400"), one a line.  control_records() writes a control_file as
// its lines (the toolkit ends each with CR LF); parse_control_file() reads
// the text of a file into one, exactly as the engine reads the records and
// under any locale (open_control.h).  Values are kept as they were written,
// also those the editors never write (a result code of 7, a test code of
// -1), so a file read and written again is the same file.
//
// A model type or a keyword record is added in one place: a line of
// kModelTypes below, or a line of the keyword table of "Model Options"
// (frmOptions.cpp); the writer and the reader carry every keyword record
// whatever its keyword.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

// Record 12: the result file's format.
enum class result_format : long { none = 0, csv = 1, e00 = 2, mif = 3, gpkg = 4 };
// Record 13: the test of spatial variation.
enum class test_code : long { none = 0, monte_carlo = 1, leung = 2 };
// Record 16: the coordinates.
enum class coordinate_type : long { cartesian = 1, spherical = 2 };

// Record 15 of a descriptive statistics file.
constexpr long kDescriptiveMethod = 1;

// The regression models the front end offers, in the order its windows list
// them ("Model Options", the wizard's second page, Analysis > Regression).
struct model_type {
    long method;              // record 15
    const char* caption;      // its option and menu item
    const char* menu_item;    // object name of its item in Analysis > Regression
    bool separate_locations;  // may be fitted at the points of a location file
};
inline constexpr model_type kModelTypes[] = {
    {2, "Gaussian", "mnuGauss", true},
    {3, "Logistic", "mnuLogist", false},
    {4, "Poisson", "mnuBi", false},
    {6, "Multiscale (Gaussian)", "mnuMultiscale", false},
};
// The model type of record 15, or null for any other value.
const model_type* find_model_type(long method);

struct control_file {
    // Records 1 to 3: the data file; the location file ("" = fit at the data
    // points); the result file ("" = none).
    QString data_file;
    QString location_file;
    QString result_file;
    // Record 4: the column of the dependent variable, 0 in a descriptive
    // statistics file.
    long dependent = 0;
    // Record 5: the columns of x, y and the weight (the offset of a Poisson
    // model), 0 = no weight.
    long x = 0, y = 0, weight = 0;
    // Record 6.
    QString title;
    // Record 7: one letter per column of the data file, T for a variable in
    // the model, as written.
    QString flags;
    // Record 8, by column as the engine reads it: the kernel letter (f, v),
    // the calibration letter (c, a, n) and the sample letter (a, s, n).  A
    // null letter is not written: a descriptive statistics file holds the
    // kernel letter alone, and the model editor writes no kernel letter for
    // a kernel text it does not know, so its other two letters move left.
    QChar kernel, calibration, sample;
    // Record 9 as written: the bandwidth, the number of neighbours, 0 for a
    // calibration on all points, or a minus sign and the sample percentage
    // ("-" alone for a sample whose percentage box was left empty).
    QString bandwidth;
    // Records 10 and 11: list the calibration, the predictions (1 = yes).
    long history = 0;
    long predictions = 0;
    result_format format = result_format::none;  // record 12
    test_code test = test_code::none;            // record 13
    long diagnostics = 0;                        // record 14: 1 = list them
    long method = 0;                             // record 15
    // Record 16; a file may end without it.
    std::optional<coordinate_type> coordinates;
    // The keyword records after record 16, as written, blank lines left out.
    QStringList keywords;

    bool operator==(const control_file&) const = default;
};

// The lines of a control file: the 16 records (15 without coordinates),
// then the keyword records.
QStringList control_records(const control_file& file);

// A control file read from text: its records in order, up to the first one
// that could not be read (a missing record, text where a number is due).
struct control_read {
    control_file file;
    // Records 1 to `complete` were read; 16 when the whole file was (record
    // 16 may be absent).
    int complete = 0;
    // Why record complete + 1 could not be read.
    std::string fault;
    // Throws control_read_error (open_control.h) unless record `record` was
    // read, so a reader acts on the records before a fault in their order.
    void need(int record) const;
};
control_read parse_control_file(const QString& text);
