// Small dense matrix of doubles with a validity state, used by the colour
// corrections, the white-balance and tone-mapping loops and the demo.
#ifndef VOVA_MATRIX_H
#define VOVA_MATRIX_H

#include <ostream>
#include <vector>

namespace VOVA {

class Matrix {
public:
    enum state {
        INVALID = 0,          ///< dimensions not positive, no storage
        NOT_INITIALIZED = 1,  ///< only while a constructor runs
        VALID = 2,
    };

    /** A rows x cols matrix of zeros. */
    Matrix(int rows, int cols);
    /** Element (i, j) is pValues[i * cols + j]. */
    Matrix(int rows, int cols, const double *pValues);

    int numRows() const { return rows; }
    int numCols() const { return cols; }

    /** Row index; past the last row, the last row after a message. */
    std::vector<double> &operator[](int index);
    const std::vector<double> &operator[](int index) const;

    void zeros();
    void ones();
    /** 1 on the main diagonal; the other elements keep their values. */
    void identity();
    /** Upper clamp: every element becomes min(element, value). */
    Matrix &applyMin(double value);
    /** Lower clamp: every element becomes max(element, value). */
    Matrix &applyMax(double value);
    /** Divides by the sum of the elements unless it is 0. */
    Matrix &normaliseSum();
    /** Divides by the largest element unless it is 0. */
    Matrix &normaliseMax();

    double sum() const;
    double max() const;
    double min() const;

    Matrix operator+(const Matrix &other) const;
    Matrix operator-(const Matrix &other) const;
    Matrix operator+(double value) const;
    Matrix operator*(double value) const;
    Matrix operator/(double value) const;
    Matrix power(double value) const;
    /** Cofactor matrix over the determinant (the transpose of the inverse), 3x3 only. */
    Matrix inv() const;
    /** (1 - blending) x this + blending x other, blending in 0..1. */
    Matrix blend(const Matrix &otherMatrix, double blending) const;

    /** Bar plot of row 0 (values expected in 0..1): 15 bar lines and an axis line. */
    static void plotAsHistogram(const Matrix &histogram, std::ostream &os, char symbol);

private:
    bool hasElements() const { return !coefficients.empty() && !coefficients[0].empty(); }

    std::vector<std::vector<double>> coefficients;
    int rows;
    int cols;
    state matrixState;
};

/** Each row on one line, every element after a blank. */
std::ostream &operator<<(std::ostream &os, const Matrix &matrix);

}  // namespace VOVA

#endif  // VOVA_MATRIX_H
