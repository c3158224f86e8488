// The one 4 x 4 matrix product, below every layer that multiplies matrices:
// the camera's column-vector Matrix4, the D3DX row-vector functions and the
// GL device's transform set-up all keep their elements as m[row][column],
// and for each of them the product is the same sum.
#pragma once

// out = a * b. `out` may be `a` or `b`.
void MultiplyMatrices(const float (&a)[4][4], const float (&b)[4][4], float (&out)[4][4]);
