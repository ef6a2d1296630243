// The white-balance loops' arithmetic: threshold tracking, statistics
// averages, colour transforms, the PID step, the Planckian tile tests and
// the temporal smoothing of the measured ratios.
#include "vova/AWBArithmetic.h"

#include <algorithm>
#include <cmath>

#include "vezaracommon/userlog.h"

namespace VOVA {
namespace awb {

double estimateThreshold(Threshold &t, double meteredRatio, double targetRatio)
{
    const double e = meteredRatio - targetRatio;
    t.accumulatedError = std::clamp(t.accumulatedError + e, -2.0, 2.0);

    switch (t.currentState) {
    case TS_RESET:
        t.accumulatedError = 0.0;
        t.nextThreshold = 0.5;
        t.errorMargin = 0.005;
        t.scanningFrames = 0.0;
        t.currentState = TS_SCANNING;
        return 0.5;
    case TS_SCANNING: {
        const double candidate = t.nextThreshold + 0.075 * e + 0.01 * t.accumulatedError;
        if (std::fabs(e) < t.errorMargin && meteredRatio > 0.0001)
            t.currentState = TS_FOUND;
        t.scanningFrames += 1.0;
        // A long scan widens the margin so that it ends.
        if (t.scanningFrames > 50.0)
            t.errorMargin *= 1.1;
        t.nextThreshold = candidate;
        break;
    }
    case TS_FOUND:
        t.accumulatedError = 0.0;
        if (std::fabs(e) > t.errorMargin || meteredRatio < 0.0001) {
            t.currentState = TS_SCANNING;
            t.errorMargin = 0.005;
        } else {
            t.errorMargin = std::max(0.98 * t.errorMargin, 0.005);
        }
        break;
    }
    t.nextThreshold = std::clamp(t.nextThreshold, 0.0, 1.0);
    return t.nextThreshold;
}

bool differenceAverage(QOV_UINT32 acc0, QOV_UINT32 acc1, QOV_UINT32 count0, QOV_UINT32 count1, double &average)
{
    const QOV_INT64 pixels = static_cast<QOV_INT64>(count0) - count1;
    const QOV_INT64 sum = static_cast<QOV_INT64>(acc0) - acc1;
    if (pixels <= 0 || sum < 0)
        return false;
    average = static_cast<double>(sum) / static_cast<double>(pixels);
    return true;
}

void colorTransform(double R, double G, double B, const ColorCorrection &C, double &oR, double &oG, double &oB)
{
    const Matrix &M = C.coefficients;
    oR = M[0][0] * R + M[1][0] * G + M[2][0] * B;
    oG = M[0][1] * R + M[1][1] * G + M[2][1] * B;
    oB = M[0][2] * R + M[1][2] * G + M[2][2] * B;
}

void invertColorCorrection(double R, double G, double B, const ColorCorrection &I, double &iR, double &iG,
                           double &iB)
{
    colorTransform(R + I.offsets[0][0], G + I.offsets[0][1], B + I.offsets[0][2], I, iR, iG, iB);
    iR *= I.gains[0][0];
    iG *= (I.gains[0][1] + I.gains[0][2]) / 2.0;
    iB *= I.gains[0][3];
    auto gamma = [](double x) { return 512.0 * std::pow(std::max(x, 0.0) / 512.0, 1.0 / 2.2); };
    iR = gamma(iR);
    iG = gamma(iG);
    iB = gamma(iB);
}

double correctTemperature(double temperature, double offset, double scale)
{
    return std::max((temperature + offset) * scale, 0.0);
}

double correctTemperature2(double temperature, double offset, double scale)
{
    return std::max(temperature * scale + offset, 0.0);
}

double combinedEstimate(double whitePatch, double averageColour, double highlightWhite)
{
    return 0.4 * whitePatch + 0.25 * averageColour + 0.35 * highlightWhite;
}

void PIDState::reset()
{
    flLastError = 0.0;
    bClipped = false;
    bConverged = false;
    flTargetRatio = 1.0;
}

void PIDState::update(double kp, double kd, double ki, double flIQE)
{
    Kp = kp;
    Kd = kd;
    Ki = ki;
    const double m = HWMinGain();
    double low, high;
    if (flIQE > 1.0) {
        low = flIQE * m;
        high = HWMaxGain() / flIQE;
    } else {
        low = m / flIQE;
        high = HWMaxGain() * flIQE;
    }
    // Far from unit gain the two bounds cross; an inverted range would pin
    // the output to one of them whatever the error.
    flMinGain = std::min(low, high);
    flMaxGain = std::max(low, high);
    if (Ki == 0.0) {
        LOG_Warning("update", __LINE__, "VOVA_CTRL_AWB", "Ki==0!\n");
        flIntegral = 0.0;
    } else {
        flIntegral = flMinGain / Ki;
    }
}

double PIDGain(PIDState *s, double flCurrentRatio)
{
    const double e = s->flTargetRatio - flCurrentRatio;
    if (e * e > 0.0001) {
        s->bConverged = false;
        // Without an integral gain the integral plays no part (and its
        // bounds would be infinite).
        if (s->Ki != 0.0)
            s->flIntegral = std::min(std::max(s->flIntegral + e, s->flMinGain / s->Ki), s->flMaxGain / s->Ki);
    } else {
        s->bConverged = true;
    }
    const double out = s->Kp * e + s->Kd * (e - s->flLastError) + s->Ki * s->flIntegral;
    s->flLastError = e;
    const double result = std::min(std::max(out, s->flMinGain), s->flMaxGain);
    s->bClipped = result != out;
    return result;
}

double tileLog2Ratio(double collected, double collectedGreen, double n, double log2QE)
{
    return (collected + n * log2QE - collectedGreen) / n;
}

bool beyondLowTemperature(double lowLog2RatioR, double lowLog2RatioB, double lr, double lb)
{
    return lowLog2RatioR < lr && lowLog2RatioB > lb;
}

bool chooseUpperSubCentroid(double dU, double dL, double D, double wU, double wL, double lineU, double lineL)
{
    if (dU < D && D <= dL)
        return true;
    if (dL < D && D <= dU)
        return false;
    if (wL < 0.7 * wU)
        return true;
    if (wU < 0.7 * wL)
        return false;
    return lineU < lineL;
}

bool potentialFlash(const rbNode_tag &s, const rbNode_tag &f)
{
    const double low = static_cast<float>(0.95);
    const double high = static_cast<float>(1.05);
    const bool rOut = s.rg < low * f.rg || s.rg > high * f.rg;
    const bool bOut = s.bg < low * f.bg || s.bg > high * f.bg;
    return rOut && bOut;
}

float weightSpread(float base, int nOfElem, int index)
{
    if (!(base > 1.0f))
        return 1.0f;
    const double b = base;
    const float oneMinusB = 1.0f - base;
    return static_cast<float>(100.0 * std::pow(b, index) / ((1.0 - std::pow(b, nOfElem)) / oneMinusB));
}

void generateWeights(std::deque<float> &weights, float base, int size)
{
    weights.clear();
    for (int i = 0; i < size; i++)
        weights.push_front(weightSpread(base, size, i));
}

int smoothingWindow(int stretchMs, double fps)
{
    const int rate = static_cast<int>(fps + 0.5);
    // Below 1000 / rate ms the window would hold no sample and the average
    // would be 0, which the gains turn into infinities.
    return std::max(stretchMs * rate / 1000, 1);
}

void flashFiltering(std::deque<rbNode_tag> &nodes, std::deque<rbNode_tag> &cache, const rbNode_tag &sample,
                    bool enabled)
{
    if (!enabled) {
        nodes.push_front(sample);
        return;
    }
    if (nodes.size() <= 5 || !potentialFlash(sample, nodes.front())) {
        // The scene came back: every held shot becomes a repeat of the last
        // accepted sample, or is dropped when there is none to repeat.
        if (nodes.empty())
            cache.clear();
        while (!cache.empty()) {
            nodes.push_front(nodes.front());
            cache.pop_front();
        }
        nodes.push_front(sample);
        return;
    }
    if (!cache.empty()) {
        // The jump lasted: the held samples join the history, newest in front.
        for (auto it = cache.rbegin(); it != cache.rend(); ++it)
            nodes.push_front(*it);
        nodes.push_front(sample);
        cache.clear();
        return;
    }
    cache.push_front(sample);
}

rbNode_tag movingAverageWeighted(std::deque<rbNode_tag> &nodes, std::deque<float> &weights, float base, int window)
{
    while (nodes.size() > static_cast<size_t>(std::max(window, 0)))
        nodes.pop_back();
    if (nodes.empty())
        return rbNode_tag{1.0, 1.0};
    if (nodes.size() != weights.size())
        generateWeights(weights, base, static_cast<int>(nodes.size()));
    rbNode_tag out{0.0, 0.0};
    auto w = weights.begin();
    for (const rbNode_tag &n : nodes) {
        const float share = *w++ / 100.0f;
        out.rg += n.rg * share;
        out.bg += n.bg * share;
    }
    return out;
}

}  // namespace awb
}  // namespace VOVA
