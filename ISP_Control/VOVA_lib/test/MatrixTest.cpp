// Matrix arithmetic, refusals with their messages, inversion, printing, the
// colour corrections built on it, and the light-based control's image sets.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "vova/ColorCorrection.h"
#include "vova/LightCorrection.h"
#include "vova/Matrix.h"

using namespace VOVA;

namespace {

std::vector<std::vector<double>> rowsOf(const Matrix &m)
{
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < m.numRows(); i++)
        rows.push_back(m[i]);
    return rows;
}

using Rows = std::vector<std::vector<double>>;

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST(Matrix, ConstructionAndInvalidDimensions)
{
    const double values[6] = {1, 2, 3, 4, 5, 6};
    Matrix m(2, 3, values);
    EXPECT_EQ((Rows{{1, 2, 3}, {4, 5, 6}}), rowsOf(m));
    EXPECT_EQ((Rows{{0, 0}, {0, 0}}), rowsOf(Matrix(2, 2)));

    testing::internal::CaptureStderr();
    Matrix bad(0, 3);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, log.find("ERROR [VOVA_MATRIX]: Matrix():"));
    EXPECT_NE(std::string::npos, log.find(" Invalid dimensions for matrix\n"));
    EXPECT_EQ(0, bad.numRows());
    EXPECT_EQ(3, bad.numCols());

    // an invalid matrix refuses in-place changes and yields invalid results
    testing::internal::CaptureStderr();
    bad.ones();
    Matrix sum = bad + 1.0;
    log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("Invalid matrix state\n"));
    EXPECT_EQ(0, sum.numRows());
    EXPECT_DOUBLE_EQ(0.0, bad.sum());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(bad[0].empty());  // no storage to hand out
    testing::internal::GetCapturedStderr();
}

TEST(Matrix, RowAccessPastTheEndGivesLastRow)
{
    const double values[4] = {1, 2, 3, 4};
    Matrix m(2, 2, values);
    testing::internal::CaptureStderr();
    EXPECT_EQ((std::vector<double>{3, 4}), m[2]);
    EXPECT_EQ((std::vector<double>{3, 4}), m[-1]);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, log.find("ERROR [VOVA_MATRIX]: operator[]():"));
    EXPECT_NE(std::string::npos, log.find("invalid row!!! return last row\n"));
    m[1][0] = 9;
    EXPECT_DOUBLE_EQ(9, m[1][0]);
}

TEST(Matrix, InPlaceOperations)
{
    Matrix m(2, 3);
    testing::internal::CaptureStderr();
    m.identity();
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("WARNING [VOVA_MATRIX]: identity() "
                                                                             "Matrix is not square.\n"));
    EXPECT_EQ((Rows{{1, 0, 0}, {0, 1, 0}}), rowsOf(m));

    m.ones();
    EXPECT_EQ((Rows{{1, 1, 1}, {1, 1, 1}}), rowsOf(m));
    m.zeros();
    EXPECT_EQ((Rows{{0, 0, 0}, {0, 0, 0}}), rowsOf(m));

    const double values[4] = {-2, 0.5, 3, 1.5};
    Matrix c(1, 4, values);
    c.applyMin(1.0).applyMax(0.0);
    EXPECT_EQ((Rows{{0, 0.5, 1, 1}}), rowsOf(c));
    EXPECT_DOUBLE_EQ(2.5, c.sum());
    EXPECT_DOUBLE_EQ(1.0, c.max());
    EXPECT_DOUBLE_EQ(0.0, c.min());
    c.normaliseSum();
    EXPECT_EQ((Rows{{0, 0.2, 0.4, 0.4}}), rowsOf(c));
    c.normaliseMax();
    EXPECT_EQ((Rows{{0, 0.5, 1, 1}}), rowsOf(c));

    Matrix zero(2, 2);
    zero.normaliseSum();
    zero.normaliseMax();
    EXPECT_EQ((Rows{{0, 0}, {0, 0}}), rowsOf(zero));
}

