#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim_image/metadata.h"

namespace {

TEST(MetaData, NamesIgnoreCaseAndFailKeepsValue)
{
    CMetaData md;
    ASSERT_TRUE(md.UpdateStr("width", "4"));
    EXPECT_FALSE(md.UpdateStr("WIDTH", "8", IFEX_FAIL));
    EXPECT_STREQ(md.GetMetaStr("Width", nullptr), "4");
    MDITEM *item = md.Find("wIdTh");
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(item->name, "width");
    EXPECT_EQ(md.Find("WID"), nullptr);
    EXPECT_EQ(md.Find("WIDTHX", 5), item);  // a prefix of the name
}

TEST(MetaData, AppendReplaceIgnore)
{
    CMetaData md;
    md.UpdateStr("A", "1");
    md.Add("A", -1, "2", -1, IFEX_APPEND, " ");
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "1 2");
    md.Add("A", -1, "3", -1, IFEX_APPEND, nullptr);
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "1 23");
    md.UpdateStr("A", "9", IFEX_REPLACE);
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "9");

    CMetaData twice;
    ASSERT_NE(twice.AddFromString("A=1", IFEX_IGNORE, nullptr), nullptr);
    ASSERT_NE(twice.AddFromString("A=2", IFEX_IGNORE, nullptr), nullptr);
    EXPECT_EQ(twice.GetNItems(), 2);
    EXPECT_STREQ(twice.GetMetaStr("A", nullptr), "1");
    CMetaData copy;
    ASSERT_TRUE(copy.CopyFrom(&twice));
    EXPECT_EQ(copy.GetNItems(), 1);
    EXPECT_STREQ(copy.GetMetaStr("A", nullptr), "2");
}

TEST(MetaData, AddFromStringSplitsAtTheFirstEquals)
{
    CMetaData md;
    const char *text = "K=V\nL=W";
    const char *next = md.AddFromString(text, IFEX_IGNORE, nullptr);
    ASSERT_EQ(next, text + 4);
    EXPECT_STREQ(next, "L=W");
    EXPECT_EQ(md.AddFromString(next, IFEX_IGNORE, nullptr), text + strlen(text));
    EXPECT_STREQ(md.GetMetaStr("L", nullptr), "W");

    // A value may hold '=': the name ends at the first one.
    EXPECT_NE(md.AddFromString("A=B=C\n", IFEX_IGNORE, nullptr), nullptr);
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "B=C");
    EXPECT_EQ(md.Find("A=B"), nullptr);

    EXPECT_NE(md.AddFromString("=empty name", IFEX_IGNORE, nullptr), nullptr);
    EXPECT_STREQ(md.GetMetaStr("", nullptr), "empty name");
    EXPECT_EQ(md.AddFromString("no equals sign\n", IFEX_IGNORE, nullptr), nullptr);
    EXPECT_EQ(md.AddFromString("\nX=1", IFEX_IGNORE, nullptr), nullptr);
    EXPECT_EQ(md.AddFromString("", IFEX_IGNORE, nullptr), nullptr);
}

