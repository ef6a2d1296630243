// The Planckian white-balance control (hardware with the white-balance tile
// statistics): per shot the 7 x 7 tiles measured before the gains become
// red/green and blue/green ratios corrected by the sensor's quantum
// efficiencies; tiles beyond the calibration's low-temperature end are
// dropped, the rest form a centroid that is refined against the locus of the
// calibration, passed through a flash filter and a temporal smoother, and
// turned into the scene temperature and the gains that neutralise it.
#ifndef VOVA_CONTROLAWB_PLANCKIAN_H
#define VOVA_CONTROLAWB_PLANCKIAN_H

#include <deque>
#include <string>

#include "mc/mc_structs.h"
#include "vova/ControlAWB.h"

namespace VOVA {

class ModuleAWS;

class ControlAWB_Planckian : public ControlAWB {
public:
    /** One tile of the grid with its ratios. */
    struct AwbTile : public MC_TILE_STATS_AWS {
        static constexpr double RATIO_DEF = 1.0;
        double ratioR = RATIO_DEF;  ///< linear red/green
        double ratioB = RATIO_DEF;  ///< linear blue/green
        bool ratioRValid = false;
        bool ratioBValid = false;
        double log2_QEr = 1.0;
        double log2_QEb = 1.0;

        AwbTile() : MC_TILE_STATS_AWS() {}
        /** Computes both ratios once from the sums and the efficiencies. */
        void computeRatios();
        /** True (and the tile dropped) when it lies beyond the low-temperature bound. */
        bool applyBounds(double lowLog2RatioR, double lowLog2RatioB);
    };

    static constexpr int STATS_TILES_HORIZ = 7;
    static constexpr int STATS_TILES_VERT = 7;

    enum Smoothing_Features { WBTS_FEATURES_NONE = 0, WBTS_FEATURES_FF = 1 };
    static constexpr int DEFAULT_TEMPORAL_STRETCH = 300;
    static constexpr int TEMPORAL_STRETCH_MIN = 200;
    static constexpr int TEMPORAL_STRETCH_MAX = 5000;
    static constexpr int DEFAULT_WEIGHT_BASE = 2;
    static float getMinWeightBase() { return 1.001f; }
    static float getMaxWeightBase() { return 10.0f; }

    static const ParamDefSingle<bool> AWB_USE_AWS_CONFIG;
    static const ParamDef<double> AWB_MAX_RATIO_DISTANCE;
    static const ParamDefSingle<bool> WBT_USE_FLASH_FILTERING;
    static const ParamDefSingle<bool> WBT_USE_SMOOTHING;
    static const ParamDef<int> WBTS_TEMPORAL_STRETCH;
    static const ParamDef<float> WBTS_WEIGHT_BASE;

    explicit ControlAWB_Planckian(const std::string &logName);
    ~ControlAWB_Planckian() override;

    static const char *className() { return "ControlAWB_Planckian"; }
    static const char *groupHeader() { return "// Auto White Balance parameters (Planckian)"; }
    static const KeyTable<ControlAWB_Planckian> &keys();
    static ParameterGroup getGroup() { return family::groupOf(groupHeader(), keys()); }

    /** The calibration, its 6500 K correction, then the seven keys. */
    QOV_RESULT load(const ParameterList &parameters) override;
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;
    std::ostream &printState(std::ostream &os) const override;
    QOV_RESULT update(const Metadata &metadata) override;
    /** Tile statistics on, quantum efficiencies, a grid of sevenths of the image, the low-temperature bound. */
    QOV_RESULT configureStatistics() override;
    bool hasConverged() const override { return true; }

    // Temporal smoothing and flash filtering.
    virtual void setWBTSAlgorithm(bool smoothingEnabled, float base, int temporalStretch);
    virtual void setWBTSFeatures(unsigned int features);
    /** Both ratios of the sample more than 5 % from the newest accepted sample's. */
    virtual bool potentialFlash(rbNode_tag sample);
    virtual int getTemporalStretch() { return mTemporalStretch; }
    virtual void setTemporalStretch(int stretch) { mTemporalStretch = stretch; }
    /** The frame rate of the owner's sensor in its current mode; 0 without a sensor. */
    virtual double getFps();

    /** The three settings and their info line; the history is kept. */
    void getWBTSAlgorithm(bool &smoothingEnabled, float &base, int &temporalStretch);
    void getWBTSFeatures(unsigned int &features) const;
    void getFlashFiltering(bool &enabled) const { enabled = mFlashFilteringEnabled; }
    void setFlashFiltering(bool enabled) { mFlashFilteringEnabled = enabled; }
    bool ts_getFlashFiltering() const { return mFlashFilteringEnabled; }
    bool flashFilteringDisabled() const { return !mFlashFilteringEnabled; }
    bool ts_getSmoothing() const { return mUseTemporalSmoothing; }
    void ts_setSmoothing(bool enabled) { mUseTemporalSmoothing = enabled; }
    int ts_getTemporalStretch() const { return mTemporalStretch; }
    void ts_setTemporalStretch(int stretch) { mTemporalStretch = stretch; }
    float getWeightParam() const { return mWeightsBase; }
    float ts_getWeightBase() const { return mWeightsBase; }
    void ts_setWeightBase(float base) { mWeightsBase = base; }
    /** The base clipped to [getMinWeightBase(), getMaxWeightBase()] with a warning. */
    void setWeightParam(float base);
    /** Empties the held samples and the history. */
    void temporalAwbClear();
    float weightSpread(int nOfElem, int index) const { return awb::weightSpread(mWeightsBase, nOfElem, index); }
    void generateWeights(int size) { awb::generateWeights(rbWeights, mWeightsBase, size); }
    void flashFiltering(double in_RG, double in_BG);
    void temporalAWBsmoothing(double &out_RG, double &out_BG);
    void movingAverageWeighted(double &out_RG, double &out_BG);
    void smoothingNone(double &out_RG, double &out_BG);

    // Estimation steps.
    void processStatistics(const MC_STATS_AWS &stats);
    /** Refines the centroid towards the sub-centroid on the locus side that holds the scene; false without a locus. */
    bool postprocessCentroid(double &ratioR, double &ratioB);

protected:
    AwbTile awbTiles[STATS_TILES_VERT][STATS_TILES_HORIZ];
    double fRatioR;
    double fRatioB;
    double fLog2_R_Qeff;
    double fLog2_B_Qeff;
    double f_R_Qeff;
    double f_B_Qeff;
    double fLog2LowTempRatioR;
    double fLog2LowTempRatioB;
    double fMaxRatioDistance;
    double fMaxRatioDistancePow2;
    bool useCustomAwsConfig;

    bool mFlashFilteringEnabled;
    bool mUseTemporalSmoothing;
    int mTemporalStretch;
    float mWeightsBase;
    std::deque<float> rbWeights;
    std::deque<rbNode_tag> rbNodes;
    std::deque<rbNode_tag> rbNodesCache;

private:
    void logSmoothingSettings() const;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLAWB_PLANCKIAN_H
