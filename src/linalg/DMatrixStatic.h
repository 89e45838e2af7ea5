// A matrix that never owns its storage: either a caller's buffer of rows x cols floats, or k
// consecutive columns of another matrix starting at column j (from 1), which share that matrix's
// rows and storage. The buffer or the other matrix must outlive this view and keep its storage.
#pragma once

#include "linalg/DMatrix.h"

class DMatrixStatic : public DMatrix {
public:
    DMatrixStatic(int rows, int cols, float* buffer);
    // Columns j .. j + k - 1 of other; the caller keeps them within other's columns.
    DMatrixStatic(DMatrix& other, int j, int k);
    DMatrixStatic(const DMatrixStatic&) = delete;
    DMatrixStatic& operator=(const DMatrixStatic&) = delete;

    ~DMatrixStatic() override;
};
