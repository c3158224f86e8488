// A 4 x 4 single-precision matrix for column vectors: points transform as
// M * v and a translation sits in the fourth column. The platform's D3DXMATRIX
// works with row vectors, so every hand-over between the two is a transpose:
// convert transposed() to hand a Matrix4 over, and take a D3DXMATRIX back with
// setTransposed().
#pragma once

#include "camera/vector4.h"
#include "platform/platform.h"

class Matrix4 {
public:
    enum IdentityTag { Identity };

    // Leaves the elements unset.
    Matrix4() {}
    // The identity: Matrix4 m(Matrix4::Identity).
    explicit Matrix4(IdentityTag) { setIdentity(); }

    // Each set... operation overwrites all sixteen elements.
    void setIdentity();
    void setTranslation(float x, float y, float z);
    void setRotationX(float angle);
    void setRotationY(float angle);
    void setRotationZ(float angle);
    // (Z(roll) * X(pitch)) * Y(yaw): turns a column vector by yaw first, then
    // pitch, then roll.
    void setRotation(float pitch, float yaw, float roll);

    Matrix4 operator*(const Matrix4& other) const;
    Vector4 operator*(const Vector4& v) const;

    Matrix4 transposed() const;
    void setTransposed(const Matrix4& other);
    void setTransposed(const D3DXMATRIX& other);

    // Copies the elements in storage order (no transpose).
    operator D3DXMATRIX() const;

    // m[row][column]
    float m[4][4];
};