TEST(MetaData, NumbersByIndex)
{
    CMetaData md;
    md.UpdateStr("D", "8 10");
    md.UpdateStr("E", "");
    md.UpdateStr("S", "  8  10 ");
    md.UpdateStr("X", "12abc -3 x");
    md.UpdateStr("BIG", "99999999999 -99999999999");
    EXPECT_EQ(md.GetMetaInt("D", -1, 1, false), 10);
    EXPECT_EQ(md.GetMetaInt("D", -1, 2, true), 10);
    EXPECT_EQ(md.GetMetaInt("D", -1, 2, false), -1);
    EXPECT_EQ(md.GetMetaInt("E", -1, 0, true), -1);
    EXPECT_EQ(md.GetMetaInt("ABSENT", 7, 0, true), 7);
    EXPECT_EQ(md.GetMetaValCount("S"), 2);
    EXPECT_EQ(md.GetMetaValCount("E"), 0);
    EXPECT_EQ(md.GetMetaInt("X", -1, 0, false), 12);
    EXPECT_EQ(md.GetMetaInt("X", -1, 1, false), -3);
    EXPECT_EQ(md.GetMetaInt("X", -1, 2, false), -1);
    EXPECT_EQ(md.GetMetaInt("BIG", 0, 0, false), 2147483647);
    EXPECT_EQ(md.GetMetaInt("BIG", 0, 1, false), -2147483647 - 1);
    EXPECT_EQ(md.GetMetaInt("ABSENT"), 2147483647);
    EXPECT_DOUBLE_EQ(md.GetMetaDouble("S", 0, 1, false), 10.0);

    md.UpdateDouble("F1", 1.5);
    md.UpdateDouble("F2", 100.0);
    md.UpdateDouble("F3", 0.0);
    EXPECT_STREQ(md.GetMetaStr("F1", nullptr), "1.5");
    EXPECT_STREQ(md.GetMetaStr("F2", nullptr), "100");
    EXPECT_STREQ(md.GetMetaStr("F3", nullptr), "0");

    // Ten decimals, rounded, then trailing zeros dropped.
    const struct {
        double value;
        const char *text;
    } cases[] = {
        {0.0123456789, "0.0123456789"}, {1.23456789016, "1.2345678902"}, {1e-10, "0.0000000001"},
        {4e-11, "0"},                   {-2.5, "-2.5"},                  {1234567.125, "1234567.125"},
    };
    for (const auto &c : cases) {
        md.UpdateDouble("F", c.value);
        EXPECT_STREQ(md.GetMetaStr("F", nullptr), c.text) << c.value;
        md.UpdateStr("S", "a b c");
        md.UpdateSubDouble("S", 1, c.value, ' ');
        EXPECT_EQ(std::string(md.GetMetaStr("S", nullptr)), std::string("a ") + c.text + " c") << c.value;
    }
}

TEST(MetaData, EnumAndSubStrings)
{
    CMetaData md;
    md.UpdateStr("M", "rgb");
    EXPECT_EQ(md.GetMetaEnum("M", -1, "x\0RGB\0YUV\0"), 1);
    EXPECT_EQ(md.GetMetaEnum("M", -1, "x\0YUV\0"), -1);
    EXPECT_EQ(md.GetMetaEnum("ABSENT", 5, "RGB\0"), 5);

    md.UpdateStr("L", "a, bb,c");
    QOV_INT32 len = -1;
    const char *s = md.GetMetaSubStr("L", nullptr, 1, &len, ',');
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::string(s, len), "bb");
    EXPECT_EQ(md.GetMetaSubStr("L", nullptr, 3, &len, ','), nullptr);
    EXPECT_STREQ(md.GetMetaSubStr("ABSENT", "dflt", 0, &len, ','), "dflt");
    EXPECT_EQ(len, 4);
}

TEST(MetaData, UpdateSubItem)
{
    struct Case {
        const char *before;
        int index;
        const char *value;
        const char *after;
        char separator = ' ';
    };
    const Case cases[] = {
        {"a b", 2, "x", "a b x"}, {"a", 2, "x", "a x x"}, {"a b", 0, "zz", "zz b"},
        {"a b", 1, "c", "a c"},   {"", 0, "q", "q"},      {"a b c", 1, "long", "a long c"},
        // A run of separators counts a sub-item more than the walk finds: the
        // value is kept and the new sub-item goes after it.
        {"a  b", 2, "x", "a  b x"},
        // Leading separators are skipped; missing sub-items get the separator given.
        {"  a b", 1, "c", "  a c"},
        {",,a,b", 1, "c", ",,a,c", ','},
        {"a,b", 3, "x", "a,b,x,x", ','},
        // An empty sub-item past the end still gets its separator.
        {"a b", 2, "", "a b "},
        {"a,b", 3, "", "a,b,,", ','},
    };
    for (const auto &c : cases) {
        CMetaData md;
        md.UpdateStr("K", c.before);
        ASSERT_TRUE(md.UpdateSubStr("K", c.index, c.value, c.separator));
        EXPECT_STREQ(md.GetMetaStr("K", nullptr), c.after) << c.before << " [" << c.index << "]";
    }
    CMetaData fresh;
    ASSERT_TRUE(fresh.UpdateSubInt("N", 1, 5, ' '));
    EXPECT_STREQ(fresh.GetMetaStr("N", nullptr), " 5");
}

