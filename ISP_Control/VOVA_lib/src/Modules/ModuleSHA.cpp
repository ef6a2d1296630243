// Sharpening set-up. The denoiser's noise sigma and tau come from a
// calibration over the noise index (well depth per unit of gain) and are
// scaled by the user's multipliers; table points that pass their 16-bit
// field saturate instead of wrapping.
#include "vova/ModuleSHA.h"

#include <algorithm>
#include <cmath>

#include "vova/Sensor.h"

namespace VOVA {

namespace {

const double NOISE_BREAKPOINTS[SHA_NOISE_POINTS] = {0.5, 0.75, 1, 1.5, 2, 3, 4, 6, 8, 12, 16, 24, 32, 64, 128};
const double SAMPLE_SIGMA[SHA_NOISE_POINTS] = {0.525623,  0.525717,  0.563392,  0.538484,  0.538585,
                                               0.218964,  0.172387,  0.139622,  0.125163,  0.0808885,
                                               0.0453782, 0.0442295, 0.0440522, 0.0250851, 0.0159695};
const double SAMPLE_TAU[SHA_NOISE_POINTS] = {13.998,  16.0988, 14.0367, 19.2767, 14.4795, 31.1354, 37.9553, 44.1746,
                                             44.8372, 46.4815, 47.2445, 48.1339, 45.4722, 48.1982, 48.5187};

QOV_UINT16 saturate16(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= 65535.0)
        return 65535;
    return static_cast<QOV_UINT16>(v);
}

}  // namespace

double shaNoiseIndex(double wellDepth, double gain) { return wellDepth / (gain * 100.0); }

SHANoise shaInterpolateNoise(double n)
{
    const unsigned last = SHA_NOISE_POINTS - 1;
    if (n >= NOISE_BREAKPOINTS[last])
        return {SAMPLE_SIGMA[last], SAMPLE_TAU[last]};
    if (!(n > NOISE_BREAKPOINTS[0]))
        return {SAMPLE_SIGMA[0], SAMPLE_TAU[0]};
    unsigned k = 1;
    while (!(n < NOISE_BREAKPOINTS[k]))
        k++;
    const double l0 = std::log2(NOISE_BREAKPOINTS[k - 1]);
    const double x = (std::log2(n) - l0) / (std::log2(NOISE_BREAKPOINTS[k]) - l0);
    return {(1 - x) * SAMPLE_SIGMA[k - 1] + x * SAMPLE_SIGMA[k], (1 - x) * SAMPLE_TAU[k - 1] + x * SAMPLE_TAU[k]};
}

void shaSimilarityPoints(double sigma, double multiplier, QOV_UINT16 points[SHA_DN_POINTS])
{
    const double scaled = sigma * multiplier;
    const double s = 2.0 * scaled * scaled;
    for (unsigned j = 0; j < SHA_DN_POINTS; j++)
        points[j] = saturate16(s * (6.5 - j) * 219.0 + 0.5);
}

void shaAvoidancePoints(double tau, double multiplier, QOV_UINT16 points[SHA_DN_POINTS])
{
    // a multiplier of 0 makes every point infinite, which saturates
    const double a = 219.0 / (tau * multiplier);
    for (unsigned j = 0; j < SHA_DN_POINTS; j++)
        points[j] = saturate16(a * (6.5 - j) + 0.5);
}

void shaGainWeights(double radius, double weights[3])
{
    const double r2 = radius > 10.0 ? 100.0 : radius * radius;
    const double w1 = std::exp(-1.0 / r2);
    const double w2 = std::exp(-4.0 / r2);
    const double sum = 1.0 + w1 + w2;
    double g0 = 63.0 - std::floor(63.0 / sum);
    const double g1 = std::floor(63.0 * w1 / sum);
    double g2 = std::floor(63.0 * w2 / sum);
    const double d = g0 - g1 - g2;
    if (d > 0)
        g2 += d;
    else
        g0 += d;
    weights[0] = g0;
    weights[1] = g1;
    weights[2] = g2;
}

QOV_UINT16 shaThreshold(double threshold)
{
    const double t = threshold * 0.125;
    if (t > 1.0)
        return 256;
    return static_cast<QOV_UINT16>(std::min(256.0, std::trunc(t * 256.0 + 1.0)));
}

double shaStrength(double strength) { return 255.0 * std::min(0.56 * strength, 1.0); }

