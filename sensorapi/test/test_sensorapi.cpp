// The sensor interface: argument checks, forwarding to the driver's slots,
// the composite description and the listing of the sensor table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sensorapi/sensorapi.h"
#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/sleep.h"

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

// A driver whose slots record their calls and answer what the test sets.
struct FakeDriver {
    SENSOR_FUNCS funcs;  // first: the handle is the driver's address
    QOV_RESULT result = QOV_SUCCESS;
    QOV_RESULT stateResult = QOV_SUCCESS;
    QOV_RESULT infoResult = QOV_SUCCESS;
    QOV_RESULT modeResult = QOV_SUCCESS;
    std::vector<std::string> calls;
    QOV_UINT16 lastIndex = 0;

    static FakeDriver &of(SENSOR_HANDLE h) { return *reinterpret_cast<FakeDriver *>(h); }

    FakeDriver()
    {
        memset(&funcs, 0, sizeof(funcs));
        funcs.GetMode = [](SENSOR_HANDLE h, QOV_UINT16 i, SENSOR_MODE *m) {
            FakeDriver &d = of(h);
            d.calls.push_back("GetMode");
            d.lastIndex = i;
            m->ui16Width = 640;  // the only field this driver sets
            return d.modeResult;
        };
        funcs.GetState = [](SENSOR_HANDLE h, SENSOR_STATUS *s) {
            FakeDriver &d = of(h);
            d.calls.push_back("GetState");
            s->ui16CurrentMode = 17;
            s->eState = SENSOR_STATE_IDLE;
            return d.stateResult;
        };
        funcs.SetMode = [](SENSOR_HANDLE h, QOV_UINT16, QOV_UINT8) { return of(h).record("SetMode"); };
        funcs.Enable = [](SENSOR_HANDLE h) { return of(h).record("Enable"); };
        funcs.Disable = [](SENSOR_HANDLE h) { return of(h).record("Disable"); };
        funcs.Destroy = [](SENSOR_HANDLE h) { return of(h).record("Destroy"); };
        funcs.GetInfo = [](SENSOR_HANDLE h, SENSOR_INFO *info) {
            FakeDriver &d = of(h);
            d.calls.push_back("GetInfo");
            strcpy(info->pszSensorName, "FAKE");
            return d.infoResult;
        };
        funcs.GetGainRange = [](SENSOR_HANDLE h, double *, double *, QOV_UINT8 *) {
            return of(h).record("GetGainRange");
        };
        funcs.GetCurrentGain = [](SENSOR_HANDLE h, double *, QOV_UINT8) { return of(h).record("GetCurrentGain"); };
        funcs.SetGain = [](SENSOR_HANDLE h, double, QOV_UINT8) { return of(h).record("SetGain"); };
        funcs.GetExposureRange = [](SENSOR_HANDLE h, QOV_UINT32 *, QOV_UINT32 *, QOV_UINT8 *) {
            return of(h).record("GetExposureRange");
        };
        funcs.GetExposure = [](SENSOR_HANDLE h, QOV_UINT32 *, QOV_UINT8) { return of(h).record("GetExposure"); };
        funcs.SetExposure = [](SENSOR_HANDLE h, QOV_UINT32, QOV_UINT8) { return of(h).record("SetExposure"); };
        funcs.GetFocusRange = [](SENSOR_HANDLE h, QOV_UINT16 *, QOV_UINT16 *) {
            return of(h).record("GetFocusRange");
        };
        funcs.GetCurrentFocus = [](SENSOR_HANDLE h, QOV_UINT16 *) { return of(h).record("GetCurrentFocus"); };
        funcs.SetFocus = [](SENSOR_HANDLE h, QOV_UINT16) { return of(h).record("SetFocus"); };
        funcs.ConfigureFlash = [](SENSOR_HANDLE h, QOV_BOOL, QOV_INT16, QOV_INT16, QOV_UINT16) {
            return of(h).record("ConfigureFlash");
        };
        funcs.Insert = [](SENSOR_HANDLE h) { return of(h).record("Insert"); };
        funcs.WaitProcessed = [](SENSOR_HANDLE h) { return of(h).record("WaitProcessed"); };
    }

