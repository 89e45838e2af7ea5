// Column vector: a DMatrix of n x 1 whose element i (from 1) is data[i - 1]. Ownership as for
// DMatrix: owned storage is freed with the vector, a wrapped buffer stays the caller's.
#pragma once

#include "linalg/DMatrix.h"

class DVector : public DMatrix {
public:
    DVector();
    explicit DVector(int n);  // owning, contents undefined
    DVector(int n, float* buffer, bool copy);
    DVector(const DVector& other);
    DVector(DVector&& other) noexcept = default;
    DVector& operator=(const DVector& other);

    ~DVector() override = default;
    // The two-index forms ignore the column.
    float& Ref(int i, int j) override;
    float Value(int i, int j) const override;

    using DMatrix::Resize;
    virtual void Resize(int n);
    // Keeps storage and contents when n is the allocated row count.
    virtual void Resize(int n, bool allocate);
    virtual float& Ref(int i);
    virtual float Value(int i) const;
    virtual float& At(int i);
    virtual float AtValue(int i) const;
};