TEST(MetaData, DeleteRenameMergeSwap)
{
    CMetaData md;
    md.UpdateStr("A", "1");
    md.UpdateStr("B", "2");
    md.UpdateStr("C", "3");
    md.Del(md.Find("C"));  // the last item: later additions still append
    md.UpdateStr("D", "4");
    EXPECT_EQ(md.GetNItems(), 3);
    EXPECT_STREQ(md.GetMetaName(2), "D");
    EXPECT_TRUE(md.Rename("b", "BB"));
    EXPECT_STREQ(md.GetMetaStr("BB", nullptr), "2");
    CMetaData twice; // every item of the name is renamed
    twice.UpdateStr("E", "5", IFEX_IGNORE);
    twice.UpdateStr("e", "6", IFEX_IGNORE);
    EXPECT_TRUE(twice.Rename("E", "F"));
    EXPECT_EQ(twice.Find("E"), nullptr);
    EXPECT_STREQ(twice.GetMetaName(1), "F");

    CMetaData other;
    other.UpdateStr("A", "10");
    other.Add("A", -1, "11", -1, IFEX_IGNORE, nullptr);
    md.MergeFrom(&other, IFEX_REPLACE);
    EXPECT_EQ(md.GetNItems(), 4);  // BB, D, A, A
    EXPECT_STREQ(md.GetMetaName(0), "BB");
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "10");

    CMetaData empty;
    md.SwapWith(&empty);
    EXPECT_EQ(md.GetNItems(), 0);
    EXPECT_EQ(empty.GetNItems(), 4);
    md.UpdateStr("Z", "1");
    EXPECT_EQ(md.GetNItems(), 1);
    // Both go on appending after their own last item.
    empty.UpdateStr("Y", "9");
    ASSERT_EQ(empty.GetNItems(), 5);
    EXPECT_STREQ(empty.GetMetaName(0), "BB");
    EXPECT_STREQ(empty.GetMetaName(4), "Y");
    md.SwapWith(&empty);
    md.UpdateStr("X", "8");
    empty.UpdateStr("W", "7");
    ASSERT_EQ(md.GetNItems(), 6);
    EXPECT_STREQ(md.GetMetaName(5), "X");
    ASSERT_EQ(empty.GetNItems(), 2);
    EXPECT_STREQ(empty.GetMetaName(0), "Z");
    EXPECT_STREQ(empty.GetMetaName(1), "W");
    md.SwapWith(nullptr);
    EXPECT_EQ(md.GetNItems(), 6);
}

// Merging adds every item of the other list the way asked; merging a list
// with itself or with nothing changes nothing.
TEST(MetaData, MergeModes)
{
    struct Case {
        whatIfExistsEnum mode;
        const char *a, *b;
        int items;
    };
    const Case cases[] = {
        {IFEX_REPLACE, "10", "5", 2},
        {IFEX_IGNORE, "1", "5", 3},
        {IFEX_APPEND, "1 10", "5", 2},
        {IFEX_FAIL, "1", "5", 2},
    };
    for (const auto &c : cases) {
        CMetaData md, other;
        md.UpdateStr("A", "1");
        other.UpdateStr("A", "10");
        other.UpdateStr("B", "5");
        EXPECT_TRUE(md.MergeFrom(&other, c.mode)) << c.mode;
        EXPECT_STREQ(md.GetMetaStr("A", nullptr), c.a) << c.mode;
        EXPECT_STREQ(md.GetMetaStr("B", nullptr), c.b) << c.mode;
        EXPECT_EQ(md.GetNItems(), c.items) << c.mode;
        EXPECT_EQ(other.GetNItems(), 2) << c.mode;
        EXPECT_TRUE(md.MergeFrom(&md, IFEX_IGNORE));
        EXPECT_TRUE(md.MergeFrom(nullptr, IFEX_IGNORE));
        EXPECT_EQ(md.GetNItems(), c.items) << c.mode;
    }
}

