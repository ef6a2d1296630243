// Typed reading and writing of keys: parsing rules, clamping, defaults,
// booleans, strings, arrays, numbered keys, number formatting and info texts.
#include <gtest/gtest.h>

#include <climits>

#include "vova/ParameterList.h"

using namespace VOVA;

namespace {

// A list holding KEY with the given values (none when values is empty).
ParameterList listWith(const std::vector<std::string> &values)
{
    ParameterList list;
    list.addParameter(Parameter("KEY", values), true);
    return list;
}

}  // namespace

TEST(ParameterRead, IntKeyTable)
{
    const ParamDef<int> def("KEY", 0, 10, 5);
    EXPECT_EQ(5, ParameterList().getParameter(def)) << "key absent";

    struct Case {
        const char *text;
        int expected;
    };
    const Case cases[] = {
        {"7", 7},   {"+7", 7},   {"12", 10}, {"-3", 0},    {"1.5", 5},        {"0x10", 5},
        {"1e3", 5}, {"abc", 5},  {"7abc", 5}, {" 7", 5},   {"99999999999", 5}, {"", 5},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, listWith({c.text}).getParameter(def)) << "text '" << c.text << "'";

    // no value at the index read
    EXPECT_EQ(5, listWith({}).getParameter(def));
    EXPECT_EQ(5, listWith({"7"}).getParameter<int>("KEY", 1, 0, 10, 5));
    EXPECT_EQ(5, listWith({"7"}).getParameter<int>("KEY", -1, 0, 10, 5));
}

TEST(ParameterRead, RangeOddities)
{
    // minimum above maximum: every parsable value reads as the maximum
    const ParamDef<int> inverted("KEY", 10, 0, 42);
    EXPECT_EQ(0, listWith({"5"}).getParameter(inverted));
    EXPECT_EQ(0, listWith({"-20"}).getParameter(inverted));
    EXPECT_EQ(42, ParameterList().getParameter(inverted));  // the default is never clamped

    // default outside the range
    const ParamDef<int> outside("KEY", 0, 10, 50);
    EXPECT_EQ(50, ParameterList().getParameter(outside));
    EXPECT_EQ(50, listWith({"x"}).getParameter(outside));
    EXPECT_EQ(10, listWith({"50"}).getParameter(outside));
}

TEST(ParameterRead, OtherNumericTypes)
{
    const ParamDef<double> dbl("KEY", 0.0, 2000.0, 1.0);
    EXPECT_DOUBLE_EQ(1000.0, listWith({"1e3"}).getParameter(dbl));
    EXPECT_DOUBLE_EQ(1.5, listWith({"1.5"}).getParameter(dbl));
    EXPECT_DOUBLE_EQ(2000.0, listWith({"1e9"}).getParameter(dbl));
    EXPECT_DOUBLE_EQ(1.0, listWith({"1e999"}).getParameter(dbl));  // out of the type's range
    EXPECT_DOUBLE_EQ(1.0, listWith({"1.5x"}).getParameter(dbl));

    const ParamDef<float> flt("KEY", -1.0f, 1.0f, 0.25f);
    EXPECT_FLOAT_EQ(-0.5f, listWith({"-0.5"}).getParameter(flt));
    EXPECT_FLOAT_EQ(-1.0f, listWith({"-7"}).getParameter(flt));

    const ParamDef<short> sht("KEY", SHRT_MIN, SHRT_MAX, 3);
    EXPECT_EQ(32767, listWith({"32767"}).getParameter(sht));
    EXPECT_EQ(3, listWith({"32768"}).getParameter(sht));
    EXPECT_EQ(-32768, listWith({"-32768"}).getParameter(sht));

    // A negative text is not an unsigned number: the default applies
    // (the bare stream extraction would wrap it and clamp to the maximum).
    const ParamDef<unsigned int> uns("KEY", 0u, 100u, 7u);
    EXPECT_EQ(7u, listWith({"-3"}).getParameter(uns));
    EXPECT_EQ(7u, listWith({"-0"}).getParameter(uns));
    EXPECT_EQ(100u, listWith({"4294967295"}).getParameter(uns));
    EXPECT_EQ(7u, listWith({"4294967296"}).getParameter(uns));
    EXPECT_EQ(42u, listWith({"+42"}).getParameter(uns));
}

