#include "linalg/DMatrixStatic.h"

#include <cstddef>

DMatrixStatic::DMatrixStatic(int rowCount, int colCount, float* buffer)
    : DMatrix(rowCount, colCount, buffer, false) {}

DMatrixStatic::DMatrixStatic(DMatrix& other, int j, int k)
    : DMatrix(other.GetRows(), k,
              other.GetData() + static_cast<std::ptrdiff_t>(other.GetRows()) * (j - 1), false) {}

// Nothing to release: the storage is never this object's (the base frees only what it allocated,
// which for a view happens only if somebody resizes it with allocation).
DMatrixStatic::~DMatrixStatic() = default;