// Missing names, values and lists are refused and change nothing.
TEST(MetaData, MissingArgumentsAreRefused)
{
    CMetaData md;
    md.UpdateStr("A", "1 2");
    EXPECT_EQ(md.Find(nullptr), nullptr);
    EXPECT_FALSE(md.Add(nullptr, -1, "1", -1, IFEX_REPLACE, nullptr));
    EXPECT_FALSE(md.Add(nullptr));
    EXPECT_EQ(md.AddFromString(nullptr, IFEX_REPLACE, nullptr), nullptr);
    EXPECT_FALSE(md.UpdateSubItem(nullptr, -1, 0, "3", -1, ' '));
    EXPECT_FALSE(md.UpdateSubItem("A", -1, -1, "3", -1, ' '));
    EXPECT_FALSE(md.Rename(static_cast<MDITEM *>(nullptr), "B"));
    EXPECT_FALSE(md.Rename(md.Find("A"), nullptr));
    EXPECT_FALSE(md.Rename(static_cast<const char *>(nullptr), "B"));
    EXPECT_FALSE(md.Rename("A", nullptr));
    EXPECT_FALSE(md.CopyFrom(nullptr));
    md.Del(nullptr);
    EXPECT_EQ(md.GetMetaSubStr("A", "d", -1, nullptr, ' '), nullptr);
    ASSERT_EQ(md.GetNItems(), 1);
    EXPECT_STREQ(md.GetMetaName(0), "A");
    EXPECT_STREQ(md.GetMetaStr("A", nullptr), "1 2");
    // A value given as null is an empty one.
    EXPECT_TRUE(md.UpdateStr("E", nullptr));
    EXPECT_STREQ(md.GetMetaStr("E", nullptr), "");
}

TEST(BitStream, FieldsLeastSignificantBitFirst)
{
    QOV_UINT8 buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};  // cleared by the writes
    CBitStreamRW bits;
    bits.SetPos(buf);
    bits.WriteBitsUns(0x3FF, 10);
    bits.WriteBitsUns(0, 6);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[1], 0x03);
    EXPECT_EQ(buf[2], 0xAA);  // untouched
    bits.SetPos(buf);
    EXPECT_EQ(bits.ReadBitsUns(10), 0x3FFu);
    EXPECT_EQ(bits.ReadBitsUns(6), 0u);
    bits.SetPos(buf);
    EXPECT_EQ(bits.ReadBitsSig(10), -1);

    bits.SetPos(buf);
    bits.WriteBitsSig(-2, 32);
    EXPECT_EQ(buf[0], 0xFE);
    EXPECT_EQ(buf[1], 0xFF);
    EXPECT_EQ(buf[2], 0xFF);
    EXPECT_EQ(buf[3], 0xFF);
    bits.SetPos(buf);
    EXPECT_EQ(bits.ReadBitsSig(32), -2);

    // A field that starts inside a byte and a jump to the next boundary.
    QOV_UINT8 b2[3] = {};
    bits.SetPos(b2);
    bits.WriteBitsUns(0x5, 3);
    bits.WriteBitsUns(0x1AB, 9);
    bits.AdvanceToByteBoundary();
    bits.WriteBitsUns(0x7, 3);
    EXPECT_EQ(b2[0], 0x5D);  // 101 then the low 5 bits of 0x1AB (01011) above them
    EXPECT_EQ(b2[1], 0x0D);  // the high 4 bits (1101)
    EXPECT_EQ(b2[2], 0x07);
    bits.SetPos(b2);
    EXPECT_EQ(bits.ReadBitsUns(3), 5u);
    EXPECT_EQ(bits.ReadBitsUns(9), 0x1ABu);
    bits.AdvanceToByteBoundary();
    EXPECT_EQ(bits.ReadBitsUns(3), 7u);

    // On a boundary there is nothing to skip.
    QOV_UINT8 b3[2] = {0xAA, 0x55};
    bits.SetPos(b3);
    EXPECT_EQ(bits.ReadBitsUns(8), 0xAAu);
    bits.AdvanceToByteBoundary();
    EXPECT_EQ(bits.ReadBitsUns(8), 0x55u);
}

}  // namespace