    QOV_RESULT record(const char *slot)
    {
        calls.emplace_back(slot);
        return result;
    }

    SENSOR_HANDLE handle() { return &funcs; }
};

// One interface operation called with valid output pointers.
struct Operation {
    const char *slot;
    bool required;
    std::function<QOV_RESULT(SENSOR_HANDLE)> call;
};

double g_double;
QOV_UINT8 g_u8;
QOV_UINT16 g_u16a, g_u16b;
QOV_UINT32 g_u32a, g_u32b;
SENSOR_MODE g_mode;
SENSOR_STATUS g_status;

const std::vector<Operation> &operations()
{
    static const std::vector<Operation> ops = {
        {"GetMode", true, [](SENSOR_HANDLE h) { return Sensor_GetMode(h, 3, &g_mode); }},
        {"GetState", true, [](SENSOR_HANDLE h) { return Sensor_GetState(h, &g_status); }},
        {"SetMode", true, [](SENSOR_HANDLE h) { return Sensor_SetMode(h, 1, 0); }},
        {"Enable", true, [](SENSOR_HANDLE h) { return Sensor_Enable(h); }},
        {"Disable", true, [](SENSOR_HANDLE h) { return Sensor_Disable(h); }},
        {"Destroy", true, [](SENSOR_HANDLE h) { return Sensor_Destroy(h); }},
        {"GetGainRange", true, [](SENSOR_HANDLE h) { return Sensor_GetGainRange(h, &g_double, &g_double, &g_u8); }},
        {"GetCurrentGain", true, [](SENSOR_HANDLE h) { return Sensor_GetCurrentGain(h, &g_double, 0); }},
        {"SetGain", true, [](SENSOR_HANDLE h) { return Sensor_SetGain(h, 2.0, 0); }},
        {"GetExposureRange", true,
         [](SENSOR_HANDLE h) { return Sensor_GetExposureRange(h, &g_u32a, &g_u32b, &g_u8); }},
        {"GetExposure", true, [](SENSOR_HANDLE h) { return Sensor_GetExposure(h, &g_u32a, 0); }},
        {"SetExposure", true, [](SENSOR_HANDLE h) { return Sensor_SetExposure(h, 1000, 0); }},
        {"GetFocusRange", false, [](SENSOR_HANDLE h) { return Sensor_GetFocusRange(h, &g_u16a, &g_u16b); }},
        {"GetCurrentFocus", false, [](SENSOR_HANDLE h) { return Sensor_GetCurrentFocus(h, &g_u16a); }},
        {"SetFocus", false, [](SENSOR_HANDLE h) { return Sensor_SetFocus(h, 100); }},
        {"ConfigureFlash", false, [](SENSOR_HANDLE h) { return Sensor_ConfigureFlash(h, 1, 0, 1, 10); }},
        {"Insert", false, [](SENSOR_HANDLE h) { return Sensor_Insert(h); }},
        {"WaitProcessed", false, [](SENSOR_HANDLE h) { return Sensor_WaitProcessed(h); }},
    };
    return ops;
}

