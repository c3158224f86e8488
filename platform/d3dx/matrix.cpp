// Matrix routines with Direct3D's conventions: row vectors (v * M), the
// translation in the fourth row, left-handed view and projection.
#include "d3dx8.h"

#include "common/matrix_product.h"

#include <cmath>
#include <cstring>

D3DXMATRIX::D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
                       float m24, float m31, float m32, float m33, float m34, float m41, float m42,
                       float m43, float m44) {
    _11 = m11;
    _12 = m12;
    _13 = m13;
    _14 = m14;
    _21 = m21;
    _22 = m22;
    _23 = m23;
    _24 = m24;
    _31 = m31;
    _32 = m32;
    _33 = m33;
    _34 = m34;
    _41 = m41;
    _42 = m42;
    _43 = m43;
    _44 = m44;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const {
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, this, &other);
    return product;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& other) const {
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (m[row][column] != other.m[row][column]) return false;
    return true;
}

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    std::memset(&out->m[0][0], 0, sizeof out->m);
    out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
    MultiplyMatrices(a->m, b->m, out->m);
    return out;
}

namespace {

// Determinant of the 3 × 3 minor that leaves out row `skipRow` and column
// `skipColumn`.
double Minor3(const double m[4][4], int skipRow, int skipColumn) {
    int rows[3], columns[3];
    for (int i = 0, r = 0, c = 0; i < 4; ++i) {
        if (i != skipRow) rows[r++] = i;
        if (i != skipColumn) columns[c++] = i;
    }
    auto at = [&](int r, int c) { return m[rows[r]][columns[c]]; };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

}  // namespace

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m) {
    // Cofactors in double precision, so that the inverse of a rotation and
    // translation comes back as exact as single precision allows.
    double source[4][4];
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) source[row][column] = m->m[row][column];
    double cofactor[4][4];
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) {
            double sign = ((row + column) % 2 == 0) ? 1.0 : -1.0;
            cofactor[row][column] = sign * Minor3(source, row, column);
        }
    double det = 0.0;
    for (int column = 0; column < 4; ++column) det += source[0][column] * cofactor[0][column];

    float singleDet = static_cast<float>(det);
    if (determinant) *determinant = singleDet;
    if (!std::isfinite(1.0f / singleDet)) return nullptr;

    // The inverse is the transposed cofactor matrix over the determinant.
    D3DXMATRIX inverse;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            inverse.m[row][column] = static_cast<float>(cofactor[column][row] / det);
    *out = inverse;
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear,
                                       float zFar) {
    float yScale = 1.0f / std::tan(fovY / 2.0f);
    float xScale = yScale / aspect;
    float depthRange = zFar - zNear;
    std::memset(&out->m[0][0], 0, sizeof out->m);
    out->_11 = xScale;
    out->_22 = yScale;
    out->_33 = zFar / depthRange;
    out->_34 = 1.0f;
    out->_43 = -zNear * zFar / depthRange;
    return out;
}

namespace {

D3DXVECTOR3 Subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x - b.x, a.y - b.y, a.z - b.z);
}

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A zero vector stays zero instead of turning into NaNs, so a degenerate
// camera (eye on the target, up along the view) gives a finite matrix.
D3DXVECTOR3 Normalized(const D3DXVECTOR3& v) {
    float length = std::sqrt(Dot(v, v));
    if (!(length > 0.0f)) return D3DXVECTOR3();
    return D3DXVECTOR3(v.x / length, v.y / length, v.z / length);
}

}  // namespace

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    D3DXVECTOR3 zAxis = Normalized(Subtract(*at, *eye));
    D3DXVECTOR3 xAxis = Normalized(Cross(*up, zAxis));
    D3DXVECTOR3 yAxis = Cross(zAxis, xAxis);
    *out = D3DXMATRIX(xAxis.x, yAxis.x, zAxis.x, 0.0f, xAxis.y, yAxis.y, zAxis.y, 0.0f, xAxis.z,
                      yAxis.z, zAxis.z, 0.0f, -Dot(xAxis, *eye), -Dot(yAxis, *eye),
                      -Dot(zAxis, *eye), 1.0f);
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}
