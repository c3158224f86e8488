#include "camera/camera.h"

Camera::Camera() : pitch(0.0f), yaw(0.0f), roll(0.0f) {}

Camera::~Camera() {}

void Camera::setPosition(float x, float y, float z) { position.set(x, y, z); }

D3DXMATRIX Camera::worldMatrix() const { return Matrix4(Matrix4::Identity).transposed(); }

D3DXMATRIX Camera::viewMatrix() {
    Matrix4 translation;
    translation.setTranslation(-position.x, -position.y, -position.z);
    Matrix4 rotation;
    rotation.setRotation(pitch, yaw, roll);
    const D3DXMATRIX view = (rotation * translation).transposed();

    // The inverse of the view takes camera space back to world space: applied
    // to the displacement it gives the new position, moved along the
    // camera's own axes. A rotation and a translation always invert.
    // Only non-finite angles or positions (say, from a damaged position file)
    // can make it fail; the camera then stays where it is.
    D3DXMATRIX inverse;
    float determinant;
    if (D3DXMatrixInverse(&inverse, &determinant, &view)) {
        Matrix4 cameraToWorld;
        cameraToWorld.setTransposed(inverse);
        movement = cameraToWorld * movement;
        position = movement;
    }
    movement.set(0.0f, 0.0f, 0.0f);
    return view;
}
