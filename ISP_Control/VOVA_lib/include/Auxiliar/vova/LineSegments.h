// Segments of the grey locus in (log2(R/G), log2(B/G)) space, each end
// carrying a colour temperature; a point's projection gives its temperature.
#ifndef VOVA_LINESEGMENTS_H
#define VOVA_LINESEGMENTS_H

#include <list>

namespace VOVA {

class LineSegment {
public:
    LineSegment(double x1, double y1, double x2, double y2, double t1, double t2);

    static double getLengthPow2(double x1, double y1, double x2, double y2);
    static double getLength(double x1, double y1, double x2, double y2);

    /** Orthogonal projection onto the segment's line, stopped at bounded ends. */
    void getRbProj(const double ratioR, const double ratioB, double &Xp, double &Yp) const;
    /** Squared distance from the point to its projection (to the end for a zero-length segment). */
    double getDistancePow2(const double ratioR, const double ratioB) const;
    /** Temperature of the point's projection, linear along the segment. */
    double getTemperature(const double ratioR, const double ratioB) const;

    double x1, y1, t1;
    double x2, y2;
    bool lowBound;   ///< projections stop at the first end
    bool highBound;  ///< projections stop at the second end
    double length;
    double lengthPow2;
    double temperatureDensity;  ///< kelvin per unit of length
};

class LineSegments : public std::list<LineSegment> {
public:
    /** First segment with the smallest squared distance; end() when there is none. */
    const_iterator getClosestLine(const double ratioR, const double ratioB) const;
    /** Projection onto the closest segment; false, outputs untouched, when there is none. */
    bool getRbProj(const double ratioR, const double ratioB, double &Xp, double &Yp) const;
    /** Temperature on the closest segment; 6500 when there is none. */
    double getTemperature(const double ratioR, const double ratioB) const;
};

}  // namespace VOVA

#endif  // VOVA_LINESEGMENTS_H
