#include "vova/LineSegments.h"

#include <cmath>
#include <limits>

namespace VOVA {

LineSegment::LineSegment(double _x1, double _y1, double _x2, double _y2, double _t1, double t2)
    : x1(_x1), y1(_y1), t1(_t1), x2(_x2), y2(_y2), lowBound(true), highBound(true)
{
    lengthPow2 = getLengthPow2(x1, y1, x2, y2);
    length = std::sqrt(lengthPow2);
    // A zero-length segment has no direction: its whole extent is temperature t1.
    temperatureDensity = length > 0.0 ? (t2 - t1) / length : 0.0;
}

double LineSegment::getLengthPow2(double _x1, double _y1, double _x2, double _y2)
{
    return (_x2 - _x1) * (_x2 - _x1) + (_y2 - _y1) * (_y2 - _y1);
}

double LineSegment::getLength(double _x1, double _y1, double _x2, double _y2)
{
    return std::sqrt(getLengthPow2(_x1, _y1, _x2, _y2));
}

void LineSegment::getRbProj(const double ratioR, const double ratioB, double &Xp, double &Yp) const
{
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    if (dx != 0.0) {
        const double c = y1 * dx - x1 * dy;  // the line is dx y - dy x = c
        Xp = (dx * (dx * ratioR + dy * ratioB) - dy * c) / (dx * dx + dy * dy);
        Yp = (Xp * dy + c) / dx;
    } else if (dy != 0.0) {
        Xp = x1;  // vertical segment
        Yp = ratioB;
    } else {
        Xp = x1;  // both ends equal
        Yp = y1;
    }

    // Each coordinate is stopped on its own, so a stopped projection stays in
    // the segment's bounding box.
    if (lowBound) {
        if ((x1 <= x2 && Xp < x1) || (x1 >= x2 && Xp > x1))
            Xp = x1;
        if ((y1 <= y2 && Yp < y1) || (y1 >= y2 && Yp > y1))
            Yp = y1;
    }
    if (highBound) {
        if ((x1 <= x2 && Xp > x2) || (x1 >= x2 && Xp < x2))
            Xp = x2;
        if ((y1 <= y2 && Yp > y2) || (y1 >= y2 && Yp < y2))
            Yp = y2;
    }
}

double LineSegment::getDistancePow2(const double ratioR, const double ratioB) const
{
    if (x1 == x2 && y1 == y2)
        return getLengthPow2(ratioR, ratioB, x1, y1);
    double Xp, Yp;
    getRbProj(ratioR, ratioB, Xp, Yp);
    return getLengthPow2(ratioR, ratioB, Xp, Yp);
}

double LineSegment::getTemperature(const double ratioR, const double ratioB) const
{
    double Xp, Yp;
    getRbProj(ratioR, ratioB, Xp, Yp);
    const double d = getLength(x1, y1, Xp, Yp);
    // Negative on the far side of the first end (or on it), positive towards
    // the second end; measured along both axes so that vertical segments work.
    const double side = (x2 - x1) * (x1 - Xp) + (y2 - y1) * (y1 - Yp);
    const double sign = side >= 0.0 ? -1.0 : 1.0;
    return t1 + sign * d * temperatureDensity;
}

LineSegments::const_iterator LineSegments::getClosestLine(const double ratioR, const double ratioB) const
{
    double minDistance = std::numeric_limits<double>::max();
    const_iterator closest = end();
    for (const_iterator it = begin(); it != end(); ++it) {
        const double distance = it->getDistancePow2(ratioR, ratioB);
        if (distance < minDistance) {
            minDistance = distance;
            closest = it;
        }
    }
    return closest;
}

bool LineSegments::getRbProj(const double ratioR, const double ratioB, double &Xp, double &Yp) const
{
    const_iterator closest = getClosestLine(ratioR, ratioB);
    if (closest == end())
        return false;  // no segment, or no finite distance
    closest->getRbProj(ratioR, ratioB, Xp, Yp);
    return true;
}

double LineSegments::getTemperature(const double ratioR, const double ratioB) const
{
    const_iterator closest = getClosestLine(ratioR, ratioB);
    if (closest == end())
        return 6500.0;  // no segment, or no finite distance
    return closest->getTemperature(ratioR, ratioB);
}

}  // namespace VOVA