double shaEdgeScale(double edgeScale) { return edgeScale > 1.0 ? 255.0 : 255.0 * edgeScale; }

QOV_INT16 shaEdgeOffset(double edgeOffset)
{
    if (edgeOffset > 1.0)
        return 64;
    if (edgeOffset < -1.0)
        return -64;
    return static_cast<QOV_INT16>(std::trunc(64.0 * edgeOffset));
}

}  // namespace VOVA

namespace VOVA {

const ParamDef<double> ModuleSHA::SHA_RADIUS("SHA_RADIUS", 0.5, 10, 2.5);
const ParamDef<double> ModuleSHA::SHA_STRENGTH("SHA_STRENGTH", 0, 1, 0.4);
const ParamDef<double> ModuleSHA::SHA_THRESH("SHA_THRESH", 0, 1, 0);
const ParamDef<double> ModuleSHA::SHA_DETAIL("SHA_DETAIL", 0, 1, 1);
const ParamDef<double> ModuleSHA::SHA_EDGE_SCALE("SHA_EDGE_SCALE", 0, 1, 0.25);
const ParamDef<double> ModuleSHA::SHA_EDGE_OFFSET("SHA_EDGE_OFFSET", -1, 1, 0);
const ParamDefSingle<bool> ModuleSHA::SHA_DENOISE_BYPASS("SHA_DENOISE_BYPASS", false);
const ParamDef<double> ModuleSHA::SHADN_TAU("SHA_DN_TAU_MULTIPLIER", 0, 16, 1);
const ParamDef<double> ModuleSHA::SHADN_SIGMA("SHA_DN_SIGMA_MULTIPLIER", 0, 16, 1);

const KeyTable<ModuleSHA> &ModuleSHA::keys()
{
    typedef Keys<ModuleSHA> K;
    static const KeyTable<ModuleSHA> table =
        K::table(K::number(SHA_RADIUS, &ModuleSHA::fRadius), K::number(SHA_STRENGTH, &ModuleSHA::fStrength),
                 K::number(SHA_THRESH, &ModuleSHA::fThreshold), K::number(SHA_DETAIL, &ModuleSHA::fDetail),
                 K::number(SHA_EDGE_SCALE, &ModuleSHA::fEdgeScale), K::number(SHA_EDGE_OFFSET, &ModuleSHA::fEdgeOffset),
                 K::flag(SHA_DENOISE_BYPASS, &ModuleSHA::bBypassDenoise),
                 K::number(SHADN_TAU, &ModuleSHA::fDenoiseTau), K::number(SHADN_SIGMA, &ModuleSHA::fDenoiseSigma));
    return table;
}

ParameterGroup ModuleSHA::getGroup()
{
    ParameterGroup group;
    group.header = groupHeader();
    for (const ParamDef<double> *def :
         {&SHA_RADIUS, &SHA_STRENGTH, &SHA_THRESH, &SHA_DETAIL, &SHA_EDGE_SCALE, &SHA_EDGE_OFFSET})
        group.parameters.insert(def->name);
    return group;
}

ModuleSHA::ModuleSHA() : FamilyModule("VOVA_MOD_SHA") { load(ParameterList()); }

QOV_RESULT ModuleSHA::writeRecord(MC_PIPELINE &mc)
{
    const Sensor *sensor = pipeline->getSensor();
    if (!sensor) {
        LOG_Error("setup", __LINE__, getLoggingName(), "Pipeline does not have a sensor to get information from!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    MC_SHA &r = mc.sSHA;
    const SHANoise noise = shaInterpolateNoise(shaNoiseIndex(sensor->uiWellDepth, sensor->getGain()));
    shaSimilarityPoints(noise.sigma, fDenoiseSigma, r.aDNSimil);
    shaAvoidancePoints(noise.tau, fDenoiseTau, r.aDNAvoid);
    shaGainWeights(fRadius, r.aGainWeigth);
    r.ui16Threshold = shaThreshold(fThreshold);
    r.fStrength = shaStrength(fStrength);
    r.fDetail = std::min(fDetail, 1.0);
    r.fELWScale = shaEdgeScale(fEdgeScale);
    r.i16ELWOffset = shaEdgeOffset(fEdgeOffset);
    r.bDenoise = bBypassDenoise ? QOV_FALSE : QOV_TRUE;
    return QOV_SUCCESS;
}

}  // namespace VOVA
