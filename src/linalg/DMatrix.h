// Dense single-precision matrix in the layout BLAS and LAPACK expect: column-major, leading
// dimension equal to the row count, element (i, j) indexed from 1. A matrix either owns its storage
// (from nspsMalloc, freed on destruction or resize) or looks at a caller's float buffer, which it
// reads and writes in place and never frees; the caller keeps that buffer alive.
// Size mismatches and exhausted memory are programming errors: they print "ERROR class DMatrix",
// the reason and "program stopped..." on standard error and abort. Element access checks no bounds.
#pragma once

class DVector;

class DMatrix {
public:
    DMatrix();
    DMatrix(int rows, int cols);  // owning, contents undefined
    // copy true: owning copy of the buffer's rows * cols floats; false: a view of the buffer.
    DMatrix(int rows, int cols, float* buffer, bool copy);
    DMatrix(const DMatrix& other);
    DMatrix(DMatrix&& other) noexcept;

    virtual ~DMatrix();
    // Keeps storage and contents when (rows, cols) is the allocated shape; otherwise drops the
    // current storage (freeing it when owned) and, when allocate is set, takes a fresh owned block.
    virtual void Resize(int rows, int cols, bool allocate);
    // Releases the storage when owned (a wrapped buffer stays the caller's) and empties the matrix.
    virtual void Free();
    virtual float& Ref(int i, int j);
    virtual float Value(int i, int j) const;

    // Writes element by element into the current storage, even a wrapped buffer, when the
    // shape already matches; so assignment is a copy, never a transfer of storage.
    DMatrix& operator=(const DMatrix& other);
    DMatrix& Copy(const DMatrix& other);

    int GetRows() const { return rows; }
    int GetCols() const { return cols; }
    int GetSize() const { return size; }
    float* GetData() { return data; }
    const float* GetData() const { return data; }

    void Fill(float value);
    void SetIdentity();

    DMatrix& operator+=(const DMatrix& other);
    DMatrix operator*(const DMatrix& other) const;
    DVector operator*(const DVector& v) const;

    // Minimum-norm least-squares solution of this * x = b (b holds at least rows values), with
    // every singular value <= 1e-7 discarded. Returns 1 without touching x when the system has
    // fewer rows than columns, otherwise the status of the last LAPACK call (0 on success).
    // Workspaces are per thread and grow to the largest system seen, so repeated solves of one
    // shape allocate nothing once x has its size.
    int SolveSVD(const DMatrix& b, DVector& x) const;

    // Inverse of a square matrix by LU decomposition with implicit partial pivoting.
    // A row of zeros ends the process with status 1 after "Singular DMatrix in routine ludcmp".
    DMatrix Inverse() const;

protected:
    [[noreturn]] static void Error(const char* message);

    bool ownsData = false;
    float* data = nullptr;  // first element of the current view
    int rows = 0;           // also the leading dimension
    int cols = 0;
    int size = 0;
    int allocRows = 0;
    int allocCols = 0;
    int allocSize = 0;
    float* allocData = nullptr;  // start of the allocated or wrapped block
};