// Empties the slot of `funcs` named `slot`.
void clearSlot(SENSOR_FUNCS &funcs, const std::string &slot)
{
#define CLEAR(name)            \
    if (slot == #name)         \
        funcs.name = nullptr;
    CLEAR(GetMode) CLEAR(GetState) CLEAR(SetMode) CLEAR(Enable) CLEAR(Disable) CLEAR(Destroy)
    CLEAR(GetInfo) CLEAR(GetGainRange) CLEAR(GetCurrentGain) CLEAR(SetGain) CLEAR(GetExposureRange)
    CLEAR(GetExposure) CLEAR(SetExposure) CLEAR(GetFocusRange) CLEAR(GetCurrentFocus) CLEAR(SetFocus)
    CLEAR(ConfigureFlash) CLEAR(Insert) CLEAR(WaitProcessed)
#undef CLEAR
}

TEST(SensorInterface, NullHandleIsRefusedByEveryOperation)
{
    for (const Operation &op : operations()) {
        CaptureStderr();
        EXPECT_EQ(op.call(nullptr), QOV_ERROR_INVALID_ARGUMENT) << op.slot;
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("hHandle is NULL\n")) << op.slot;
    }
    SENSOR_INFO info;
    CaptureStderr();
    EXPECT_EQ(Sensor_GetInfo(nullptr, &info), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("[SENSOR]: Sensor_GetInfo():"));
}

TEST(SensorInterface, OperationsForwardToTheSlotAndPassItsResultThrough)
{
    FakeDriver driver;
    driver.result = QOV_ERROR_I2C_FAILED;
    for (const Operation &op : operations()) {
        driver.calls.clear();
        const QOV_RESULT expected = (std::string(op.slot) == "GetMode" || std::string(op.slot) == "GetState")
                                        ? QOV_SUCCESS
                                        : QOV_ERROR_I2C_FAILED;
        EXPECT_EQ(op.call(driver.handle()), expected) << op.slot;
        ASSERT_EQ(driver.calls.size(), 1u) << op.slot;
        EXPECT_EQ(driver.calls[0], op.slot);
    }
    EXPECT_EQ(driver.lastIndex, 3);
}

TEST(SensorInterface, EmptyRequiredSlotFailsWithItsNameAndOptionalSlotIsSilentlyUnsupported)
{
    for (const Operation &op : operations()) {
        FakeDriver driver;
        clearSlot(driver.funcs, op.slot);
        CaptureStderr();
        const QOV_RESULT ret = op.call(driver.handle());
        const std::string err = GetCapturedStderr();
        if (op.required) {
            EXPECT_EQ(ret, QOV_ERROR_FAILURE) << op.slot;
            EXPECT_THAT(err, HasSubstr(std::string("[SENSOR]: Sensor_") + op.slot + "():")) << op.slot;
            EXPECT_THAT(err, HasSubstr(std::string(op.slot) + " is not defined!\n"));
        } else {
            EXPECT_EQ(ret, QOV_ERROR_NOT_SUPPORTED) << op.slot;
            EXPECT_EQ(err, "") << op.slot;
        }
    }
}