TEST(ParameterRead, BooleanTable)
{
    const ParamDefSingle<bool> def("KEY", true);
    EXPECT_TRUE(ParameterList().getParameter(def)) << "key absent";
    struct Case {
        const char *text;
        bool expected;
    };
    const Case cases[] = {{"0", false},  {"1", true},     {"2", true},     {"-1", true},    {"1abc", true},
                          {"1.5", true}, {"abc", false},  {"true", false}, {"0x1", false},  {" 1", false}};
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, listWith({c.text}).getParameter(def)) << "text '" << c.text << "'";
    EXPECT_FALSE(listWith({}).getParameter(def)) << "key without value";

    bool isOk = true;
    EXPECT_TRUE(Parameter("K", "1abc").get<bool>(0, isOk));
    EXPECT_FALSE(isOk);
    EXPECT_TRUE(Parameter("K", "1").get<bool>(0, isOk));
    EXPECT_TRUE(isOk);
}

TEST(ParameterRead, StringReads)
{
    const ParamDefSingle<std::string> def("KEY", "fallback");
    EXPECT_EQ("fallback", ParameterList().getParameter(def));
    EXPECT_EQ("fallback", listWith({}).getParameter(def));
    EXPECT_EQ("file.jux", listWith({"file.jux", "second"}).getParameter(def));
    EXPECT_EQ("second", listWith({"file.jux", "second"}).getParameter<std::string>("KEY", 1, "d"));
    EXPECT_EQ("d", listWith({"a b"}).getParameter<std::string>("KEY", 0, "d"));
    EXPECT_EQ("d", Parameter("K", std::vector<std::string>{""}).get<std::string>(0, "d"));
}

TEST(ParameterRead, ArrayDefaultsWrapAround)
{
    const int defaults[4] = {10, 11, 12, 13};
    const ParamDefArray<int> def("KEY", 0, 100, defaults, 4);
    ParameterList list = listWith({"1", "2", "3", "4", "5", "200", "x"});
    EXPECT_EQ(5, list.getParameter(def, 4));
    EXPECT_EQ(100, list.getParameter(def, 5));
    EXPECT_EQ(12, list.getParameter(def, 6));   // unparsable: default element 6 mod 4
    EXPECT_EQ(11, list.getParameter(def, 9));   // missing value: default element 9 mod 4
    EXPECT_EQ(11, ParameterList().getParameter(def, 5));

    // an array definition without elements reads 0 instead of dividing by zero
    const ParamDefArray<int> none("KEY", 0, 100, nullptr, 0);
    EXPECT_EQ(0, ParameterList().getParameter(none, 3));
}

