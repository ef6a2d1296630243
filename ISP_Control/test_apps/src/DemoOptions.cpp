// Bramble's command line: every option registered with the option parser
// with its type, help text and target, the checks of the values, and the
// usage with the run-time key help and the sensor table.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "DemoConfiguration.h"
#include "dyncmd/ci_dyncmd.h"
#include "sensorapi/sensorapi.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "Bramble"

namespace {

// Counts the problems of the command line; `help` silences the reports the
// usage makes moot.
struct OptionCheck {
    bool help = false;
    int problems = 0;

    // A parse error of an option ("while parsing parameter ..."); reported
    // even with help for the options that say so.
    void parsed(DYNCMDLINE_RETURN_CODE ret, const char *option, bool evenWithHelp = false)
    {
        if (ret == RET_FOUND || ret == RET_NOT_FOUND)
            return;
        if (!help || evenWithHelp) {
            LOG_ERROR("while parsing parameter %s\n", option);
            ++problems;
        }
    }
    // A required option: its absence is reported without help.
    void required(DYNCMDLINE_RETURN_CODE ret, const char *option, const char *missing)
    {
        if (ret != RET_NOT_FOUND) {
            parsed(ret, option);
        } else if (!help) {
            LOG_ERROR("%s", missing);
            ++problems;
        }
    }
    // A value kept in a narrower field than the parser's: what does not fit
    // is refused rather than cut. True when the value fits.
    bool fits(long long value, const char *option, long long lowest, long long highest)
    {
        if (value >= lowest && value <= highest)
            return true;
        if (!help)
            LOG_ERROR("%s %lld does not fit: the range is %lld to %lld\n", option, value, lowest, highest);
        ++problems;
        return false;
    }
};

// Registers an unsigned option whose field is wider than the parser's 32 bits.
DYNCMDLINE_RETURN_CODE registerWide(const char *option, const char *help, QOV_UINT64 &target)
{
    QOV_UINT32 value = 0;
    const DYNCMDLINE_RETURN_CODE ret = DYNCMD_RegisterParameter(option, DYNCMDTYPE_UINT, help, &value);
    if (ret == RET_FOUND)
        target = value;
    return ret;
}

}  // namespace

DemoConfiguration::~DemoConfiguration()
{
    std::free(pszSensor);
    std::free(pszVezaraSetupArgsFile);
    std::free(pszInputJUX);
}

