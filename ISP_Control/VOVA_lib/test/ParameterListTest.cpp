// Entries and the parameter list as a container: construction, results of
// the list operations, ordering, equality, merging and stream output.
#include <gtest/gtest.h>

#include <sstream>

#include "module_test_support.h"
#include "vova/ParameterList.h"

using namespace VOVA;

namespace {

std::string printed(const Parameter &p)
{
    std::ostringstream os;
    os << p;
    return os.str();
}

}  // namespace

TEST(Parameter, ConstructionKeepsValuesOnlyForAValidTag)
{
    Parameter noValue("KEY", "");
    EXPECT_EQ(0u, noValue.size());
    EXPECT_EQ(QOV_SUCCESS, noValue.addValue("x"));  // still valid

    Parameter noTag("", "value");
    EXPECT_EQ(0u, noTag.size());
    EXPECT_EQ(QOV_ERROR_FAILURE, noTag.addValue("x"));
    EXPECT_EQ(0u, noTag.size());

    Parameter defaulted;
    EXPECT_EQ(QOV_ERROR_FAILURE, defaulted.addValue("x"));

    Parameter fromVector("KEY", std::vector<std::string>{"", "b"});
    ASSERT_EQ(2u, fromVector.size());
    EXPECT_EQ("", fromVector.getString(0));
    EXPECT_EQ("b", fromVector.getString(1));

    Parameter vectorNoTag("", std::vector<std::string>{"a"});
    EXPECT_EQ(0u, vectorNoTag.size());
}

TEST(Parameter, AddValueRefusesEmptyText)
{
    Parameter p("KEY", "a");
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, p.addValue(""));
    EXPECT_EQ(QOV_SUCCESS, p.addValue("b"));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), p.getValues());
}

TEST(Parameter, GetStringOutOfRangeAndInvalid)
{
    Parameter p("KEY", std::vector<std::string>{"a", "b"});
    EXPECT_EQ("b", p.getString(1));
    EXPECT_EQ("", p.getString(5));
    EXPECT_EQ("d", p.getString(5, "d"));
    EXPECT_EQ("a", p.getString(0, "d"));

    Parameter invalid("", "a");
    EXPECT_EQ("", invalid.getString(0, "d"));
}

TEST(Parameter, StreamOutput)
{
    Parameter p("KEY", std::vector<std::string>{"1", "2"});
    EXPECT_EQ("KEY 1 2 \n", printed(p));
    p.setInfo("int range=[0,10]");
    EXPECT_EQ("KEY 1 2  // int range=[0,10]\n", printed(p));
    EXPECT_EQ("EMPTY \n", printed(Parameter("EMPTY")));
}

TEST(Parameter, EqualityIgnoresInfo)
{
    Parameter a("KEY", std::vector<std::string>{"1", "2"});
    Parameter b = a;
    b.setInfo("comment");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_NE(a, Parameter("KEY", std::vector<std::string>{"1"}));
    EXPECT_NE(a, Parameter("KEY", std::vector<std::string>{"1", "3"}));
    EXPECT_NE(a, Parameter("OTHER", std::vector<std::string>{"1", "2"}));
}

TEST(ParameterList, AddParameterOverwriteRules)
{
    ParameterList list;
    EXPECT_TRUE(list.validFlag);
    EXPECT_EQ(QOV_SUCCESS, list.addParameter(Parameter("KEY", "first"), false));
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, list.addParameter(Parameter("KEY", "second"), false));
    EXPECT_EQ("first", list.getParameter("KEY")->getString(0));

    Parameter replacement("KEY", std::vector<std::string>{"x", "y"});
    replacement.setInfo("new info");
    Parameter *held = list.getParameter("KEY");
    EXPECT_EQ(QOV_SUCCESS, list.addParameter(replacement, true));
    EXPECT_EQ(held, list.getParameter("KEY"));  // replaced in place
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), held->getValues());
    EXPECT_EQ("new info", held->getInfo());
    EXPECT_EQ(1u, list.size());

    // an entry without a tag is filed under the empty key
    EXPECT_EQ(QOV_SUCCESS, list.addParameter(Parameter(), false));
    EXPECT_TRUE(list.exists(""));
}

TEST(ParameterList, IteratesInByteOrderOfTags)
{
    ParameterList list;
    for (const char *tag : {"BLC_SYS_BLACK", "a_lower", "AE_TARGET_BRIGHTNESS", "BLC_SENSOR_BLACK", "BLCX"})
        list.addParameter(Parameter(tag, "1"), false);
    std::vector<std::string> order;
    for (const auto &entry : list)
        order.push_back(entry.first);
    EXPECT_EQ((std::vector<std::string>{"AE_TARGET_BRIGHTNESS", "BLCX", "BLC_SENSOR_BLACK", "BLC_SYS_BLACK",
                                        "a_lower"}),
              order);
}

