// The free-flying viewpoint. The input handlers add to `movement` and to the
// angles; viewMatrix() carries the pending displacement out along the
// camera's own axes, once per frame.
#pragma once

#include "camera/matrix4.h"
#include "camera/vector4.h"
#include "platform/platform.h"

class Camera {
public:
    // At the origin, no displacement pending, all angles 0 (looking along +z).
    Camera();
    virtual ~Camera();

    // Sets x, y and z of `position`; w is left alone.
    void setPosition(float x, float y, float z);

    // Always the identity.
    D3DXMATRIX worldMatrix() const;

    // The view transform for the position before this call, in the platform's
    // row-vector form. Moves `position` by `movement` (camera axes, world
    // units) and clears the displacement.
    D3DXMATRIX viewMatrix();

    Vector4 position;
    // Displacement still to be carried out: x right, y up, z forward.
    Vector4 movement;
    float pitch;  // about the camera's x axis; positive looks up
    float yaw;    // about the world's y axis; positive turns right
    float roll;   // about the view axis
};