int DemoConfiguration::loadParameters(int argc, char **argv)
{
    if (DYNCMD_AddCommandLine(argc, argv, "-source") != QOV_SUCCESS) {
        LOG_ERROR("unable to parse command line\n");
        DYNCMD_ReleaseParameters();
        return 1;
    }
    OptionCheck check;
    DYNCMDLINE_RETURN_CODE ret = DYNCMD_RegisterParameter("-h", DYNCMDTYPE_COMMAND, "Usage information", nullptr);
    check.help = ret == RET_FOUND;

    check.required(DYNCMD_RegisterParameter("-setupFile", DYNCMDTYPE_STRING,
                                            "VezaraSetupArgs file to use to configure the Pipeline",
                                            &pszVezaraSetupArgsFile),
                   "-setupFile", "No setup file provided\n");

    static const std::string sensorHelp =
        std::string("Sensor to use for the run. If '") + "IIF Datagen" +
        "' is used then the sensor will be considered a data-generator.";
    check.required(DYNCMD_RegisterParameter("-sensor", DYNCMDTYPE_STRING, sensorHelp.c_str(), &pszSensor), "-sensor",
                   "no sensor provided\n");

    // The sensor interface numbers modes in 16 bits.
    int mode = 0;
    ret = DYNCMD_RegisterParameter("-sensorMode", DYNCMDTYPE_INT, "Sensor mode to use", &mode);
    if (ret == RET_FOUND && check.fits(mode, "-sensorMode", 0, UINT16_MAX))
        sensorMode = mode;
    check.parsed(ret, "-sensorMode");
    check.parsed(DYNCMD_RegisterParameter("-sensorExposure", DYNCMDTYPE_UINT,
                                          "[optional] initial exposure to use in us", &uiSensorInitExposure),
                 "-sensorExposure");
    check.parsed(DYNCMD_RegisterParameter("-sensorGain", DYNCMDTYPE_FLOAT, "[optional] initial gain to use",
                                          &flSensorInitGain),
                 "-sensorGain", true);

    ret = DYNCMD_RegisterArray("-sensorFlip", DYNCMDTYPE_BOOL8,
                               "[optional] Set 1 to flip the sensor Horizontally and Vertically. If only 1 option is "
                               "given it is assumed to be the horizontal one\n",
                               sensorFlip, 2);
    if (ret == RET_INCOMPLETE)
        std::fprintf(stderr, "Warning: incomplete -sensorFlip, flipping is H=%d V=%d\n", sensorFlip[0],
                     sensorFlip[1]);
    else
        check.parsed(ret, "-sensorFlip");

    QOV_UINT32 algorithm = 0;
    ret = DYNCMD_RegisterParameter("-chooseAWB", DYNCMDTYPE_UINT,
                                   "Enable usage of White Balance Control algorithm and loading of the multi-ccm "
                                   "parameters - values are mapped VOVA::Correction_Types (1=AC, 2=WP, 3=HLW, "
                                   "4=COMBINED)",
                                   &algorithm);
    if (ret == RET_FOUND) {
        if (algorithm >= WB_AC && algorithm <= WB_PLANCKIAN) {
            AWBAlgorithm = static_cast<awbControlAlgorithm_t>(algorithm);
        } else {
            if (!check.help)
                LOG_ERROR("Unsupported AWB algorithm %d given\n", algorithm);
            ++check.problems;
        }
    } else {
        check.parsed(ret, "-chooseAWB");
    }

    ret = DYNCMD_RegisterParameter("-useWBTS", DYNCMDTYPE_BOOL8,
                                   "Enable usage of White Balance Temporal Smoothing algorithm - (1=enabled, "
                                   "0=disabled)",
                                   &WBTSEnabled);
    WBTSEnabledOverride = ret == RET_FOUND;
    check.parsed(ret, "-useWBTS");

    ret = DYNCMD_RegisterParameter("-wbtsTemporalStretch", DYNCMDTYPE_INT,
                                   "[optional] time to settle awb after change (milliseconds) 200 < param <= 5000, "
                                   "default 300",
                                   &WBTSTemporalStretch);
    if (ret == RET_FOUND) {
        WBTSTemporalStretchOverride = true;
        if (WBTSTemporalStretch < kTemporalStretchMin) {
            LOG_WARNING("-wbtsTemporalStretch below minimum. Clipping\n");
            WBTSTemporalStretch = kTemporalStretchMin;
        } else if (WBTSTemporalStretch > kTemporalStretchMax) {
            LOG_WARNING("-wbtsTemporalStretch above max. Clipping\n");
            WBTSTemporalStretch = kTemporalStretchMax;
        }
    }
    check.parsed(ret, "-wbtsTemporalStretch", true);

    ret = DYNCMD_RegisterParameter("-wbtsWeightsBase", DYNCMDTYPE_FLOAT,
                                   "[optional] parameter used for wbts algorithm 1<= param <=10, default 2",
                                   &WBTSWeightsBase);
    if (ret == RET_FOUND) {
        WBTSWeightsBaseOverride = true;
        const float lowest = VOVA::ControlAWB_Planckian::getMinWeightBase();
        const float highest = VOVA::ControlAWB_Planckian::getMaxWeightBase();
        if (WBTSWeightsBase < lowest) {
            LOG_WARNING("-wbtsWeightsBase parameter < %f. Clipping\n", lowest);
            WBTSWeightsBase = lowest;
        } else if (WBTSWeightsBase > highest) {
            LOG_WARNING("-wbtsWeightsBase parameter > %f. Clipping\n", highest);
            WBTSWeightsBase = highest;
        }
    }
    check.parsed(ret, "-wbtsWeightsBase", true);

    QOV_UINT32 features = 0;
    ret = DYNCMD_RegisterParameter("-featuresWBTS", DYNCMDTYPE_UINT,
                                   "Enable usage of White Balance Temporal Smoothing algorithm - values are mapped "
                                   "VOVA::Smoothing_Features (0=None, 1=FlashFiltering)",
                                   &features);
    if (ret == RET_FOUND) {
        WBTSFeatures = features & 1;
        WBTSFeaturesOverride = true;
    }
    check.parsed(ret, "-featuresWBTS");

    // Commands that clear a flag.
    const struct {
        const char *option;
        const char *help;
        bool &field;
    } disables[] = {
        {"-disableAE", "Disable construction of the Auto Exposure control object", controlAE},
        {"-disableAWB", "Disable construction of the Auto White Balance control object", controlAWB},
        {"-disableAF", "Disable construction of the Auto Focus control object", controlAF},
        {"-disableTNMC", "Disable construction of the Tone Mapper control object", controlTNM},
        {"-disableDNS", "Disable construction of the Denoiser control object", controlDNS},
        {"-disableLBC", "Disable construction of the Light Base Control object", controlLBC},
    };
    for (const auto &d : disables) {
        if (DYNCMD_RegisterParameter(d.option, DYNCMDTYPE_COMMAND, d.help, nullptr) == RET_FOUND)
            d.field = false;
    }
    if (DYNCMD_RegisterParameter("-disableAutoDisplay", DYNCMDTYPE_COMMAND,
                                 "Disable the always enabling of display output (unless taking DE)",
                                 nullptr) == RET_FOUND) {
        alwaysHasDisplay = false;
        LOG_WARNING("Disabling auto display!!! TARN will not work\n");
    }
    if (DYNCMD_RegisterParameter("-updateASAP", DYNCMDTYPE_COMMAND, "Enable the update ASAP in the VOVA::Camera",
                                 nullptr) == RET_FOUND) {
        updateASAP = true;
        LOG_WARNING("Enabling update ASAP\n");
    }

    QOV_UINT32 buffers = 0;
    ret = DYNCMD_RegisterParameter("-nBuffers", DYNCMDTYPE_UINT, "Number of buffers to run with", &buffers);
    if (ret == RET_FOUND && check.fits(buffers, "-nBuffers", 0, INT_MAX))
        nBuffers = static_cast<int>(buffers);
    check.parsed(ret, "-nBuffers");
    check.parsed(registerWide("-delay", "Enqueue Delay (overrides Random Delay)", ulEnqueueDelay), "-delay");
    check.parsed(registerWide("-randomDelayLow", "Random Delay Low bound", ulRandomDelayLow), "-randomDelayLow");
    check.parsed(registerWide("-randomDelayHigh", "Random Delay High bound", ulRandomDelayHigh),
                 "-randomDelayHigh");
    // A random sleep is drawn below the upper bound from the lower one on:
    // bounds that leave no such value are refused.
    if ((ulRandomDelayLow || ulRandomDelayHigh) && ulRandomDelayHigh <= ulRandomDelayLow) {
        LOG_ERROR("-randomDelayHigh (%llu) must be above -randomDelayLow (%llu)\n",
                  static_cast<unsigned long long>(ulRandomDelayHigh), static_cast<unsigned long long>(ulRandomDelayLow));
        ++check.problems;
    }

    QOV_UINT32 seed = static_cast<QOV_UINT32>(time(nullptr));
    QOV_UINT32 given = 0;
    ret = DYNCMD_RegisterParameter("-randomSeed", DYNCMDTYPE_UINT, "Random seed - if not provided uses time(NULL)",
                                   &given);
    if (ret == RET_FOUND)
        seed = given;
    check.parsed(ret, "-randomSeed");
    srandom(seed);

    check.parsed(DYNCMD_RegisterParameter("-DG_inputJUX", DYNCMDTYPE_STRING,
                                          "JUX file to use as an input of the data-generator n(only if specified "
                                          "sensor is a data generator)",
                                          &pszInputJUX),
                 "-DG_inputJUX");
    // The data generator keeps the gasket in 8 bits and each blanking in 16.
    QOV_UINT32 dgGasket = 0;
    ret = DYNCMD_RegisterParameter("-DG_gasket", DYNCMDTYPE_UINT,
                                   "Gasket to use for data-generator (only if specified sensor is a data generator)",
                                   &dgGasket);
    if (ret == RET_FOUND && check.fits(dgGasket, "-DG_gasket", 0, UINT8_MAX))
        gasket = dgGasket;
    check.parsed(ret, "-DG_gasket");
    QOV_UINT32 blanking[2] = {aBlanking[0], aBlanking[1]};
    ret = DYNCMD_RegisterArray("-DG_blanking", DYNCMDTYPE_UINT,
                               "Horizontal and vertical blanking in pixels (only if specified sensor is data "
                               "generator)",
                               blanking, 2);
    if ((ret == RET_FOUND || ret == RET_INCOMPLETE) && check.fits(blanking[0], "-DG_blanking", 0, UINT16_MAX) &&
        check.fits(blanking[1], "-DG_blanking", 0, UINT16_MAX)) {
        aBlanking[0] = blanking[0];
        aBlanking[1] = blanking[1];
    }
    if (ret == RET_INCOMPLETE)
        LOG_WARNING("-DG_blanking incomplete, second value for blanking is assumed to be %u\n", aBlanking[1]);
    else
        check.parsed(ret, "-DG_blanking");

    if (DYNCMD_RegisterParameter("-importBuffers", DYNCMDTYPE_COMMAND,
                                 "Allocate and import image buffers from user space instead of internal allocation "
                                 "in kernel space",
                                 nullptr) == RET_FOUND)
        useLocalBuffers = true;

    int result = 0;
    if (check.problems > 0 || check.help) {
        printUsage();
        result = 1;
    } else {
        // A mistyped option would leave its default in force without a word:
        // the parser names each argument that no option used.
        QOV_UINT32 unused = 0;
        if (DYNCMD_HasUnregisteredElements(&unused) == QOV_SUCCESS && unused > 0)
            LOG_WARNING("%u command-line argument(s) used by no option, ignored\n", unused);
    }
    DYNCMD_ReleaseParameters();
    return result;
}

