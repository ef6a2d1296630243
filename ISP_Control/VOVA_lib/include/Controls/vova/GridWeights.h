// Weighting of a 7 x 7 statistics grid, shared by the exposure metering and
// the focus sharpness: the two centre weightings of the grid (a broad and a
// narrow one) and their blend.
#ifndef VOVA_GRIDWEIGHTS_H
#define VOVA_GRIDWEIGHTS_H

namespace VOVA {

typedef double Grid7x7[7][7];

/** A broad centre weighting of the grid (sums to 0.9999). */
extern const Grid7x7 GRID_WEIGHT_BROAD;
/** A narrow centre weighting of the grid (sums to 0.9999). */
extern const Grid7x7 GRID_WEIGHT_NARROW;

/** Sum over the grid of weights[r][c] x grid[r][c]. */
double weightedGridSum(const Grid7x7 &grid, const Grid7x7 &weights);

/** Sum over the grid of (w x first[r][c] + (1 - w) x second[r][c]) x grid[r][c]. */
double blendedGridSum(const Grid7x7 &grid, const Grid7x7 &first, const Grid7x7 &second, double w);

}  // namespace VOVA

#endif  // VOVA_GRIDWEIGHTS_H
