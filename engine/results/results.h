// Result files of the local fits and of the local statistics.
#pragma once

#include <string>
#include <utility>

#include "control/blocks.h"

namespace gwr {

void wr_csv(state& s);
void wr_e00(state& s);
void wrse00(state& s);
void wr_mif(state& s);
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

}  // namespace gwr