void printUsage()
{
    DYNCMD_PrintUsage();
    puts("\n\nRuntime key controls:");
    puts("\t=== Control Modules toggle ===");
    printf("%c enable AWB\n", 'w');
    printf("%c enable WBTS\n", 'q');
    printf("%c defective pixels\n", 'e');
    printf("%c use LSH matrix if available\n", 'r');
    printf("%c adaptive TNM (needs auto TNM)\n", 't');
    printf("%c local TNM (needs auto TNM)\n", 'y');
    printf("%c auto TNM\n", 'u');
    printf("%c enable DNS update from sensor\n", 'i');
    printf("%c enable LBC\n", 'o');
    puts("\t=== Auto Exposure ===");
    printf("%c/%c Target brightness up/down (or exposure if AE disabled)\n", '+', '-');
    printf("%c Flicker detection toggle\n", 'p');
    puts("\t=== Auto Focus ===");
    printf("%c/%c Focus closer/further\n", ',', '.');
    printf("%c auto focus trigger\n", 'm');
    puts("\t=== Multi Colour Correction Matrix ===");
    printf("%c force identity CCM if AWB disabled\n", '0');
    printf("%d-%d load one of the CCM if available and AWB disabled\n", 1, 9);
    puts("\t=== Other controls ===");
    printf("%c Save all outputs as specified in setup file\n", 'a');
    printf("%c Save Display output\n", 's');
    printf("%c Save Encoder output\n", 'd');
    printf("%c Save DE output\n", 'f');
    printf("%c Save RAW2D output (may not work on all HW versions)\n", 'g');
    printf("%c Save HDR output (may not work on all HW versions)\n", 'h');
    puts("\t=== Test issues ===");
    printf("%c Insert stopCapture/StartCapture/Enqueue glitch to test HW restart procedure\n", '@');
    printf("%c Exit\n", 'x');
    puts("\n");
    fflush(stdout);
    Sensor_PrintAllModes(stdout);
}
