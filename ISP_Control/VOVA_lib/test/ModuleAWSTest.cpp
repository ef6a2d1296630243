// White-balance tile statistics module: keys to fields to the record, the
// tile size from the sensor, the curve lines and their order, the record's
// initial curve agreeing with the key defaults, and its saved text.
#include "module_test_support.h"
#include "vova/ModuleAWS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleAWSTest : public vovatest::ModuleTest {};

TEST_F(ModuleAWSTest, NeverLoadedModuleWritesTheDefaultsAndAgreesWithTheInitialCurve)
{
    ModuleAWS &aws = add<ModuleAWS>();
    const MC_AWS initial = mc().sAWS;
    ASSERT_EQ(QOV_SUCCESS, aws.setup());
    const MC_AWS &r = mc().sAWS;
    EXPECT_FALSE(r.bEnable);
    EXPECT_FALSE(r.bDebugBitmap);
    EXPECT_EQ(1.0, r.fLog2_R_Qeff);
    EXPECT_EQ(1.0, r.fLog2_B_Qeff);
    for (double dark : {r.fRedDarkThresh, r.fGreenDarkThresh, r.fBlueDarkThresh})
        EXPECT_EQ(8.0, dark);
    for (double clip : {r.fRedClipThresh, r.fGreenClipThresh, r.fBlueClipThresh})
        EXPECT_EQ(128.0, clip);
    EXPECT_EQ(0.2, r.fBbDist);
    EXPECT_EQ(0, r.ui16GridStartRow);
    EXPECT_EQ(0, r.ui16GridStartColumn);
    EXPECT_EQ(16, r.ui16GridTileWidth);
    EXPECT_EQ(16, r.ui16GridTileHeight);
    EXPECT_TRUE(aws.fLines.empty());
    // no line: the curve is the record's initial one, which is the module's defaults
    for (unsigned i = 0; i < 5; i++) {
        EXPECT_EQ(initial.aCurveBoundary[i], r.aCurveBoundary[i]);
        EXPECT_EQ(ModuleAWS::AWS_CURVE_BOUNDARIES.def[i], r.aCurveBoundary[i]) << i;
        EXPECT_EQ(ModuleAWS::AWS_CURVE_X_COEFFS.def[i], r.aCurveCoeffX[i]) << i;
        EXPECT_EQ(ModuleAWS::AWS_CURVE_Y_COEFFS.def[i], r.aCurveCoeffY[i]) << i;
        EXPECT_EQ(ModuleAWS::AWS_CURVE_OFFSETS.def[i], r.aCurveOffset[i]) << i;
    }
}