TEST(Matrix, ElementWiseResults)
{
    const double a[4] = {1, 2, 3, 4};
    const double b[4] = {10, 20, 30, 40};
    Matrix ma(2, 2, a);
    Matrix mb(2, 2, b);
    EXPECT_EQ((Rows{{11, 22}, {33, 44}}), rowsOf(ma + mb));
    EXPECT_EQ((Rows{{9, 18}, {27, 36}}), rowsOf(mb - ma));
    EXPECT_EQ((Rows{{1.5, 2.5}, {3.5, 4.5}}), rowsOf(ma + 0.5));
    EXPECT_EQ((Rows{{-2, -4}, {-6, -8}}), rowsOf(ma * -2));
    EXPECT_EQ((Rows{{0.5, 1}, {1.5, 2}}), rowsOf(ma / 2));
    EXPECT_EQ((Rows{{1, 4}, {9, 16}}), rowsOf(ma.power(2)));
    Matrix inf = ma / 0.0;
    EXPECT_TRUE(std::isinf(inf[0][0]));

    // a matrix that is not square keeps its shape through each of them
    const double w[6] = {1, 2, 3, 4, 5, 6};
    const double v[6] = {6, 5, 4, 3, 2, 1};
    const Matrix wide(2, 3, w), other(2, 3, v);
    EXPECT_EQ((Rows{{7, 7, 7}, {7, 7, 7}}), rowsOf(wide + other));
    EXPECT_EQ((Rows{{-5, -3, -1}, {1, 3, 5}}), rowsOf(wide - other));
    EXPECT_EQ((Rows{{1.5, 2.5, 3.5}, {4.5, 5.5, 6.5}}), rowsOf(wide + 0.5));
    EXPECT_EQ((Rows{{2, 4, 6}, {8, 10, 12}}), rowsOf(wide * 2));
    EXPECT_EQ((Rows{{0.5, 1, 1.5}, {2, 2.5, 3}}), rowsOf(wide / 2));
    EXPECT_EQ((Rows{{1, 4, 9}, {16, 25, 36}}), rowsOf(wide.power(2)));
    EXPECT_EQ((Rows{{4.75, 4.25, 3.75}, {3.25, 2.75, 2.25}}), rowsOf(wide.blend(other, 0.75)));
    const Matrix tall(3, 2, w);
    EXPECT_EQ((Rows{{1, 4}, {9, 16}, {25, 36}}), rowsOf(tall.power(2)));
    EXPECT_EQ((Rows{{3, 2}, {1, 0}, {-1, -2}}), rowsOf(tall * -1 + 4));
}

TEST(Matrix, DimensionMismatchGivesZeros)
{
    Matrix square(3, 3);
    square.ones();
    Matrix row(1, 3);
    testing::internal::CaptureStderr();
    Matrix sum = square + row;
    Matrix diff = square - row;
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("unable to add matrices with different dimensions (3x3) and (1x3)\n"));
    EXPECT_EQ((Rows{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), rowsOf(sum));
    EXPECT_EQ((Rows{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), rowsOf(diff));
}

TEST(Matrix, Blend)
{
    const double a[2] = {0, 10};
    const double b[2] = {4, 20};
    Matrix ma(1, 2, a);
    Matrix mb(1, 2, b);
    EXPECT_EQ((Rows{{1, 12.5}}), rowsOf(ma.blend(mb, 0.25)));
    EXPECT_EQ((Rows{{0, 10}}), rowsOf(ma.blend(mb, 0.0)));
    EXPECT_EQ((Rows{{4, 20}}), rowsOf(ma.blend(mb, 1.0)));

    testing::internal::CaptureStderr();
    EXPECT_EQ((Rows{{0, 0}}), rowsOf(ma.blend(mb, 1.5)));
    EXPECT_EQ((Rows{{0, 0}}), rowsOf(ma.blend(mb, NAN)));
    EXPECT_EQ((Rows{{0, 0}}), rowsOf(ma.blend(Matrix(2, 1), 0.5)));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("Blending value must be between 0.0 and 1.0 (received:1.500000)\n"));
    EXPECT_NE(std::string::npos, log.find("Unable to add matrices with different dimensions (1x2) and (2x1)\n"));
}