TEST(ParameterRead, ParseCompleteness)
{
    bool ok = true;
    EXPECT_EQ(0, parse<int>("", ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(12, parse<int>("12x", ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ(INT_MAX, parse<int>("99999999999", ok));
    EXPECT_FALSE(ok);
    EXPECT_EQ("word", parse<std::string>("word", ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(1, parse<unsigned char>("7", ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(0u, parse<unsigned int>("-3", ok));  // a sign is no unsigned number
    EXPECT_FALSE(ok);
    EXPECT_EQ(static_cast<char>(0x2C), parse<char>("300", ok));  // low 8 bits of 300
}

TEST(ParameterDefinitions, IndexedCopiesOwnDefaults)
{
    const unsigned int defaults[3] = {1, 2, 3};
    const ParamDefArray<unsigned int> def("RLT_POINTS", 0u, 65535u, defaults, 3);
    ParamDefArray<unsigned int> third = def.indexed(3);
    EXPECT_EQ("RLT_POINTS_3", third.name);
    EXPECT_EQ("RLT_POINTS_12", def.indexed(12).name);
    EXPECT_EQ(0u, third.min);
    EXPECT_EQ(65535u, third.max);
    ASSERT_EQ(3u, third.n);
    EXPECT_NE(def.def, third.def);
    third.def[0] = 99;
    EXPECT_EQ(1u, def.def[0]);

    ParamDefArray<unsigned int> assigned("X", 0u, 1u, nullptr, 0);
    assigned = def;
    EXPECT_NE(def.def, assigned.def);
    EXPECT_EQ(3u, assigned.def[2]);

    EXPECT_EQ("WB_CCM_0", ParamDef<double>("WB_CCM", 0, 1, 0).indexed(0).name);
    EXPECT_EQ("LSH_CTRL_FILE_1", ParamDefSingle<std::string>("LSH_CTRL_FILE", "").indexed(1).name);
}

TEST(ParameterWrite, NumberFormatting)
{
    struct Case {
        double value;
        const char *text;
    };
    const Case cases[] = {{0.5, "0.5"},       {64, "64"},         {100000, "100000"}, {1000000, "1e+06"},
                          {0.0001, "0.0001"}, {1e-5, "1e-05"},    {3.998046875, "3.99805"},
                          {-256, "-256"},     {1234567, "1.23457e+06"}, {0.1 + 0.2, "0.3"}};
    for (const Case &c : cases)
        EXPECT_EQ(c.text, toString<double>(c.value)) << c.value;
    EXPECT_EQ("0.1", toString<float>(0.1f));
    EXPECT_EQ("1", toString<bool>(true));
    EXPECT_EQ("0", toString<unsigned char>(0));
    EXPECT_EQ("1", toString<unsigned char>(5));
    EXPECT_EQ("255", toString<char>(static_cast<char>(-1)));
    EXPECT_EQ("-5", toString<short>(-5));
    EXPECT_EQ("4294967295", toString<unsigned int>(4294967295u));
    EXPECT_EQ("65535", toString<unsigned short>(65535));
}

TEST(ParameterWrite, InfoTexts)
{
    const short sdefs[2] = {0, 0};
    const double ddefs[4] = {0, 0, 0, 0};
    const int idefs[4] = {0, 0, 0, 0};
    EXPECT_EQ("int range=[0,10]", getParameterInfo(ParamDef<int>("K", 0, 10, 5)));
    EXPECT_EQ("int range=[-5,5]", getParameterInfo(ParamDef<short>("K", -5, 5, 0)));
    EXPECT_EQ("unsigned range=[0,4095]", getParameterInfo(ParamDef<unsigned int>("K", 0u, 4095u, 0u)));
    EXPECT_EQ("float range=[0.5,8]", getParameterInfo(ParamDef<float>("K", 0.5f, 8.0f, 1.0f)));
    EXPECT_EQ("double range=[0,128]", getParameterInfo(ParamDef<double>("K", 0.0, 128.0, 1.0)));
    EXPECT_EQ("int[2] range=[-1024,1023]", getParameterInfo(ParamDefArray<short>("K", -1024, 1023, sdefs, 2)));
    EXPECT_EQ("int[4] range=[-1024,1023]", getParameterInfo(ParamDefArray<int>("K", -1024, 1023, idefs, 4)));
    EXPECT_EQ("double[4] range=[0.5,8]", getParameterInfo(ParamDefArray<double>("K", 0.5, 8.0, ddefs, 4)));
    const unsigned udefs[3] = {0, 0, 0};
    const float fdefs[3] = {0, 0, 0};
    EXPECT_EQ("unsigned[3] range=[1,4095]", getParameterInfo(ParamDefArray<unsigned int>("K", 1u, 4095u, udefs, 3)));
    EXPECT_EQ("float[3] range=[-0.5,2]", getParameterInfo(ParamDefArray<float>("K", -0.5f, 2.0f, fdefs, 3)));
    EXPECT_EQ("bool {0,1}", getParameterInfo(ParamDefSingle<bool>("K", true)));
    EXPECT_EQ("string", getParameterInfo(ParamDefSingle<std::string>("K", "x")));
}

TEST(ParameterWrite, TypedWritersForEachKind)
{
    ParameterList list;
    const ParamDef<double> gain("SENSOR_GAIN", 0.0, 5000.0, 35.0);
    ASSERT_EQ(QOV_SUCCESS, list.addParameterDef(gain, true));
    EXPECT_EQ((std::vector<std::string>{"35"}), list.getParameter("SENSOR_GAIN")->getValues());
    EXPECT_EQ("double range=[0,5000]", list.getParameter("SENSOR_GAIN")->getInfo());
    list.addParameterMin(gain, true);
    EXPECT_EQ("0", list.getParameter("SENSOR_GAIN")->getString(0));
    EXPECT_EQ("", list.getParameter("SENSOR_GAIN")->getInfo());
    list.addParameterMax(gain, true);
    EXPECT_EQ("5000", list.getParameter("SENSOR_GAIN")->getString(0));
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, list.addParameter(gain, 1.2345678, false));
    list.addParameter(gain, 1.2345678, true);
    EXPECT_EQ("1.23457", list.getParameter("SENSOR_GAIN")->getString(0));

    const short sdefs[3] = {-1, 0, 7};
    const ParamDefArray<short> arr("ARR", -1024, 1023, sdefs, 3);
    list.addParameterDef(arr, true);
    EXPECT_EQ((std::vector<std::string>{"-1", "0", "7"}), list.getParameter("ARR")->getValues());
    EXPECT_EQ(0u, list.getParameter("ARR")->getInfo().find("int["));
    list.addParameterMin(arr, true);
    EXPECT_EQ((std::vector<std::string>{"-1024", "-1024", "-1024"}), list.getParameter("ARR")->getValues());
    list.addParameterMax(arr, true);
    EXPECT_EQ((std::vector<std::string>{"1023", "1023", "1023"}), list.getParameter("ARR")->getValues());
    list.addParameter(arr, std::vector<std::string>{"5", "6"}, true);
    EXPECT_EQ((std::vector<std::string>{"5", "6"}), list.getParameter("ARR")->getValues());

    const ParamDefArray<int> noDefaults("NODEF", 0, 1, nullptr, 0);
    EXPECT_EQ(QOV_ERROR_FAILURE, list.addParameterDef(noDefaults, true));
    EXPECT_FALSE(list.exists("NODEF"));
    EXPECT_EQ(QOV_SUCCESS, list.addParameterMin(noDefaults, true));
    EXPECT_EQ(0u, list.getParameter("NODEF")->size());

    const ParamDefSingle<bool> flag("FLAG", true);
    list.addParameterMin(flag, true);
    EXPECT_EQ("0", list.getParameter("FLAG")->getString(0));
    list.addParameterMax(flag, true);
    EXPECT_EQ("1", list.getParameter("FLAG")->getString(0));
    list.addParameterDef(flag, true);
    EXPECT_EQ("bool {0,1}", list.getParameter("FLAG")->getInfo());
    list.addParameter(flag, false, true);
    EXPECT_EQ("0", list.getParameter("FLAG")->getString(0));

    const ParamDefSingle<std::string> file("FILE", "grid.lsh");
    for (int which = 0; which < 3; which++) {
        list.removeParameter("FILE");
        if (which == 0)
            list.addParameterMin(file, true);
        else if (which == 1)
            list.addParameterMax(file, true);
        else
            list.addParameterDef(file, true);
        EXPECT_EQ("grid.lsh", list.getParameter("FILE")->getString(0));
        EXPECT_EQ("string", list.getParameter("FILE")->getInfo());
    }
    list.addParameter(file, "", true);
    EXPECT_EQ(0u, list.getParameter("FILE")->size());
    list.addParameter(file, "two words", true);
    EXPECT_EQ((std::vector<std::string>{"two words"}), list.getParameter("FILE")->getValues());
}

TEST(ParameterWrite, SixDigitRoundTrip)
{
    const ParamDef<double> def("K", 0.0, 10.0, 0.0);
    ParameterList list;
    list.addParameter(def, 3.14159265, true);
    EXPECT_DOUBLE_EQ(3.14159, list.getParameter(def));
}