TEST_F(ModuleAWSTest, KeysReachTheRecord)
{
    sensor->uiWidth = 1920;
    sensor->uiHeight = 1080;
    ModuleAWS &aws = add<ModuleAWS>();
    const std::vector<KeyRow<ModuleAWS>> rows = {
        // with a sensor the tile size defaults to a seventh of the image
        {{}, [](auto &m) { return m.ui16TileWidth; }, 274, [](auto &r) { return r.sAWS.ui16GridTileWidth; }, 274},
        {{}, [](auto &m) { return m.ui16TileHeight; }, 154, [](auto &r) { return r.sAWS.ui16GridTileHeight; }, 154},
        // and a value in the file is at least 16
        {{{"AWS_TILE_SIZE", {"8", "8"}}}, [](auto &m) { return m.ui16TileWidth; }, 16,
         [](auto &r) { return r.sAWS.ui16GridTileWidth; }, 16},
        // 40000 is no short: the default
        {{{"AWS_TILE_SIZE", {"40000", "100"}}}, [](auto &m) { return m.ui16TileWidth; }, 274,
         [](auto &r) { return r.sAWS.ui16GridTileWidth; }, 274},
        {{{"AWS_TILE_SIZE", {"40000", "100"}}}, [](auto &m) { return m.ui16TileHeight; }, 100,
         [](auto &r) { return r.sAWS.ui16GridTileHeight; }, 100},
        {{{"AWS_TILE_START_COORDS", {"8", "4"}}}, [](auto &m) { return m.ui16GridStartColumn; }, 8,
         [](auto &r) { return r.sAWS.ui16GridStartColumn; }, 8},
        {{{"AWS_TILE_START_COORDS", {"8", "4"}}}, [](auto &m) { return m.ui16GridStartRow; }, 4,
         [](auto &r) { return r.sAWS.ui16GridStartRow; }, 4},
        {{{"AWS_ENABLED", {"1"}}}, [](auto &m) { return m.enabled; }, 1, [](auto &r) { return r.sAWS.bEnable; }, 1},
        {{{"AWS_DEBUG_MODE", {"1"}}}, [](auto &m) { return m.getDebugMode(); }, 1, [](auto &r) { return r.sAWS.bDebugBitmap; }, 1},
        {{{"AWS_LOG2_R_QEFF", {"300"}}}, [](auto &m) { return m.fLog2_R_Qeff; }, 256, [](auto &r) { return r.sAWS.fLog2_R_Qeff; }, 256},
        {{{"AWS_LOG2_B_QEFF", {"0.5"}}}, [](auto &m) { return m.fLog2_B_Qeff; }, 0.5, [](auto &r) { return r.sAWS.fLog2_B_Qeff; }, 0.5},
        {{{"AWS_R_DARK_THRESH", {"4"}}}, [](auto &m) { return m.fRedDarkThresh; }, 4, [](auto &r) { return r.sAWS.fRedDarkThresh; }, 4},
        {{{"AWS_G_DARK_THRESH", {"5"}}}, [](auto &m) { return m.fGreenDarkThresh; }, 5, [](auto &r) { return r.sAWS.fGreenDarkThresh; }, 5},
        {{{"AWS_B_DARK_THRESH", {"6"}}}, [](auto &m) { return m.fBlueDarkThresh; }, 6, [](auto &r) { return r.sAWS.fBlueDarkThresh; }, 6},
        {{{"AWS_R_CLIP_THRESH", {"200"}}}, [](auto &m) { return m.fRedClipThresh; }, 200, [](auto &r) { return r.sAWS.fRedClipThresh; }, 200},
        {{{"AWS_G_CLIP_THRESH", {"201"}}}, [](auto &m) { return m.fGreenClipThresh; }, 201, [](auto &r) { return r.sAWS.fGreenClipThresh; }, 201},
        {{{"AWS_B_CLIP_THRESH", {"202"}}}, [](auto &m) { return m.fBlueClipThresh; }, 202, [](auto &r) { return r.sAWS.fBlueClipThresh; }, 202},
        {{{"AWS_BB_DIST", {"200"}}}, [](auto &m) { return m.fBbDist; }, 128, [](auto &r) { return r.sAWS.fBbDist; }, 128},
    };
    checkRows(aws, rows);
}

TEST_F(ModuleAWSTest, TheTileSizeFollowsTheSensor)
{
    const struct {
        unsigned width, height;
        std::vector<std::string> key;
        QOV_UINT16 tileWidth, tileHeight;
    } cases[] = {{1920, 1080, {}, 274, 154}, {100, 80, {}, 16, 16}, {1920, 1080, {"8", "8"}, 16, 16}};
    for (const auto &c : cases) {
        sensor->uiWidth = c.width;
        sensor->uiHeight = c.height;
        ModuleAWS &aws = add<ModuleAWS>();
        ASSERT_EQ(QOV_SUCCESS, aws.load(c.key.empty() ? ParameterList() : vovatest::listOf({{"AWS_TILE_SIZE", c.key}})));
        EXPECT_EQ(c.tileWidth, aws.ui16TileWidth) << c.width;
        EXPECT_EQ(c.tileHeight, aws.ui16TileHeight) << c.width;
        // the default saved is the sensor's; the bounds are the key's own
        EXPECT_EQ((std::vector<std::string>{std::to_string(std::max(c.width / 7, 16u)),
                                            std::to_string(std::max(c.height / 7, 16u))}),
                  vovatest::savedValues(aws, "AWS_TILE_SIZE", ModuleBase::SAVE_DEF));
        EXPECT_EQ((std::vector<std::string>{"0", "0"}), vovatest::savedValues(aws, "AWS_TILE_SIZE", ModuleBase::SAVE_MIN));
    }
    // without a sensor: the key's own default and range
    ModuleAWS alone;
    ASSERT_EQ(QOV_SUCCESS, alone.load(vovatest::listOf({{"AWS_TILE_SIZE", {"8"}}})));
    EXPECT_EQ(8, alone.ui16TileWidth);
    EXPECT_EQ(16, alone.ui16TileHeight);
}