TEST(SensorInterface, NullOutputPointersAreRefusedBeforeTheSlot)
{
    struct Case {
        const char *message;
        std::function<QOV_RESULT(SENSOR_HANDLE)> call;
    };
    double d;
    QOV_UINT8 u8;
    QOV_UINT16 u16;
    QOV_UINT32 u32;
    const Case cases[] = {
        {"psModes is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetMode(h, 0, nullptr); }},
        {"psStatus is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetState(h, nullptr); }},
        {"psInfo is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetInfo(h, nullptr); }},
        {"pui16Min or pui16Max is NULL\n", [&](SENSOR_HANDLE h) { return Sensor_GetFocusRange(h, &u16, nullptr); }},
        {"pui16Min or pui16Max is NULL\n", [&](SENSOR_HANDLE h) { return Sensor_GetFocusRange(h, nullptr, &u16); }},
        {"pui16Current is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetCurrentFocus(h, nullptr); }},
        {"pflMin, pflMax or puiContexts is NULL\n",
         [&](SENSOR_HANDLE h) { return Sensor_GetGainRange(h, &d, &d, nullptr); }},
        {"pflCurrent is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetCurrentGain(h, nullptr, 0); }},
        {"pui32Min, pui32Max or pui8Contexts is NULL\n",
         [&](SENSOR_HANDLE h) { return Sensor_GetExposureRange(h, nullptr, &u32, &u8); }},
        {"pui32Exposure is NULL\n", [](SENSOR_HANDLE h) { return Sensor_GetExposure(h, nullptr, 0); }},
    };
    for (const Case &c : cases) {
        FakeDriver driver;
        // An empty optional slot must not hide the pointer check.
        driver.funcs.GetFocusRange = nullptr;
        CaptureStderr();
        EXPECT_EQ(c.call(driver.handle()), QOV_ERROR_INVALID_ARGUMENT) << c.message;
        EXPECT_THAT(GetCapturedStderr(), HasSubstr(c.message));
        EXPECT_TRUE(driver.calls.empty()) << c.message;
    }
}

TEST(SensorInterface, GetModeZeroesWhatTheDriverDoesNotSet)
{
    FakeDriver driver;
    SENSOR_MODE mode;
    memset(&mode, 0xA5, sizeof(mode));
    ASSERT_EQ(Sensor_GetMode(driver.handle(), 0, &mode), QOV_SUCCESS);
    SENSOR_MODE expected;
    memset(&expected, 0, sizeof(expected));
    expected.ui16Width = 640;
    EXPECT_EQ(memcmp(&mode, &expected, sizeof(mode)), 0);
}

TEST(SensorInterface, GetInfoTakesStateDescriptionAndCurrentMode)
{
    FakeDriver driver;
    SENSOR_INFO info;
    memset(&info, 0, sizeof(info));
    ASSERT_EQ(Sensor_GetInfo(driver.handle(), &info), QOV_SUCCESS);
    EXPECT_EQ((std::vector<std::string>{"GetState", "GetInfo", "GetMode"}), driver.calls);
    EXPECT_EQ(info.sStatus.ui16CurrentMode, 17);
    EXPECT_EQ(driver.lastIndex, 17);  // the current mode is described
    EXPECT_STREQ(info.pszSensorName, "FAKE");
    EXPECT_EQ(info.sMode.ui16Width, 640);
}

TEST(SensorInterface, GetInfoStopsAtTheFirstFailingStep)
{
    struct Case {
        const char *message;
        QOV_RESULT FakeDriver::*step;
        size_t calls;
    };
    const Case cases[] = {
        {"failed to get sensor's state\n", &FakeDriver::stateResult, 1},
        {"failed to get sensor's info\n", &FakeDriver::infoResult, 2},
        {"failed to get sensor's mode\n", &FakeDriver::modeResult, 3},
    };
    for (const Case &c : cases) {
        FakeDriver driver;
        driver.*c.step = QOV_ERROR_DEVICE_FAILED;
        SENSOR_INFO info;
        memset(&info, 0x5A, sizeof(info));
        CaptureStderr();
        EXPECT_EQ(Sensor_GetInfo(driver.handle(), &info), QOV_ERROR_DEVICE_FAILED) << c.message;
        EXPECT_THAT(GetCapturedStderr(), HasSubstr(c.message));
        EXPECT_EQ(driver.calls.size(), c.calls) << c.message;
        if (c.calls < 3) {  // the mode is left as it was
            EXPECT_EQ(info.sMode.ui16Width, 0x5A5A) << c.message;
        }
    }
}

TEST(SensorInterface, GetInfoWithoutItsSlotAsksNothingOfTheDriver)
{
    FakeDriver driver;
    driver.funcs.GetInfo = nullptr;
    SENSOR_INFO info;
    CaptureStderr();
    EXPECT_EQ(Sensor_GetInfo(driver.handle(), &info), QOV_ERROR_FAILURE);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("GetInfo is not defined!\n"));
    EXPECT_TRUE(driver.calls.empty());
}

TEST(SensorTable, NamesAndNumbers)
{
    ASSERT_EQ(Sensor_NumberSensors(), 24u);
    const char *const *names = Sensor_ListAll();
    EXPECT_STREQ(names[0], "IIF Datagen");
    EXPECT_STREQ(names[1], "AR330");
    EXPECT_STREQ(names[4], "OV4689_1");
    EXPECT_STREQ(names[11], "IMX415");
    EXPECT_STREQ(names[14], "OV5695_2");
    EXPECT_STREQ(names[15], "S5K3P9");
    EXPECT_STREQ(names[20], "ZYNQ");
    EXPECT_STREQ(names[23], "IMX662");
    EXPECT_EQ(names[24], nullptr);
}

TEST(SensorTable, InitialiseRefusesABadNumberOrHandlePointer)
{
    SENSOR_HANDLE handle = nullptr;
    CaptureStderr();
    EXPECT_EQ(Sensor_Initialise(24, &handle), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("nSensor=24 supports 24 sensors\n"));
    CaptureStderr();
    EXPECT_EQ(Sensor_Initialise(20, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("phHandle is NULL\n"));
}

// The table's sensors on the default simulated board, where no chip sits
// on any bus: the chip sensors cannot be opened, the generators can.
class SensorTableOnBoard : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        simboard::Sleeps::setInstant(true);
    }
    void TearDown() override
    {
        EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
        EXPECT_EQ(simboard::GpioBank::instance().openChips(), 0);
        simboard::Board::instance().reset();
    }
};

TEST_F(SensorTableOnBoard, PrintAllModesListsEverySensor)
{
    char *text = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&text, &size);
    ASSERT_NE(f, nullptr);
    CaptureStdout();
    CaptureStderr();
    Sensor_PrintAllModes(f);
    const std::string out = GetCapturedStdout();
    GetCapturedStderr();
    fclose(f);
    const std::string listing(text, size);
    free(text);

    EXPECT_EQ(listing.rfind("Available sensors in sensor API:\n", 0), 0u);
    // The ZYNQ generator opens without a chip and lists both of its modes.
    EXPECT_THAT(listing, HasSubstr("\t20: ZYNQ (vnot-verified imager 0)\n"
                                   "\t\tmode  0:    64x   64 @30.00 8bit (total 64x64 mipi_lane=2) "
                                   "exposure=(1..1) flipping=none\n"
                                   "\t\t         pixel rate 200.0000 Mpx/s, bit rate 800.0000 Mbits/s "
                                   "(per mipi lane)\n"
                                   "\t\tmode  1:   640x  480 @30.00 8bit"));
    // A chip that does not answer cannot be opened: its line goes to standard output.
    EXPECT_THAT(out, HasSubstr("\t23: IMX662 - no modes display available\n"));
    EXPECT_THAT(out, HasSubstr("\t7: OV10823_0 - no modes display available\n"));
    const char *const *names = Sensor_ListAll();
    for (QOV_UINT32 s = 0; s < Sensor_NumberSensors(); ++s) {
        std::string head = "\t";
        head += std::to_string(s);
        head += ": ";
        head += names[s];
        EXPECT_NE(listing.find(head + " (v") != std::string::npos,
                  out.find(head + " - no modes display available\n") != std::string::npos)
            << names[s];
    }
}

TEST_F(SensorTableOnBoard, NoSensorSupportsFlashAndChipSensorsHaveNoInsertion)
{
    for (QOV_UINT32 s = 0; s < Sensor_NumberSensors(); ++s) {
        SENSOR_HANDLE handle = nullptr;
        CaptureStdout();
        CaptureStderr();
        const QOV_RESULT ret = Sensor_Initialise(static_cast<QOV_UINT16>(s), &handle);
        GetCapturedStdout();
        GetCapturedStderr();
        if (ret != QOV_SUCCESS) {
            EXPECT_EQ(handle, nullptr) << s;
            continue;
        }
        EXPECT_EQ(Sensor_ConfigureFlash(handle, 0, 0, 1, 1), QOV_ERROR_NOT_SUPPORTED) << s;
        if (s != 0) {
            EXPECT_EQ(Sensor_Insert(handle), QOV_ERROR_NOT_SUPPORTED) << s;
        }
        CaptureStdout();
        CaptureStderr();
        EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS) << s;
        GetCapturedStdout();
        GetCapturedStderr();
    }
}

}  // namespace