TEST(Matrix, InverseIsCofactorsOverDeterminant)
{
    const double shear[9] = {1, 2, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ((Rows{{1, 0, 0}, {-2, 1, 0}, {0, 0, 1}}), rowsOf(Matrix(3, 3, shear).inv()));

    // the mathematical inverse is {{0.5,0,0},{0,0.25,0},{-0.5,0,1}}; its transpose is returned
    const double m[9] = {2, 0, 0, 0, 4, 0, 1, 0, 1};
    EXPECT_EQ((Rows{{0.5, 0, -0.5}, {0, 0.25, 0}, {0, 0, 1}}), rowsOf(Matrix(3, 3, m).inv()));

    // a full matrix whose determinant is 16: every cofactor is divided by it,
    // so the transpose of the result times the matrix is the identity
    const double full[9] = {2, 1, 1, 1, 3, 2, 1, 1, 4};
    const Rows inverse = rowsOf(Matrix(3, 3, full).inv());
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            double sum = 0;
            for (int k = 0; k < 3; k++)
                sum += full[i * 3 + k] * inverse[j][k];
            EXPECT_NEAR(i == j ? 1.0 : 0.0, sum, 1e-12) << i << "," << j;
        }

    const double singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ((Rows{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), rowsOf(Matrix(3, 3, singular).inv()));
    Matrix wide = Matrix(1, 4).inv();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, log.find("Determinant == 0, no inverse can be computed.\n"));
    EXPECT_NE(std::string::npos,
              log.find("Inverse matrix only implemented for 3x3 matrices (current matrix 1x4)\n"));
    EXPECT_EQ((Rows{{0, 0, 0, 0}}), rowsOf(wide));
}

TEST(Matrix, Printing)
{
    const double values[4] = {1, 0.5, -3, 1234567};
    std::ostringstream os;
    os << Matrix(2, 2, values);
    EXPECT_EQ(" 1 0.5\n -3 1.23457e+06\n", os.str());
}

TEST(Matrix, HistogramPlot)
{
    const double values[3] = {1.5, 0.45, 0.0};
    std::ostringstream os;
    Matrix::plotAsHistogram(Matrix(1, 3, values), os, '*');
    std::string expected = "Histogram:\n #  \n";
    for (int i = 1; i <= 7; i++)
        expected += " *  \n";
    for (int i = 8; i <= 14; i++)
        expected += " ** \n";
    expected += "<|___>\n";
    EXPECT_EQ(expected, os.str());

    // 16 columns: the heading, 15 bar lines of 17 characters and the axis line
    Matrix wide(1, 16);
    std::ostringstream os16;
    Matrix::plotAsHistogram(wide, os16, '+');
    const std::vector<std::string> lines = linesOf(os16.str());
    ASSERT_EQ(17u, lines.size());
    EXPECT_EQ("Histogram:", lines[0]);
    for (int i = 1; i <= 15; i++)
        EXPECT_EQ(std::string(17, ' '), lines[i]);
    EXPECT_EQ("<|_______|_______|>", lines[16]);
}

TEST(ColorCorrection, DefaultAndPrinting)
{
    ColorCorrection c;
    EXPECT_FALSE(c.initialized);
    std::ostringstream os;
    testing::internal::CaptureStderr();
    os << c;
    EXPECT_EQ("", testing::internal::GetCapturedStderr());  // every row read is one the correction has
    EXPECT_EQ("Temp:   \t6500\n"
              "Coeffs: \t1\t0\t0\n"
              "        \t0\t1\t0\n"
              "        \t0\t0\t1\n"
              "Offsets:\t0\t0\t0\n"
              "Gains:  \t1\t1\t1\t1\n",
              os.str());

    const double coeffs[9] = {1.5, -0.25, -0.25, -0.5, 2, -0.5, 0, -1, 2};
    const double offsets[3] = {1, 2, 3};
    const double gains[4] = {2, 1, 1, 1.75};
    ColorCorrection d(coeffs, offsets, gains, 3000);
    EXPECT_TRUE(d.initialized);
    EXPECT_EQ((Rows{{0, -1, 2}}), Rows{d.coefficients[2]});
    EXPECT_EQ((Rows{{2, 1, 1, 1.75}}), rowsOf(d.gains));
}

TEST(ColorCorrection, Inverse)
{
    ColorCorrection c;
    c.inv();
    EXPECT_EQ((Rows{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}), rowsOf(c.coefficients));
    EXPECT_TRUE(std::signbit(c.offsets[0][0]));  // 0 x -1 is a negative zero
    EXPECT_EQ((Rows{{1, 1, 1, 1}}), rowsOf(c.gains));
    EXPECT_DOUBLE_EQ(6500, c.temperature);
    EXPECT_FALSE(c.initialized);

    const double coeffs[9] = {2, 0, 0, 0, 4, 0, 1, 0, 1};
    const double offsets[3] = {1, -2, 0.5};
    const double gains[4] = {2, 1, 0, 0.5};
    ColorCorrection d(coeffs, offsets, gains, 5000);
    d.inv();
    EXPECT_EQ((Rows{{0.5, 0, -0.5}, {0, 0.25, 0}, {0, 0, 1}}), rowsOf(d.coefficients));
    EXPECT_EQ((Rows{{-1, 2, -0.5}}), rowsOf(d.offsets));
    EXPECT_DOUBLE_EQ(0.5, d.gains[0][0]);
    EXPECT_TRUE(std::isinf(d.gains[0][2]));
    EXPECT_DOUBLE_EQ(2, d.gains[0][3]);

    const double singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
    ColorCorrection s(singular, offsets, gains, 5000);
    testing::internal::CaptureStderr();
    s.inv();
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("Determinant == 0"));
    EXPECT_DOUBLE_EQ(0.0, s.coefficients.sum());
}

