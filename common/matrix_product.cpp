#include "common/matrix_product.h"

#include <cstring>

void MultiplyMatrices(const float (&a)[4][4], const float (&b)[4][4], float (&out)[4][4]) {
    // Built apart first: out may be one of the factors.
    float product[4][4];
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[row][k] * b[k][column];
            product[row][column] = sum;
        }
    std::memcpy(out, product, sizeof product);
}