TEST_F(ModuleAWSTest, CurveLinesRunFromTheHighestBoundary)
{
    ModuleAWS &aws = add<ModuleAWS>();
    ASSERT_EQ(QOV_SUCCESS, aws.load(vovatest::listOf({{"AWS_CURVES_NUM", {"3"}},
                                                      {"AWS_CURVE_BOUNDARIES", {"0.5", "-1.0", "2.0"}},
                                                      {"AWS_CURVE_X_COEFFS", {"0.1", "0.2", "0.3"}}})));
    ASSERT_EQ(3u, aws.fLines.size());
    ASSERT_EQ(QOV_SUCCESS, aws.setup());
    const MC_AWS &r = mc().sAWS;
    const double boundaries[5] = {2.0, 0.5, -1.0, -16.0, -16.0};
    const double xs[3] = {0.3, 0.1, 0.2};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(boundaries[i], r.aCurveBoundary[i]) << i;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(xs[i], r.aCurveCoeffX[i]) << i;
    // the module's own list is reordered
    EXPECT_EQ((std::vector<std::string>{"2", "0.5", "-1"}), vovatest::savedValues(aws, "AWS_CURVE_BOUNDARIES"));
    EXPECT_EQ((std::vector<std::string>{"3"}), vovatest::savedValues(aws, "AWS_CURVES_NUM"));

    // missing values take the defaults of their place
    ASSERT_EQ(QOV_SUCCESS,
              aws.load(vovatest::listOf({{"AWS_CURVES_NUM", {"2"}}, {"AWS_CURVE_BOUNDARIES", {"0.75"}}})));
    ASSERT_EQ(2u, aws.fLines.size());
    EXPECT_EQ(-0.84375, aws.fLines.back().fBoundary);
    EXPECT_EQ(0.966796875, aws.fLines.back().fXcoeff);

    // no line: the record keeps the curve it had
    ASSERT_EQ(QOV_SUCCESS, aws.setup());
    ASSERT_EQ(QOV_SUCCESS, aws.load(ParameterList()));
    ASSERT_EQ(QOV_SUCCESS, aws.setup());
    EXPECT_EQ(0.75, r.aCurveBoundary[0]);
    EXPECT_EQ(-0.84375, r.aCurveBoundary[1]);
    EXPECT_EQ(-16.0, r.aCurveBoundary[2]);
    EXPECT_EQ((std::vector<std::string>{}), vovatest::savedValues(aws, "AWS_CURVE_BOUNDARIES"));

    ModuleAWS::linesSet held(1);
    EXPECT_EQ(-1, ModuleAWS::loadLinesParams(vovatest::listOf({{"AWS_CURVES_NUM", {"4"}}}), held));
    EXPECT_EQ(1u, held.size());
}

TEST_F(ModuleAWSTest, SavedText)
{
    ModuleAWS aws;
    EXPECT_EQ("// Auto White Balance Statistics parameters (AWS block)\n"
              "AWS_BB_DIST 0.2 // double range=[0,128]\n"
              "AWS_B_CLIP_THRESH 128 // double range=[0,256]\n"
              "AWS_B_DARK_THRESH 8 // double range=[0,256]\n"
              "AWS_CURVES_NUM 0 // int range=[0,5]\n"
              "AWS_CURVE_BOUNDARIES 0.25 -0.84375 -1.90625 16 16 // double[5] range=[-16,16]\n"
              "AWS_CURVE_OFFSETS 0.0390625 0.255859 0.636719 0 0 // double[5] range=[-16,16]\n"
              "AWS_CURVE_X_COEFFS 0.886719 0.966797 0.998047 0 0 // double[5] range=[-16,16]\n"
              "AWS_CURVE_Y_COEFFS 0.460938 0.254883 0.0644531 0 0 // double[5] range=[-16,16]\n"
              "AWS_DEBUG_MODE 0 // bool {0,1}\n"
              "AWS_ENABLED 0 // bool {0,1}\n"
              "AWS_G_CLIP_THRESH 128 // double range=[0,256]\n"
              "AWS_G_DARK_THRESH 8 // double range=[0,256]\n"
              "AWS_LOG2_B_QEFF 1 // double range=[0,256]\n"
              "AWS_LOG2_R_QEFF 1 // double range=[0,256]\n"
              "AWS_R_CLIP_THRESH 128 // double range=[0,256]\n"
              "AWS_R_DARK_THRESH 8 // double range=[0,256]\n"
              "AWS_TILE_SIZE 16 16 // int[2] range=[0,32767]\n"
              "AWS_TILE_START_COORDS 0 0 // int[2] range=[0,32767]\n\n",
              vovatest::savedText(aws, ModuleBase::SAVE_DEF));
}

}  // namespace