TEST(ColorCorrection, BlendScaleSumCompare)
{
    const double ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const double threes[9] = {3, 3, 3, 3, 3, 3, 3, 3, 3};
    const double offA[3] = {0, 0, 8};
    const double offB[3] = {4, 0, 0};
    const double gA[4] = {1, 1, 1, 2};
    const double gB[4] = {3, 1, 1, 1};
    ColorCorrection a(ones, offA, gA, 3000);
    ColorCorrection b(threes, offB, gB, 7000);

    ColorCorrection q = a.blend(b, 0.25);
    EXPECT_DOUBLE_EQ(4000, q.temperature);
    EXPECT_DOUBLE_EQ(1.5, q.coefficients[1][2]);
    EXPECT_EQ((Rows{{1, 0, 6}}), rowsOf(q.offsets));
    EXPECT_EQ((Rows{{1.5, 1, 1, 1.75}}), rowsOf(q.gains));
    EXPECT_TRUE(q.initialized);

    ColorCorrection x = a.blend(b, 1.5);  // extrapolates, no message
    EXPECT_DOUBLE_EQ(9000, x.temperature);
    EXPECT_DOUBLE_EQ(4, x.coefficients[0][0]);

    ColorCorrection half = b * 0.5;
    EXPECT_DOUBLE_EQ(3500, half.temperature);
    EXPECT_DOUBLE_EQ(1.5, half.coefficients[2][2]);
    EXPECT_EQ((Rows{{2, 0, 0}}), rowsOf(half.offsets));
    EXPECT_EQ((Rows{{1.5, 0.5, 0.5, 0.5}}), rowsOf(half.gains));
    EXPECT_TRUE(half.initialized);

    ColorCorrection sum = a + b;
    EXPECT_DOUBLE_EQ(10000, sum.temperature);
    EXPECT_DOUBLE_EQ(4, sum.coefficients[0][1]);
    EXPECT_EQ((Rows{{4, 2, 2, 3}}), rowsOf(sum.gains));
    EXPECT_EQ((Rows{{4, 0, 8}}), rowsOf(sum.offsets));
    EXPECT_TRUE(sum.initialized);

    ColorCorrection same(threes, offA, gA, 3000);
    EXPECT_FALSE(a < same);
    EXPECT_FALSE(a > same);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
}

// Every field of an image set distinct, so that a field dropped or taken from
// the wrong operand shows; a blend ratio is taken from 0 to 1, both included.
TEST(LightCorrection, EveryFieldIsSummedScaledAndBlended)
{
    LightCorrection a, b;
    a.sharpness = 0.1, a.saturation = 1.2, a.brightness = -0.3, a.contrast = 0.8, a.lightLevel = 100;
    b.sharpness = 0.5, b.saturation = 1.6, b.brightness = 0.3, b.contrast = 1.2, b.lightLevel = 300;
    auto fields = [](const LightCorrection &c) {
        return std::vector<double>{c.sharpness, c.saturation, c.brightness, c.contrast, c.lightLevel};
    };
    auto expectNear = [&](const std::vector<double> &expected, const LightCorrection &c) {
        const std::vector<double> got = fields(c);
        for (size_t i = 0; i < expected.size(); i++)
            EXPECT_NEAR(expected[i], got[i], 1e-12) << "field " << i;
    };
    expectNear({0.6, 2.8, 0.0, 2.0, 400}, a + b);
    expectNear({0.2, 2.4, -0.6, 1.6, 200}, a * 2.0);
    testing::internal::CaptureStderr();
    expectNear({0.2, 1.3, -0.15, 0.9, 150}, a.blend(b, 0.25));
    expectNear(fields(a), a.blend(b, 0.0));
    expectNear(fields(b), a.blend(b, 1.0));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    testing::internal::CaptureStderr();
    expectNear(fields(LightCorrection()), a.blend(b, -0.01));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("(received -0.010000)"));
}
