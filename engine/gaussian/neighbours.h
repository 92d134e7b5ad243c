// Neighbour search for the kernels with a cut-off.
//
// The adaptive bi-square and the cylinder give weight 0 to every
// observation beyond a distance, so a fit needs only the observations near
// its location.  A uniform grid over the observation points finds them
// without measuring the distance of every observation: the grid is searched
// outward, ring by ring, until the searched block provably holds every
// observation that can carry weight (for the adaptive kernel: until at least
// N measured observations lie within the distance that the block is known to
// cover, so that the N-th smallest distance among the candidates is the N-th
// smallest of all).  Distances and weights are computed by the same formulas
// as the full scan, so the weights are the same bits, ties at the N-th
// distance included.  The observations with a non-zero weight are listed in
// ascending order (w.nbr), and the sums of a fit run over that list, in
// observation order, giving the results of the full scan bit for bit.
//
// Spherical coordinates (longitude and latitude in radians, great-circle
// distances in kilometres) have their own index: a grid over the points'
// unit vectors in three dimensions.  The chord between two unit vectors
// grows with the great-circle distance, so a ball of cells around the
// location's unit vector holds every observation within a distance; the
// distances themselves are always computed by the full scan's formula,
// and every bound taken from a chord carries a margin wide enough for that
// formula's rounding (and for its rule that puts points a few metres apart
// at distance 0).
#pragma once

#include <memory>
#include <vector>

#include "control/blocks.h"

namespace gwr {

// Uniform grid over planar observation points, about two per cell.
struct nbgrid {
    double x0 = 0.0, y0 = 0.0;  // lower-left corner of cell (0, 0)
    double cs = 0.0;            // cell side
    int nx = 0, ny = 0;         // cells along x and y
    std::vector<int> start;     // first entry of cell c (c = cy * nx + cx) in idx; nx*ny + 1 entries
    std::vector<int> idx;       // observations (0-based) by cell, ascending within a cell
    std::vector<double> gx, gy; // their coordinates, in the same order

    int cellx(double x) const;  // cell column of x, clamped to the grid
    int celly(double y) const;  // cell row of y, clamped to the grid
};

// The grid over the observation points, or null where it does not pay or
// does not apply: spherical coordinates, an unknown kernel, the Gaussian
// kernel with an observation weight that is not positive and finite, fewer
// than `minobs` observations, coordinates that are not finite or cells too
// small for the coordinates' precision.
std::shared_ptr<const nbgrid> build_nbgrid(const state& s, int minobs = 1024);

// Kernel weights from the grid: the same weights as the full scan of
// genwgt_at, with wt 0 outside the listed neighbours.
void genwgt_grid(const state& s, const nbgrid& g, work& w, double x, double y, double bw);

// The adaptive bi-square's D at (x, y) from the grid: the N-th smallest
// squared distance of all observations (N = s.fit5.nnear; 0 when N < 1),
// the value genwgt_grid weights by, without forming the weights (w's
// weights are left all 0 and its neighbour list empty).
double bisquare_dmax_grid(const state& s, const nbgrid& g, work& w, double x, double y);

// The weights and list of genwgt_grid for the adaptive bi-square at (x, y)
// when its D is already known (from a search at the same point and size):
// the same bits, without selecting D again.  x, y and D must be finite.
void bisquare_within_grid(const state& s, const nbgrid& g, work& w, double x, double y, double D);

// Whether the grid saves work at (x, y): always for the adaptive kernel;
// for the cylinder and the Gaussian when some cells lie beyond their reach
// (where every observation is within reach, listing them all costs more
// than a plain scan).
bool grid_pays(const state& s, const nbgrid& g, double x, double y, double bw);

// Grid over the unit vectors u = (cos y cos x, cos y sin x, sin y) of
// spherical observations, in a frame turned towards the points' mean
// direction.  Grid axis 0 runs along the cells of a row, which are
// consecutive in idx; the axes are ordered by the extent of the points
// along them, longest first.
struct sphgrid {
    double axis[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // grid axes as unit vectors
    double lo[3] = {}, hi[3] = {};  // the points' bounding box along the grid axes
    double cs = 0.0;               // cell side; cell k of an axis starts at lo + k * cs
    int nc[3] = {0, 0, 0};         // cells along the grid axes
    double per_cell = 1.0;         // observations per non-empty cell
    std::vector<int> start;        // first entry of cell (c2 * nc[1] + c1) * nc[0] + c0 in idx
    std::vector<int> idx;          // observations (0-based) by cell, ascending within a cell
    std::vector<double> glon;      // their longitudes, in the same order
    std::vector<double> gsin, gcos;  // sine and cosine of their latitudes
    // Cells crowded with observations (a cluster of points) have grids of
    // their own over the same axes, nested as deep as needed; the points of
    // such a cell are ordered by its grid's cells, and that grid's start
    // values are positions in idx.  Nested grids keep only the geometry,
    // start, sub_of and subs.
    std::vector<int> sub_of;       // per cell: its own grid in subs, or -1 (empty when subs is)
    std::vector<sphgrid> subs;

    int cell(int axis, double v) const;  // cell of grid coordinate v, clamped to the grid
    // The unit vector of (x, y) in grid-axis order.
    void unit(double x, double y, double v[3]) const;
};

// The spherical grid, or null where it does not pay or does not apply:
// planar coordinates, fewer than `minobs` observations, coordinates that
// are not finite (or longitudes too large for a difference of two of them to
// be exact enough), all points at one place, and, for the Gaussian kernel,
// observation weights that are not all positive and finite.
std::shared_ptr<const sphgrid> build_sphgrid(const state& s, int minobs = 1024);

// Kernel weights from the spherical grid: the same weights as the full scan
// of genwgt_at, with wt 0 outside the listed neighbours.  The location must
// be one for which sphgrid_pays holds.
void genwgt_sphgrid(const state& s, const sphgrid& g, work& w, double x, double y, double bw);

// Whether the spherical grid serves (x, y): a finite location of moderate
// longitude; for the cylinder and the Gaussian, a reach (widened by the
// margin) shorter than half the circumference that leaves some observations
// out; always for the adaptive kernel otherwise.
bool sphgrid_pays(const state& s, const sphgrid& g, double x, double y, double bw);

// Neighbour index for the duration of one fitting loop: builds s.nbix (or
// s.sphix for spherical coordinates) when it pays (at least s.nbmin
// observations); on leaving clears both and marks every thread's weights as
// a full vector again, so that later fits (and callers that fill wt
// themselves) scan every observation.
class nbscope {
public:
    explicit nbscope(state& s);
    ~nbscope();  // drops the indexes; every thread's weights are a full vector again
    nbscope(const nbscope&) = delete;
    nbscope& operator=(const nbscope&) = delete;

private:
    state& s_;  // the state whose indexes the scope holds
};

}  // namespace gwr
