#include "linalg/DVector.h"

#include <algorithm>

#include "linalg/Lapack.h"

DVector::DVector() = default;

DVector::DVector(int n) { Resize(n, true); }

DVector::DVector(int n, float* buffer, bool copy) : DMatrix(n, 1, buffer, copy) {}

DVector::DVector(const DVector& other) : DMatrix() {
    Resize(other.rows, true);
    // A vector reshaped through the two-index Resize may hold more than its rows; copy what fits.
    const int count = std::min(size, other.size);
    const int unitStride = 1;
    if (count > 0) scopy_(&count, other.data, &unitStride, data, &unitStride);
}

DVector& DVector::operator=(const DVector& other) {
    Copy(other);
    return *this;
}

float& DVector::Ref(int i, int) { return data[i - 1]; }

float DVector::Value(int i, int) const { return data[i - 1]; }

void DVector::Resize(int n) { Resize(n, true); }

void DVector::Resize(int n, bool allocate) {
    if (n == allocRows) return;
    DMatrix::Resize(n, 1, allocate);
}

float& DVector::Ref(int i) { return data[i - 1]; }

float DVector::Value(int i) const { return data[i - 1]; }

float& DVector::At(int i) { return data[i - 1]; }

float DVector::AtValue(int i) const { return data[i - 1]; }
