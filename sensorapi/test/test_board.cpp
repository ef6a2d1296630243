// The board configuration file: found through the device-tree model, read
// through the option parser.
#include <cstring>
#include <string>

#include "dyncmd/ci_dyncmd.h"
#include "sensor_test_support.h"
#include "sensors/sensor_board.h"

using sensortest::boardFile;
using sensortest::BoardRoot;
using sensortest::captureOutput;
using testing::HasSubstr;
using testing::Not;

namespace {

class BoardFile : public sensortest::SimBoardTest {
protected:
    void SetUp() override
    {
        SimBoardTest::SetUp();
        root.apply();
    }

    // Reads position `position`, keeping the log output.
    QOV_RESULT read(QOV_UINT8 position)
    {
        memset(&params, 0xEE, sizeof(params));
        QOV_RESULT ret = QOV_SUCCESS;
        log = captureOutput([&] { ret = GetBoardParameters(position, &params); });
        return ret;
    }

    BoardRoot root;
    board_params params;
    sensortest::Output log;
};

TEST_F(BoardFile, TheSimulatedBoardShipsItsModelAndBoardFile)
{
    simboard::Board::instance().reset();  // the default root, not the test's
    ASSERT_EQ(read(1), QOV_SUCCESS);
    EXPECT_THAT(log.out, HasSubstr("[BOARD]: GetBoardParameters() This board is Vezara\n"));
    EXPECT_THAT(log.out, HasSubstr("Board file found: /etc/vezara/boardcfg/Vezara.cfg\n"));
    EXPECT_STREQ(params.i2c_dev_path, "/dev/i2c-1");
    EXPECT_EQ(params.clk_freq, 24.0f);
}

TEST_F(BoardFile, ReadsEveryKeyOfThePosition)
{
    root.setModel("Test Board");
    root.setBoardFile("Test Board", "# a comment line\n" + boardFile() + "-Sensor1_gpio_reset 7 # last one wins\n");
    ASSERT_EQ(read(1), QOV_SUCCESS) << log.err;
    EXPECT_EQ(params.rst_need, 1);
    EXPECT_EQ(params.mux_need, 0);
    EXPECT_EQ(params.pwdn_value, 1);
    EXPECT_EQ(params.clk_freq, 24.0f);
    EXPECT_STREQ(params.i2c_dev_path, "/dev/i2c-1");
    EXPECT_EQ(params.gpio.rst_chip_num, 0);
    EXPECT_EQ(params.gpio.reset_num, 7);
    EXPECT_EQ(params.gpio.pwdn_chip_num, 0);
    EXPECT_EQ(params.gpio.pwdn_num, 13);
    // The model may hold a space: the path holds it too.
    EXPECT_THAT(log.out, HasSubstr("Board file found: /etc/vezara/boardcfg/Test Board.cfg\n"));
    for (const char *line : {"Reset need: 1\n", "CSI multiplexer need: 0\n", "Board pwdn value: 1\n",
                             "Max sensors number: 3\n", "Clock frequency: 24.000000\n", "Sensor 1 i2c dev: /dev/i2c-1\n",
                             "Sensor 1 reset gpiochip: 0\n", "Sensor 1 reset gpio: 7\n",
                             "Sensor 1 powerdown gpiochip: 0\n", "Sensor 1 powerdown gpio: 13\n"})
        EXPECT_THAT(log.out, HasSubstr(line));
}

TEST_F(BoardFile, EachMissingKeyStopsTheReadingWithItsMessage)
{
    struct Case {
        const char *key;
        const char *message;
    };
    const Case cases[] = {
        {"-Board_reset_need", "Board_reset_need parameter not defined!\n"},
        {"-Board_mux_need", "Board_mux_need parameter not defined!\n"},
        {"-Board_pwdn_value", "Board_pwdn_value parameter not defined!\n"},
        {"-Board_max_sensors", "Board_max_sensors parameter not defined!\n"},
        {"-Board_clock_frequency", "Clock frequency not defined!\n"},
        {"-Sensor0_i2c", "I2C port not defined!\n"},
        {"-Sensor0_gpiochip_reset", "Reset gpiochip number not defined!\n"},
        {"-Sensor0_gpio_reset", "Reset gpio number not defined!\n"},
        {"-Sensor0_gpiochip_pwdn", "Powerdown gpiochip number not defined!\n"},
        {"-Sensor0_gpio_pwdn", "Powerdown gpio number not defined!\n"},
    };
    root.setModel("B");
    for (const Case &c : cases) {
        std::string text = boardFile();
        const size_t at = text.find(std::string(c.key) + " ");
        ASSERT_NE(at, std::string::npos) << c.key;
        text[at] = '#';  // the key becomes a comment
        root.setBoardFile("B", text);
        EXPECT_EQ(read(0), QOV_ERROR_INVALID_ARGUMENT) << c.key;
        EXPECT_THAT(log.err, HasSubstr(std::string("[BOARD]: GetBoardParameters():")));
        EXPECT_THAT(log.err, HasSubstr(c.message)) << c.key;
    }
}

TEST_F(BoardFile, FieldsReadBeforeAFailureKeepTheirValues)
{
    root.setModel("B");
    root.setBoardFile("B", "-Board_reset_need 1\n-Board_mux_need 1\n-Board_max_sensors 3\n");
    EXPECT_EQ(read(0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(log.err, HasSubstr("Board_pwdn_value parameter not defined!\n"));
    EXPECT_EQ(params.rst_need, 1);
    EXPECT_EQ(params.mux_need, 1);
    EXPECT_EQ(params.pwdn_value, 0xEE);  // not reached
}

TEST_F(BoardFile, PositionMustBeBelowTheNumberOfSensors)
{
    root.setModel("B");
    root.setBoardFile("B", boardFile("-Board_reset_need 0\n-Board_mux_need 0\n-Board_pwdn_value 0\n"
                                     "-Board_max_sensors 2\n-Board_clock_frequency 27\n"));
    EXPECT_EQ(read(2), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(log.err, HasSubstr("Imager number 2 not supported for this board!\n"));
    EXPECT_EQ(read(1), QOV_SUCCESS);
    EXPECT_EQ(params.clk_freq, 27.0f);
}

TEST_F(BoardFile, ClockMustBePositive)
{
    root.setModel("B");
    for (const char *clock : {"0", "-3.5"}) {
        root.setBoardFile("B", boardFile(std::string("-Board_reset_need 0\n-Board_mux_need 0\n-Board_pwdn_value 0\n"
                                                     "-Board_max_sensors 3\n-Board_clock_frequency ") +
                                         clock + "\n"));
        EXPECT_EQ(read(0), QOV_ERROR_INVALID_ARGUMENT) << clock;
        EXPECT_THAT(log.err, HasSubstr("must be positive\n")) << clock;
        EXPECT_THAT(log.err, HasSubstr("Incorrect clock frequency ")) << clock;
    }
}

// Clocks the drivers cannot time with are refused; the bounds themselves pass.
TEST_F(BoardFile, ClockMustBePlausible)
{
    root.setModel("B");
    const struct {
        const char *clock;
        bool accepted;
    } cases[] = {{"1e-30", false}, {"0.5", false}, {"inf", false}, {"1e30", false}, {"100.5", false},
                 {"1", true},      {"19.2", true}, {"74.25", true}, {"100", true}};
    for (const auto &c : cases) {
        root.setBoardFile("B", boardFile(std::string("-Board_reset_need 0\n-Board_mux_need 0\n-Board_pwdn_value 0\n"
                                                     "-Board_max_sensors 3\n-Board_clock_frequency ") +
                                         c.clock + "\n"));
        EXPECT_EQ(read(0), c.accepted ? QOV_SUCCESS : QOV_ERROR_INVALID_ARGUMENT) << c.clock;
        EXPECT_EQ(c.accepted, log.err.find("must be between 1 and 100 MHz\n") == std::string::npos)
            << c.clock << ": " << log.err;
    }
}

TEST_F(BoardFile, ValuesKeepTheirLowEightBits)
{
    root.setModel("B");
    root.setBoardFile("B", boardFile() + "-Sensor0_i2c 260\n-Sensor0_gpio_reset -1\n-Sensor0_gpio_pwdn -2\n"
                                         "-Sensor0_gpiochip_pwdn 257\n");
    ASSERT_EQ(read(0), QOV_SUCCESS);
    EXPECT_STREQ(params.i2c_dev_path, "/dev/i2c-4");
    EXPECT_EQ(params.gpio.reset_num, -1);
    EXPECT_EQ(params.gpio.pwdn_num, -2);
    EXPECT_EQ(params.gpio.pwdn_chip_num, 1);
}

TEST_F(BoardFile, UnreadableModel)
{
    EXPECT_EQ(read(0), QOV_ERROR_DEVICE_FAILED);  // the test's root has no model yet
    EXPECT_THAT(log.err, HasSubstr("Failed to read device tree!\n"));
    root.writeFile("/proc/device-tree/model", "");
    EXPECT_EQ(read(0), QOV_ERROR_DEVICE_FAILED);
    EXPECT_THAT(log.err, HasSubstr("Device tree read error!\n"));
}

TEST_F(BoardFile, BoardWithoutAFileIsNotSupported)
{
    root.setModel("Unknown Board");
    EXPECT_EQ(read(0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(log.err, HasSubstr("Failed to open board params file!\n"));
    EXPECT_THAT(log.err, HasSubstr("Board 'Unknown Board' not supported!\n"));
}

TEST_F(BoardFile, LongModelCutsThePath)
{
    // fgets keeps 99 characters of the model; the path is cut at 99 characters.
    const std::string model(120, 'm');
    root.setModel(model);
    const std::string path = ("/etc/vezara/boardcfg/" + model.substr(0, 99)).substr(0, 99);
    root.writeFile(path, boardFile());
    ASSERT_EQ(read(0), QOV_SUCCESS) << log.err;
    EXPECT_THAT(log.out, HasSubstr("Board file found: " + path + "\n"));
}

TEST_F(BoardFile, LineBreakEndingTheModelIsNotPartOfTheName)
{
    root.setModel("Edited Board\n", false);
    root.setBoardFile("Edited Board", boardFile());
    EXPECT_EQ(read(0), QOV_SUCCESS) << log.err;
}

TEST_F(BoardFile, ReadingReleasesTheOptionParser)
{
    root.setModel("B");
    root.setBoardFile("B", boardFile());
    // Options an application registered before opening a sensor are gone
    // afterwards: the reading shares the process-wide parser and resets it.
    char arg0[] = "app", arg1[] = "-frames", arg2[] = "5";
    char *argv[] = {arg0, arg1, arg2};
    ASSERT_EQ(DYNCMD_AddCommandLine(3, argv, ""), QOV_SUCCESS);
    unsigned frames = 0;
    ASSERT_EQ(DYNCMD_RegisterParameter("-frames", DYNCMDTYPE_UINT, "frames", &frames), RET_FOUND);
    ASSERT_EQ(read(0), QOV_SUCCESS);
    EXPECT_EQ(frames, 5u);  // values already stored stay
    QOV_UINT32 unknown = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&unknown), QOV_ERROR_WRONG_STATE);
    testing::internal::GetCapturedStderr();
    // A failed reading releases it too.
    root.setBoardFile("B", "-Board_reset_need 1\n");
    ASSERT_EQ(DYNCMD_AddCommandLine(3, argv, ""), QOV_SUCCESS);
    ASSERT_EQ(DYNCMD_RegisterParameter("-frames", DYNCMDTYPE_UINT, "frames", &frames), RET_FOUND);
    EXPECT_EQ(read(0), QOV_ERROR_INVALID_ARGUMENT);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DYNCMD_HasUnregisteredElements(&unknown), QOV_ERROR_WRONG_STATE);
    testing::internal::GetCapturedStderr();
}

}  // namespace
