#include "camera/matrix4.h"

#include "common/matrix_product.h"

#include <cmath>

namespace {

// Sine and cosine are taken in double precision, then stored as floats.
void SinCos(float angle, float& sine, float& cosine) {
    sine = static_cast<float>(std::sin(static_cast<double>(angle)));
    cosine = static_cast<float>(std::cos(static_cast<double>(angle)));
}

}  // namespace

void Matrix4::setIdentity() {
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) m[row][column] = row == column ? 1.0f : 0.0f;
}

void Matrix4::setTranslation(float x, float y, float z) {
    setIdentity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
}

void Matrix4::setRotationX(float angle) {
    float s, c;
    SinCos(angle, s, c);
    setIdentity();
    m[1][1] = c;
    m[1][2] = -s;
    m[2][1] = s;
    m[2][2] = c;
}

void Matrix4::setRotationY(float angle) {
    float s, c;
    SinCos(angle, s, c);
    setIdentity();
    m[0][0] = c;
    m[0][2] = -s;
    m[2][0] = s;
    m[2][2] = c;
}

void Matrix4::setRotationZ(float angle) {
    float s, c;
    SinCos(angle, s, c);
    setIdentity();
    m[0][0] = c;
    m[0][1] = -s;
    m[1][0] = s;
    m[1][1] = c;
}

void Matrix4::setRotation(float pitch, float yaw, float roll) {
    Matrix4 z, x, y;
    z.setRotationZ(roll);
    x.setRotationX(pitch);
    y.setRotationY(yaw);
    *this = (z * x) * y;
}

Matrix4 Matrix4::operator*(const Matrix4& other) const {
    Matrix4 product;
    MultiplyMatrices(m, other.m, product.m);
    return product;
}

Vector4 Matrix4::operator*(const Vector4& v) const {
    Vector4 result;
    float* out[4] = {&result.x, &result.y, &result.z, &result.w};
    for (int i = 0; i < 4; ++i)
        *out[i] = m[i][0] * v.x + m[i][1] * v.y + m[i][2] * v.z + m[i][3] * v.w;
    return result;
}

Matrix4 Matrix4::transposed() const {
    Matrix4 result;
    result.setTransposed(*this);
    return result;
}

void Matrix4::setTransposed(const Matrix4& other) {
    if (&other == this) {
        *this = other.transposed();
        return;
    }
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) m[row][column] = other.m[column][row];
}

void Matrix4::setTransposed(const D3DXMATRIX& other) {
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) m[row][column] = other.m[column][row];
}

Matrix4::operator D3DXMATRIX() const {
    D3DXMATRIX result;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) result.m[row][column] = m[row][column];
    return result;
}
