// Our D3DX matrix routines against values worked out by hand from Direct3D's
// formulas (row vectors, left-handed). The projection is World's test's, the
// look-at Font's and the glyph pictures'.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual(i / 4, i % 4), expected(i / 4, i % 4), 1e-5f) << i;
}

TEST(D3DXMatrix, MultiplyTranslateAndInvert) {
    D3DXMATRIX translate, scale(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1), identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(*D3DXMatrixTranslation(&translate, 1, 2, 3) * identity == translate);
    const D3DXMATRIX both = translate * scale;  // first translate, then scale: (1, 2, 3) scaled
    ExpectNear(both, D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 2, 6, 12, 1));
    D3DXMatrixMultiply(&translate, &translate, &scale);  // the output may be an input
    EXPECT_TRUE(translate == both);

    const float c = std::cos(0.7f), s = std::sin(0.7f);
    const D3DXMATRIX rigid(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 10, -5, 2.5f, 1);
    D3DXMATRIX inverse;
    float determinant = 0;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &determinant, &rigid), &inverse);
    EXPECT_NEAR(determinant, 1.0f, 1e-6f);
    ExpectNear(rigid * inverse, identity);
    ExpectNear(inverse * rigid, identity);
    const D3DXMATRIX scaled(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 1, 1, 1);
    ASSERT_NE(D3DXMatrixInverse(&inverse, &determinant, &scaled), nullptr);
    EXPECT_FLOAT_EQ(determinant, 24.0f);
    EXPECT_FLOAT_EQ(inverse._22, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(inverse._41, -0.5f);
    EXPECT_NE(D3DXMatrixInverse(&inverse, nullptr, &scaled), nullptr);

    // Singular, a determinant whose reciprocal overflows, a NaN: null, output untouched.
    const D3DXMATRIX before = inverse;
    D3DXMATRIX nan = scaled;
    nan._23 = std::nanf("");
    const D3DXMATRIX refused[] = {
        D3DXMATRIX(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 0, 0, 0, 1, 1),
        D3DXMATRIX(1e-10f, 0, 0, 0, 0, 1e-10f, 0, 0, 0, 0, 1e-10f, 0, 0, 0, 0, 1e-10f), nan};
    for (int i = 0; i < 3; ++i) {
        determinant = 5.0f;
        EXPECT_EQ(D3DXMatrixInverse(&inverse, &determinant, &refused[i]), nullptr) << i;
        EXPECT_TRUE(inverse == before);
        EXPECT_TRUE(i > 0 || determinant == 0.0f);
    }
}

}  // namespace
