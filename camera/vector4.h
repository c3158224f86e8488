// A point or direction in homogeneous form, used as a column vector by Matrix4.
#pragma once

class Vector4 {
public:
    // (0, 0, 0, 1): the origin as a point.
    Vector4() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    // A point: w is 1.
    Vector4(float px, float py, float pz) : x(px), y(py), z(pz), w(1.0f) {}

    // Overwrites x, y and z; w keeps its value.
    void set(float px, float py, float pz) {
        x = px;
        y = py;
        z = pz;
    }

    float x, y, z, w;
};