TEST(ParameterList, LookupRemoveAndClear)
{
    ParameterList list;
    list.addParameter(Parameter("KEY", std::vector<std::string>{"a", "b"}), false);
    EXPECT_EQ("b", list.getParameterString("KEY", 1, "d"));
    EXPECT_EQ("d", list.getParameterString("KEY", 2, "d"));
    EXPECT_EQ("d", list.getParameterString("ABSENT", 0, "d"));
    EXPECT_EQ(nullptr, list.getParameter("ABSENT"));
    EXPECT_EQ(list.end(), list.find("ABSENT"));
    EXPECT_EQ("KEY", list.find("KEY")->first);

    list.addGroup("G", vovatest::groupOf("// g", {"KEY"}));
    EXPECT_EQ(QOV_SUCCESS, list.removeParameter("KEY"));
    EXPECT_EQ(QOV_ERROR_FAILURE, list.removeParameter("KEY"));
    EXPECT_TRUE(list.isInGroup("KEY"));  // groups are untouched

    list.addParameter(Parameter("OTHER", "1"), false);
    list.validFlag = false;
    list.clearList();
    EXPECT_EQ(0u, list.size());
    EXPECT_FALSE(list.hasGroup("G"));
    EXPECT_FALSE(list.validFlag);
}

TEST(ParameterList, GroupResults)
{
    ParameterList list;
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, list.addGroup("Empty", ParameterGroup()));
    EXPECT_FALSE(list.hasGroup("Empty"));

    EXPECT_EQ(QOV_SUCCESS, list.addGroup("ModuleBLC", vovatest::groupOf("// first", {"BLC_SYS_BLACK"})));
    EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, list.addGroup("ModuleBLC", vovatest::groupOf("// second", {"OTHER"})));
    EXPECT_EQ("// first", list.getGroup("ModuleBLC").header);
    EXPECT_TRUE(list.isInGroup("BLC_SYS_BLACK"));
    EXPECT_FALSE(list.isInGroup("OTHER"));

    ParameterGroup none = list.getGroup("Missing");
    EXPECT_TRUE(none.header.empty());
    EXPECT_TRUE(none.parameters.empty());

    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, list.removeGroup("Missing"));
    EXPECT_EQ(QOV_SUCCESS, list.removeGroup("ModuleBLC"));
    EXPECT_EQ(list.groupsBegin(), list.groupsEnd());
}

TEST(ParameterList, EqualityComparesEntriesOnly)
{
    ParameterList a;
    ParameterList b;
    a.addParameter(Parameter("K1", "1"), false);
    b.addParameter(Parameter("K1", "1").setInfo("info"), false);
    b.addGroup("G", vovatest::groupOf("// g", {"K1"}));
    b.validFlag = false;
    EXPECT_TRUE(a == b);

    b.addParameter(Parameter("K2", "1"), false);
    EXPECT_TRUE(a != b);
    a.addParameter(Parameter("K3", "1"), false);
    EXPECT_FALSE(a == b);  // same size, different tags
}

TEST(ParameterList, MergeReplacesEntriesAndKeepsOwnGroups)
{
    ParameterList a;
    a.addParameter(Parameter("SHARED", "old"), false);
    a.addParameter(Parameter("ONLY_A", "a"), false);
    a.addGroup("A", vovatest::groupOf("// a", {"ONLY_A"}));

    ParameterList b;
    b.addParameter(Parameter("SHARED", std::vector<std::string>{"new", "values"}).setInfo("b info"), false);
    b.addParameter(Parameter("ONLY_B", "b"), false);
    b.addGroup("B", vovatest::groupOf("// b", {"ONLY_B"}));

    a += b;
    EXPECT_EQ(3u, a.size());
    EXPECT_EQ((std::vector<std::string>{"new", "values"}), a.getParameter("SHARED")->getValues());
    EXPECT_EQ("b info", a.getParameter("SHARED")->getInfo());
    EXPECT_TRUE(a.hasGroup("A"));
    EXPECT_FALSE(a.hasGroup("B"));

    a += a;
    EXPECT_EQ(3u, a.size());
}

TEST(ParameterList, StreamOutputPrintsEntriesInTagOrder)
{
    ParameterList list;
    list.addParameter(Parameter("B", "2"), false);
    list.addParameter(Parameter("A", "1").setInfo("i"), false);
    list.addGroup("G", vovatest::groupOf("// g", {"A"}));
    std::ostringstream os;
    os << list;
    EXPECT_EQ("A 1  // i\nB 2 \n", os.str());
}
