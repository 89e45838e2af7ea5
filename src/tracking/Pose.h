// Rigid motion p' = R p + t in the camera frame. The rotation is held twice: as a rotation vector
// (axis times angle in radians) and as the matrix R derived from it by Rodrigues' formula; a pose
// built from a matrix has no meaningful rotation vector and says so (IsRotationVectorValid).
// Composition sums rotation vectors but multiplies matrices, so R may lag the vector until the
// next UpdateRotationMatrix. A plain value: copies carry every field, weight and flag included.
// Getters are 0-based. Write emits the poses-file line "t1 t2 t3 r1 r2 r3".
#pragma once

#include <iosfwd>

#include "linalg/DMatrix.h"
#include "linalg/DVector.h"

class CPose {
public:
    CPose();
    CPose(float r1, float r2, float r3, float t1, float t2, float t3);
    // The nine elements of R column by column; the rotation vector stays (0, 0, 0).
    CPose(const float rotationColumns[9], const float translationValues[3]);
    // Six whitespace-separated floats in the order r1 r2 r3 t1 t2 t3 (not Write's order);
    // the identity when the stream does not hold six floats.
    explicit CPose(std::istream& in);
    CPose(const CPose& other) = default;
    CPose& operator=(const CPose& other) = default;

    void SetIdentity();
    void Set(float r1, float r2, float r3, float t1, float t2, float t3);
    // A zero axis means no rotation.
    void SetFromAxisAngle(float ax, float ay, float az, float angle, float t1, float t2, float t3);

    float GetRotation(int i) const { return rotationVector.AtValue(i + 1); }
    float GetTranslation(int i) const { return translation.AtValue(i + 1); }
    float GetRotationMatrix(int i, int j) const { return rotationMatrix.Value(i + 1, j + 1); }
    DVector& GetRotationVectorRef() { return rotationVector; }
    const DVector& GetRotationVectorRef() const { return rotationVector; }
    DMatrix& GetRotationMatrixRef() { return rotationMatrix; }
    const DMatrix& GetRotationMatrixRef() const { return rotationMatrix; }
    DVector& GetTranslationRef() { return translation; }
    const DVector& GetTranslationRef() const { return translation; }
    bool IsRotationVectorValid() const { return rotationVectorValid; }
    float GetWeight() const { return weight; }
    void SetWeight(float value) { weight = value; }

    float RotationAngle() const;
    float TranslationNorm() const;

    // The 4 x 4 homogeneous form of (R, t), written into the pose's own transform and returned.
    DMatrix& GetTransform();
    // Inverts whatever the transform holds (call GetTransform first) and returns it.
    DMatrix& GetInverseTransform();
    void TransformPoint(float& x, float& y, float& z) const;

    // this := this followed by other: t += R other.t, R := R other.R, rotation vectors summed
    // while both are valid.
    void Compose(const CPose& other);
    // A new pose, *first composed with second (a copy of second when first is null); the caller
    // owns it.
    static CPose* ComposeNew(const CPose* first, const CPose& second);
    void DivideBy(float s);
    // t := t + r x (u, v, w): a small motion about the centre -(u, v, w) restated about the origin.
    void ShiftRotationCentre(float u, float v, float w);
    void UpdateRotationMatrix();
    // The reverse of UpdateRotationMatrix: the rotation vector (angle in [0, pi]) of R, marked
    // valid. Makes a composed pose, or one built from a matrix, carry its exact rotation.
    void UpdateRotationVector();

    void Write(std::ostream& out);

private:
    // R := Rodrigues(unit axis n, angle theta).
    void SetRotationMatrix(float nx, float ny, float nz, float theta);

    DVector rotationVector{3};
    DMatrix rotationMatrix{3, 3};
    DVector translation{3};
    DMatrix transform{4, 4};
    float weight = 1e-10f;
    bool rotationVectorValid = true;
};
