// Identifiers and small enumerations of the control core: the setup modules
// in pipeline order, the control loops in the order they run, and how each
// kind of module is scheduled.
#ifndef VOVA_VOVADEFS_H
#define VOVA_VOVADEFS_H

namespace VOVA {

/** The setup modules in hardware-pipeline order: the order of every walk over them. */
enum SetupID {
    STP_IIF = 0,
    STP_EXS,
    STP_BLC,
    STP_RLT,
    STP_LSH,
    STP_WBC,
    STP_FOS,
    STP_DNS,
    STP_DPF,
    STP_ENS,
    STP_LCA,
    STP_CCM,
    STP_MGM,
    STP_GMA,
    STP_WBS,
    STP_AWS,
    STP_HIS,
    STP_R2Y,
    STP_MIE,
    STP_VIB,
    STP_TNM,
    STP_FLD,
    STP_SHA,
    STP_ESC,
    STP_DSC,
    STP_Y2R,
    STP_DGM,
    STP_HDR,
    STP_OUT = 28,
};

/** The control loops, in the order they run on every shot. */
enum ControlID {
    CTRL_AWB = 0,
    CTRL_AE,
    CTRL_AF,
    CTRL_TNM,
    CTRL_DNS,
    CTRL_LBC,
    CTRL_LSH,
    CTRL_AUX1,
    CTRL_AUX2,
};

/** When a control loop runs: on every acquired shot, or only when asked. */
enum CtrlUpdateMode {
    UPDATE_SHOT = 0,
    UPDATE_REQUEST = 1,
};

/** Priority of a setup module; a smaller value is a higher priority. */
enum modulePriority {
    HIGH = 0,
    NORMAL = 1,
    LOW = 2,
};

/** Update basis of a setup module (informative: the pipeline does not look at it). */
enum moduleUpdate {
    FRAME = 0,
    REQUEST = 1,
};

/** How the encoder and display scalers read their rectangle. */
enum ScalerRectType {
    SCALER_RECT_CLIP = 0,
    SCALER_RECT_CROP = 1,
    SCALER_RECT_SIZE = 2,
};

}  // namespace VOVA

#endif  // VOVA_VOVADEFS_H
