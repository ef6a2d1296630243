#include "vova/Matrix.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "vezaracommon/userlog.h"

#define LOG_TAG "VOVA_MATRIX"

namespace VOVA {

namespace {

// What row access yields on a matrix without storage (not in the contract,
// but never an access outside the storage).
std::vector<double> &noRow()
{
    static std::vector<double> empty;
    empty.clear();
    return empty;
}

}  // namespace

Matrix::Matrix(int r, int c) : rows(r), cols(c), matrixState(NOT_INITIALIZED)
{
    if (rows <= 0 || cols <= 0) {
        LOG_ERROR("Invalid dimensions for matrix\n");
        matrixState = INVALID;
        return;
    }
    coefficients.assign(rows, std::vector<double>(cols, 0.0));
    matrixState = VALID;
}

Matrix::Matrix(int r, int c, const double *pValues) : Matrix(r, c)
{
    if (matrixState != VALID || !pValues)
        return;
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            coefficients[i][j] = pValues[i * cols + j];
    }
}

std::vector<double> &Matrix::operator[](int index)
{
    if (coefficients.empty()) {
        LOG_ERROR("Invalid matrix state\n");
        return noRow();
    }
    if (index < 0 || index >= rows) {
        LOG_ERROR("invalid row!!! return last row\n");
        return coefficients.back();
    }
    return coefficients[index];
}

const std::vector<double> &Matrix::operator[](int index) const
{
    if (coefficients.empty()) {
        LOG_ERROR("Invalid matrix state\n");
        return noRow();
    }
    if (index < 0 || index >= rows) {
        LOG_ERROR("invalid row!!! return last row\n");
        return coefficients.back();
    }
    return coefficients[index];
}

void Matrix::zeros()
{
    if (matrixState == INVALID) {
        LOG_ERROR("Invalid matrix state\n");
        return;
    }
    for (auto &row : coefficients)
        std::fill(row.begin(), row.end(), 0.0);
}

void Matrix::ones()
{
    if (matrixState == INVALID) {
        LOG_ERROR("Invalid matrix state\n");
        return;
    }
    for (auto &row : coefficients)
        std::fill(row.begin(), row.end(), 1.0);
}

void Matrix::identity()
{
    if (matrixState == INVALID) {
        LOG_ERROR("Invalid matrix state\n");
        return;
    }
    if (rows != cols)
        LOG_WARNING("Matrix is not square.\n");
    for (int k = 0; k < std::min(rows, cols); k++)
        coefficients[k][k] = 1.0;
}

Matrix &Matrix::applyMin(double value)
{
    for (auto &row : coefficients) {
        for (double &v : row)
            v = std::min(v, value);
    }
    return *this;
}

Matrix &Matrix::applyMax(double value)
{
    for (auto &row : coefficients) {
        for (double &v : row)
            v = std::max(v, value);
    }
    return *this;
}

Matrix &Matrix::normaliseSum()
{
    const double s = sum();
    if (s != 0.0) {
        for (auto &row : coefficients) {
            for (double &v : row)
                v /= s;
        }
    }
    return *this;
}

Matrix &Matrix::normaliseMax()
{
    if (!hasElements())
        return *this;
    const double m = max();
    if (m != 0.0) {
        for (auto &row : coefficients) {
            for (double &v : row)
                v /= m;
        }
    }
    return *this;
}

double Matrix::sum() const
{
    double s = 0.0;
    for (const auto &row : coefficients) {
        for (double v : row)
            s += v;
    }
    return s;
}

double Matrix::max() const
{
    if (!hasElements()) {
        LOG_ERROR("Invalid matrix state\n");
        return 0.0;
    }
    double m = coefficients[0][0];
    for (const auto &row : coefficients) {
        for (double v : row) {
            if (v > m)
                m = v;
        }
    }
    return m;
}

double Matrix::min() const
{
    if (!hasElements()) {
        LOG_ERROR("Invalid matrix state\n");
        return 0.0;
    }
    double m = coefficients[0][0];
    for (const auto &row : coefficients) {
        for (double v : row) {
            if (v < m)
                m = v;
        }
    }
    return m;
}

Matrix Matrix::operator+(const Matrix &other) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID || other.matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    if (rows != other.rows || cols != other.cols) {
        LOG_ERROR("unable to add matrices with different dimensions (%dx%d) and (%dx%d)\n", rows, cols,
                  other.rows, other.cols);
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = coefficients[i][j] + other.coefficients[i][j];
    }
    return result;
}

