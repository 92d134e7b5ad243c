// Result files of the local fits and of the local statistics.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "control/blocks.h"

namespace gwr {

// The result file of the run, in the format of the control file, with its
// listing line and its progress lines; nothing when none is asked for.
// Local statistics (descriptive runs) have writers of their own.  Model
// runs set s.outst1.npar first.
void write_results(state& s);

// Comma-delimited text of the local model: ID, coordinates, estimates,
// standard errors, t values and the casewise columns.
void wr_csv(state& s);
// ArcInfo export file of the local model: a point coverage and its
// attribute table.
void wr_e00(state& s);
// The same for the local statistics (means, variances, standard deviations).
void wrse00(state& s);
// MapInfo interchange pair (.mif/.mid) of the local model.
void wr_mif(state& s);
// The same for the local statistics (means and variances).
void wrsmif(state& s);
// GeoPackage layers of the local model results and of the local statistics.
void wr_gpkg(state& s);
void wrsgpkg(state& s);

// Names of the MapInfo .mif/.mid pair written for the result file named in
// the control file: that name with its extension replaced by .mif and .mid
// (appended when it has none); "mapinfo.mif" and "mapinfo.mid" in the
// working directory when no name was given.
std::pair<std::string, std::string> mif_names(const std::string& outfil);

// Name of the GeoPackage written for the result file named in the control
// file: that name with its extension replaced by .gpkg (appended when it has
// none); "results.gpkg" in the working directory when no name was given.
std::string gpkg_name(const std::string& outfil);

// The listing line after a GeoPackage was written: the file and the number
// of features.
std::string gpkg_note(const state& s);

// The result files a run may write in the format asked for: none; the
// GeoPackage derived from the named file; else the named file, and for the
// MapInfo format also the derived .mif/.mid pair.
std::vector<std::string> outnames(const std::string& outfil, result_format format);

// Refuses a result file that is the data file or the location file (the
// same file under any name, also through the derived .mif/.mid names):
// throws io_error naming both.  Called once the control file is read, before
// any data record is read and before anything is written.
void chkout(const state& s);

}  // namespace gwr
