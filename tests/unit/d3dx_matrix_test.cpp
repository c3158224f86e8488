// Our D3DX matrix routines against values worked out by hand from
// Direct3D's documented formulas (row vectors, left-handed).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance = 1e-5f) {
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_NEAR(actual(row, column), expected(row, column), tolerance)
                << "element [" << row << "][" << column << "]";
}

// Row vector (x, y, z, 1) times m.
D3DXVECTOR3 TransformPoint(const D3DXMATRIX& m, float x, float y, float z) {
    return D3DXVECTOR3(x * m._11 + y * m._21 + z * m._31 + m._41,
                       x * m._12 + y * m._22 + z * m._32 + m._42,
                       x * m._13 + y * m._23 + z * m._33 + m._43);
}

D3DXMATRIX RotationYThenTranslation(float angle, float tx, float ty, float tz) {
    float c = std::cos(angle), s = std::sin(angle);
    return D3DXMATRIX(c, 0, -s, 0,  //
                      0, 1, 0, 0,   //
                      s, 0, c, 0,   //
                      tx, ty, tz, 1);
}

}  // namespace

TEST(D3DXMatrix, MultiplyIsRowVectorOrderAndAllowsAliasing) {
    D3DXMATRIX translate, scale(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1);
    D3DXMatrixTranslation(&translate, 1, 2, 3);
    // v * (T * S): first translate, then scale.
    D3DXMATRIX both = translate * scale;
    D3DXVECTOR3 p = TransformPoint(both, 1, 1, 1);
    EXPECT_FLOAT_EQ(p.x, 4.0f);
    EXPECT_FLOAT_EQ(p.y, 9.0f);
    EXPECT_FLOAT_EQ(p.z, 16.0f);
    D3DXMatrixMultiply(&translate, &translate, &scale);
    EXPECT_TRUE(translate == both);
}

TEST(D3DXMatrix, InverseOfRotationAndTranslationUndoesIt) {
    D3DXMATRIX m = RotationYThenTranslation(0.7f, 10.0f, -5.0f, 2.5f);
    D3DXMATRIX inverse;
    float determinant = 0.0f;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &determinant, &m), &inverse);
    EXPECT_NEAR(determinant, 1.0f, 1e-6f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    ExpectNear(m * inverse, identity);
    ExpectNear(inverse * m, identity);
    // The inverse of a rigid motion: transposed rotation, rotated negative translation.
    EXPECT_NEAR(inverse._13, m._31, 1e-6f);
    D3DXVECTOR3 back = TransformPoint(inverse, 10.0f, -5.0f, 2.5f);
    EXPECT_NEAR(back.x, 0.0f, 1e-5f);
    EXPECT_NEAR(back.y, 0.0f, 1e-5f);
    EXPECT_NEAR(back.z, 0.0f, 1e-5f);
}

TEST(D3DXMatrix, InverseStoresDeterminantOfScaling) {
    D3DXMATRIX m(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 1, 1, 1);
    D3DXMATRIX inverse;
    float determinant = 0.0f;
    ASSERT_NE(D3DXMatrixInverse(&inverse, &determinant, &m), nullptr);
    EXPECT_FLOAT_EQ(determinant, 24.0f);
    EXPECT_FLOAT_EQ(inverse._22, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(inverse._41, -0.5f);
    EXPECT_NE(D3DXMatrixInverse(&inverse, nullptr, &m), nullptr);  // determinant not asked
}

TEST(D3DXMatrix, SingularInverseReturnsNullAndLeavesOutputAlone) {
    D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 1);  // row 2 = 2 × row 1
    D3DXMATRIX out(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    const D3DXMATRIX before = out;
    float determinant = 5.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &determinant, &singular), nullptr);
    EXPECT_EQ(determinant, 0.0f);
    EXPECT_TRUE(out == before);

    // A determinant so small that its reciprocal overflows counts as singular.
    D3DXMATRIX tiny(1e-10f, 0, 0, 0, 0, 1e-10f, 0, 0, 0, 0, 1e-10f, 0, 0, 0, 0, 1e-10f);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &tiny), nullptr);
    EXPECT_TRUE(out == before);

    D3DXMATRIX withNaN = D3DXMATRIX(before);
    withNaN._23 = std::nanf("");
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &withNaN), nullptr);
}

TEST(D3DXMatrix, PerspectiveFovLHMatchesDirect3DFormula) {
    // fovY = π/2: yScale = cot(π/4) = 1; aspect 2 → xScale 0.5;
    // zn 1, zf 101: _33 = 101/100, _43 = −101/100.
    D3DXMATRIX m;
    D3DXMatrixPerspectiveFovLH(&m, 1.5707964f, 2.0f, 1.0f, 101.0f);
    ExpectNear(m, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0));

    // The world's projection: π/4, 4:3, 1 … 100000.
    D3DXMatrixPerspectiveFovLH(&m, 0.7853982f, 4.0f / 3.0f, 1.0f, 100000.0f);
    EXPECT_NEAR(m._22, 2.4142137f, 1e-5f);
    EXPECT_NEAR(m._11, 2.4142137f * 0.75f, 1e-5f);
    // Points on the near and far planes land at depth 0 and 1 after the divide.
    EXPECT_NEAR((1.0f * m._33 + m._43) / 1.0f, 0.0f, 1e-6f);
    EXPECT_NEAR((100000.0f * m._33 + m._43) / 100000.0f, 1.0f, 1e-6f);
}

TEST(D3DXMatrix, LookAtLHBuildsTheCameraBasis) {
    // Eye at (5, 5, -10) looking along +z: a pure translation by −eye.
    D3DXVECTOR3 eye(5, 5, -10), at(5, 5, 0), up(0, 1, 0);
    D3DXMATRIX m;
    D3DXMatrixLookAtLH(&m, &eye, &at, &up);
    ExpectNear(m, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -5, -5, 10, 1));

    // Eye at the origin looking along +x: world +x is camera +z, world −z is camera +x.
    D3DXVECTOR3 origin(0, 0, 0), alongX(3, 0, 0);
    D3DXMatrixLookAtLH(&m, &origin, &alongX, &up);
    D3DXVECTOR3 ahead = TransformPoint(m, 2, 0, 0);
    D3DXVECTOR3 right = TransformPoint(m, 0, 0, -1);
    EXPECT_NEAR(ahead.z, 2.0f, 1e-6f);
    EXPECT_NEAR(ahead.x, 0.0f, 1e-6f);
    EXPECT_NEAR(right.x, 1.0f, 1e-6f);
    EXPECT_NEAR(right.z, 0.0f, 1e-6f);
}

TEST(D3DXMatrix, LookAtWithEyeOnTargetStaysFinite) {
    D3DXVECTOR3 eye(1, 2, 3), up(0, 1, 0);
    D3DXMATRIX m;
    D3DXMatrixLookAtLH(&m, &eye, &eye, &up);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(static_cast<const float*>(m)[i]));
}

TEST(D3DXMatrix, TranslationMovesPointsByRowFour) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1.5f, -2.0f, 7.0f);
    EXPECT_EQ(m._41, 1.5f);
    EXPECT_EQ(m._42, -2.0f);
    EXPECT_EQ(m._43, 7.0f);
    D3DXVECTOR3 p = TransformPoint(m, 1, 1, 1);
    EXPECT_FLOAT_EQ(p.x, 2.5f);
    EXPECT_FLOAT_EQ(p.y, -1.0f);
    EXPECT_FLOAT_EQ(p.z, 8.0f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    D3DXMATRIX noMove;
    EXPECT_TRUE(*D3DXMatrixTranslation(&noMove, 0, 0, 0) == identity);
}