Matrix Matrix::operator-(const Matrix &other) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID || other.matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    if (rows != other.rows || cols != other.cols) {
        LOG_ERROR("unable to add matrices with different dimensions (%dx%d) and (%dx%d)\n", rows, cols,
                  other.rows, other.cols);
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = coefficients[i][j] - other.coefficients[i][j];
    }
    return result;
}

Matrix Matrix::operator+(double value) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = coefficients[i][j] + value;
    }
    return result;
}

Matrix Matrix::operator*(double value) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = coefficients[i][j] * value;
    }
    return result;
}

Matrix Matrix::operator/(double value) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = coefficients[i][j] / value;
    }
    return result;
}

Matrix Matrix::power(double value) const
{
    Matrix result(rows, cols);
    if (matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++)
            result.coefficients[i][j] = std::pow(coefficients[i][j], value);
    }
    return result;
}

Matrix Matrix::blend(const Matrix &otherMatrix, double blending) const
{
    Matrix result(rows, cols);
    // Written so that a weight that is not a number is refused as well.
    if (!(blending >= 0.0 && blending <= 1.0)) {
        LOG_ERROR("Blending value must be between 0.0 and 1.0 (received:%f)\n", blending);
        return result;
    }
    if (matrixState != VALID || otherMatrix.matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    if (rows != otherMatrix.rows || cols != otherMatrix.cols) {
        LOG_ERROR("Unable to add matrices with different dimensions (%dx%d) and (%dx%d)\n", rows, cols,
                  otherMatrix.rows, otherMatrix.cols);
        return result;
    }
    for (int i = 0; i < rows; i++) {
        for (int j = 0; j < cols; j++) {
            result.coefficients[i][j] =
                (1.0 - blending) * coefficients[i][j] + blending * otherMatrix.coefficients[i][j];
        }
    }
    return result;
}

Matrix Matrix::inv() const
{
    Matrix result(rows, cols);
    if (matrixState != VALID) {
        LOG_ERROR("Invalid matrix state\n");
        return result;
    }
    if (rows != 3 || cols != 3) {
        LOG_ERROR("Inverse matrix only implemented for 3x3 matrices (current matrix %dx%d)\n", rows, cols);
        return result;
    }
    const auto &a = coefficients;
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (det == 0.0) {
        LOG_ERROR("Determinant == 0, no inverse can be computed.\n");
        return result;
    }
    // Cofactors in place, not transposed: callers apply the result column by column.
    auto &c = result.coefficients;
    c[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    c[0][1] = -(a[1][0] * a[2][2] - a[1][2] * a[2][0]) / det;
    c[0][2] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    c[1][0] = -(a[0][1] * a[2][2] - a[0][2] * a[2][1]) / det;
    c[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    c[1][2] = -(a[0][0] * a[2][1] - a[0][1] * a[2][0]) / det;
    c[2][0] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    c[2][1] = -(a[0][0] * a[1][2] - a[0][2] * a[1][0]) / det;
    c[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    return result;
}

void Matrix::plotAsHistogram(const Matrix &histogram, std::ostream &os, char symbol)
{
    static const std::vector<double> noValues;
    const std::vector<double> &row = histogram.coefficients.empty() ? noValues : histogram.coefficients[0];
    const size_t columns = row.size();

    os << "Histogram:" << std::endl;
    for (int i = 0; i < 15; i++) {
        const double threshold = 1.0 - i * 0.07142857142857142;
        std::string line(1, ' ');
        for (double v : row)
            line += v > threshold ? (i == 0 ? '#' : symbol) : ' ';
        os << line << std::endl;
    }
    std::string axis("<");
    for (size_t k = 0; k <= columns; k++)
        axis += (k % 8 == 0) ? '|' : '_';
    axis += ">";
    os << axis << std::endl;
}

std::ostream &operator<<(std::ostream &os, const Matrix &matrix)
{
    if (matrix.numRows() <= 0 || matrix.numCols() <= 0)
        return os;  // no storage
    for (int i = 0; i < matrix.numRows(); i++) {
        for (double v : matrix[i])
            os << " " << v;
        os << std::endl;
    }
    return os;
}

}  // namespace VOVA
