#include "tracking/Pose.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "tracking/RotationVector.h"

namespace {

// Square root of a sum formed in float, the root taken in double.
float NormOf(float a, float b, float c) {
    const float sum = a * a + b * b + c * c;
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

}  // namespace

CPose::CPose() { SetIdentity(); }

CPose::CPose(float r1, float r2, float r3, float t1, float t2, float t3) {
    SetIdentity();
    Set(r1, r2, r3, t1, t2, t3);
}

CPose::CPose(const float rotationColumns[9], const float translationValues[3]) {
    SetIdentity();
    for (int j = 1; j <= 3; ++j) {
        for (int i = 1; i <= 3; ++i) rotationMatrix.Ref(i, j) = rotationColumns[(i - 1) + 3 * (j - 1)];
    }
    for (int i = 1; i <= 3; ++i) translation.At(i) = translationValues[i - 1];
    rotationVectorValid = false;
}

CPose::CPose(std::istream& in) {
    SetIdentity();
    float r1, r2, r3, t1, t2, t3;
    if (in >> r1 >> r2 >> r3 >> t1 >> t2 >> t3) Set(r1, r2, r3, t1, t2, t3);
}

void CPose::SetIdentity() {
    rotationVector.Fill(0.0f);
    rotationMatrix.SetIdentity();
    translation.Fill(0.0f);
    transform.SetIdentity();
    weight = 1e-10f;
    rotationVectorValid = true;
}

void CPose::Set(float r1, float r2, float r3, float t1, float t2, float t3) {
    rotationVectorValid = true;
    rotationVector.At(1) = r1;
    rotationVector.At(2) = r2;
    rotationVector.At(3) = r3;
    translation.At(1) = t1;
    translation.At(2) = t2;
    translation.At(3) = t3;
    UpdateRotationMatrix();
}

void CPose::SetFromAxisAngle(float ax, float ay, float az, float angle, float t1, float t2,
                             float t3) {
    rotationVectorValid = true;
    const float axisLength = NormOf(ax, ay, az);
    float nx = 0.0f, ny = 0.0f, nz = 0.0f;
    if (axisLength != 0.0f) {
        nx = ax / axisLength;
        ny = ay / axisLength;
        nz = az / axisLength;
    } else {
        angle = 0.0f;  // no axis: no rotation rather than a matrix of NaNs
    }
    rotationVector.At(1) = nx * angle;
    rotationVector.At(2) = ny * angle;
    rotationVector.At(3) = nz * angle;
    SetRotationMatrix(nx, ny, nz, angle);
    translation.At(1) = t1;
    translation.At(2) = t2;
    translation.At(3) = t3;
}

float CPose::RotationAngle() const {
    return NormOf(rotationVector.AtValue(1), rotationVector.AtValue(2), rotationVector.AtValue(3));
}

float CPose::TranslationNorm() const {
    return NormOf(translation.AtValue(1), translation.AtValue(2), translation.AtValue(3));
}

DMatrix& CPose::GetTransform() {
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) transform.Ref(i, j) = rotationMatrix.Value(i, j);
        transform.Ref(i, 4) = translation.AtValue(i);
    }
    return transform;
}

DMatrix& CPose::GetInverseTransform() {
    transform = transform.Inverse();
    return transform;
}

void CPose::TransformPoint(float& x, float& y, float& z) const {
    float out[3];
    for (int i = 1; i <= 3; ++i) {
        float sum = rotationMatrix.Value(i, 1) * x;
        sum += rotationMatrix.Value(i, 2) * y;
        sum += rotationMatrix.Value(i, 3) * z;
        sum += translation.AtValue(i);
        out[i - 1] = sum;
    }
    x = out[0];
    y = out[1];
    z = out[2];
}

void CPose::Compose(const CPose& other) {
    if (rotationVectorValid && other.rotationVectorValid) {
        rotationVector += other.rotationVector;
    } else {
        rotationVectorValid = false;
    }
    translation += rotationMatrix * other.translation;
    rotationMatrix = rotationMatrix * other.rotationMatrix;
}

CPose* CPose::ComposeNew(const CPose* first, const CPose& second) {
    if (!first) return new CPose(second);
    CPose* composed = new CPose(*first);
    composed->Compose(second);
    return composed;
}

void CPose::DivideBy(float s) {
    if (!rotationVectorValid) return;
    for (int i = 1; i <= 3; ++i) {
        rotationVector.At(i) /= s;
        translation.At(i) /= s;
    }
    UpdateRotationMatrix();
}

void CPose::ShiftRotationCentre(float u, float v, float w) {
    const float r1 = rotationVector.AtValue(1);
    const float r2 = rotationVector.AtValue(2);
    const float r3 = rotationVector.AtValue(3);
    translation.At(1) += r2 * w - r3 * v;
    translation.At(2) += r3 * u - r1 * w;
    translation.At(3) += r1 * v - r2 * u;
}

void CPose::UpdateRotationMatrix() {
    if (!rotationVectorValid) return;
    const float r1 = rotationVector.AtValue(1);
    const float r2 = rotationVector.AtValue(2);
    const float r3 = rotationVector.AtValue(3);
    const float theta = NormOf(r1, r2, r3);
    if (theta != 0.0f) {
        SetRotationMatrix(r1 / theta, r2 / theta, r3 / theta, theta);
    } else {
        SetRotationMatrix(0.0f, 0.0f, 0.0f, theta);  // cos 0 = 1: exactly the identity
    }
}

void CPose::UpdateRotationVector() {
    cv::Matx33d rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) rotation(i, j) = rotationMatrix.Value(i + 1, j + 1);
    const cv::Vec3d vector = VectorFromRotation(rotation);
    for (int i = 0; i < 3; ++i) rotationVector.At(i + 1) = static_cast<float>(vector[i]);
    rotationVectorValid = true;
}

void CPose::SetRotationMatrix(float nx, float ny, float nz, float theta) {
    // R = ct I + (1 - ct) n n^T + st [n]x, the trigonometry in double, each element stored as float.
    const double ct = std::cos(static_cast<double>(theta));
    const double st = std::sin(static_cast<double>(theta));
    DMatrix& r = rotationMatrix;
    r.Ref(1, 1) = static_cast<float>((1 - nx * nx) * ct + nx * nx);
    r.Ref(2, 2) = static_cast<float>((1 - ny * ny) * ct + ny * ny);
    r.Ref(3, 3) = static_cast<float>((1 - nz * nz) * ct + nz * nz);
    r.Ref(1, 2) = static_cast<float>(nx * ny - ct * nx * ny - st * nz);
    r.Ref(2, 1) = static_cast<float>(nx * ny - ct * nx * ny + st * nz);
    r.Ref(1, 3) = static_cast<float>(nx * nz - ct * nx * nz + st * ny);
    r.Ref(3, 1) = static_cast<float>(nx * nz - ct * nx * nz - st * ny);
    r.Ref(2, 3) = static_cast<float>(ny * nz - ct * ny * nz - st * nx);
    r.Ref(3, 2) = static_cast<float>(ny * nz - ct * ny * nz + st * nx);
}

void CPose::Write(std::ostream& out) {
    UpdateRotationMatrix();
    out << translation.AtValue(1) << " " << translation.AtValue(2) << " " << translation.AtValue(3)
        << " " << rotationVector.AtValue(1) << " " << rotationVector.AtValue(2) << " "
        << rotationVector.AtValue(3) << std::endl;
}
