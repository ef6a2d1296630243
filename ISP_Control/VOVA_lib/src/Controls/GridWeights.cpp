// The two centre weightings of a 7 x 7 statistics grid and their blend.
#include "vova/GridWeights.h"

namespace VOVA {

const Grid7x7 GRID_WEIGHT_BROAD = {
    {0.0129, 0.0161, 0.0183, 0.0191, 0.0183, 0.0161, 0.0129},
    {0.0161, 0.02, 0.0227, 0.0237, 0.0227, 0.02, 0.0161},
    {0.0183, 0.0227, 0.0259, 0.0271, 0.0259, 0.0227, 0.0183},
    {0.0191, 0.0237, 0.0271, 0.0283, 0.0271, 0.0237, 0.0191},
    {0.0183, 0.0227, 0.0259, 0.0271, 0.0259, 0.0227, 0.0183},
    {0.0161, 0.02, 0.0227, 0.0237, 0.0227, 0.02, 0.0161},
    {0.0129, 0.0161, 0.0183, 0.0191, 0.0183, 0.0161, 0.0129},
};

const Grid7x7 GRID_WEIGHT_NARROW = {
    {0, 0, 0, 0.0001, 0, 0, 0},
    {0, 0.0003, 0.0036, 0.0086, 0.0036, 0.0003, 0},
    {0, 0.0036, 0.0487, 0.116, 0.0487, 0.0036, 0},
    {0.0001, 0.0086, 0.116, 0.2763, 0.116, 0.0086, 0.0001},
    {0, 0.0036, 0.0487, 0.116, 0.0487, 0.0036, 0},
    {0, 0.0003, 0.0036, 0.0086, 0.0036, 0.0003, 0},
    {0, 0, 0, 0.0001, 0, 0, 0},
};

double weightedGridSum(const Grid7x7 &grid, const Grid7x7 &weights)
{
    double sum = 0.0;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++)
            sum += weights[r][c] * grid[r][c];
    return sum;
}

double blendedGridSum(const Grid7x7 &grid, const Grid7x7 &first, const Grid7x7 &second, double w)
{
    double sum = 0.0;
    for (int r = 0; r < 7; r++)
        for (int c = 0; c < 7; c++)
            sum += (w * first[r][c] + (1.0 - w) * second[r][c]) * grid[r][c];
    return sum;
}

}  // namespace VOVA
