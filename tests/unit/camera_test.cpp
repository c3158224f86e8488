// Matrix4, Vector4 and the camera's movement along its own axes.
#include "camera/camera.h"
#include "camera/matrix4.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectVector(const Vector4& v, float x, float y, float z, float w, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

// A point through a platform (row-vector) matrix: p * M.
Vector4 TransformRow(const D3DXMATRIX& m, float x, float y, float z) {
    Vector4 out;
    out.x = x * m._11 + y * m._21 + z * m._31 + m._41;
    out.y = x * m._12 + y * m._22 + z * m._32 + m._42;
    out.z = x * m._13 + y * m._23 + z * m._33 + m._43;
    out.w = x * m._14 + y * m._24 + z * m._34 + m._44;
    return out;
}

TEST(Matrix4, RotationWithAllAnglesZeroIsIdentity) {
    Matrix4 m;
    m.setRotation(0, 0, 0);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(m.m[row][column], row == column ? 1.0f : 0.0f) << row << "," << column;
}

TEST(Matrix4, QuarterTurnAboutYTurnsForwardToLeftAndRightToForward) {
    Matrix4 m;
    m.setRotationY(kPi / 2);
    ExpectVector(m * Vector4(0, 0, 1), -1, 0, 0, 1);
    ExpectVector(m * Vector4(1, 0, 0), 0, 0, 1, 1);
}

TEST(Matrix4, TranslationMovesPointsButNotDirections) {
    Matrix4 m;
    m.setTranslation(1, 2, 3);
    ExpectVector(m * Vector4(), 1, 2, 3, 1, 0);
    Vector4 direction;
    direction.w = 0;
    ExpectVector(m * direction, 0, 0, 0, 0, 0);
}

TEST(Matrix4, RotationTurnsByYawFirstThenPitchThenRoll) {
    const float pitch = 0.3f, yaw = 0.7f, roll = 0.2f;
    Matrix4 m;
    m.setRotation(pitch, yaw, roll);
    // (0, 0, 1) turned by yaw, then pitch, then roll, worked out by hand.
    const double x1 = -std::sin(yaw), z1 = std::cos(yaw);
    const double y2 = -std::sin(pitch) * z1, z2 = std::cos(pitch) * z1;
    const double x3 = std::cos(roll) * x1 - std::sin(roll) * y2;
    const double y3 = std::sin(roll) * x1 + std::cos(roll) * y2;
    ExpectVector(m * Vector4(0, 0, 1), float(x3), float(y3), float(z2), 1);
}

TEST(Matrix4, HandOverToPlatformIsATranspose) {
    Matrix4 translation;
    translation.setTranslation(1, 2, 3);
    const D3DXMATRIX platform = translation.transposed();
    // Row vectors: the translation lands in the fourth row.
    EXPECT_EQ(platform._41, 1.0f);
    EXPECT_EQ(platform._42, 2.0f);
    EXPECT_EQ(platform._43, 3.0f);
    EXPECT_EQ(platform._14, 0.0f);
    Matrix4 back;
    back.setTransposed(platform);
    EXPECT_EQ(back.m[0][3], 1.0f);
    EXPECT_EQ(back.m[2][3], 3.0f);
    EXPECT_EQ(back.m[3][0], 0.0f);
}

TEST(Matrix4, TextFormOfIdentity) {
    std::ostringstream out;
    out << Matrix4(Matrix4::Identity);
    EXPECT_EQ(out.str(),
              "\n"
              "/1.000000 0.000000 0.000000 0.000000\\ \n"
              "|0.000000 1.000000 0.000000 0.000000|\n"
              "|0.000000 0.000000 1.000000 0.000000|\n"
              "\\0.000000 0.000000 0.000000 1.000000/\n");
    // Fixed notation stays on the stream.
    out.str("");
    out << 2.5f;
    EXPECT_EQ(out.str(), "2.500000");
}

TEST(Camera, ForwardForHalfASecondMovesAlongZFromTheNextView) {
    Camera camera;
    camera.movement.z += 500.0f;
    const D3DXMATRIX first = camera.viewMatrix();
    // The view of this frame still shows the old position.
    ExpectVector(TransformRow(first, 0, 0, 10), 0, 0, 10, 1);
    ExpectVector(camera.position, 0, 0, 500, 1, 1e-3f);
    ExpectVector(camera.movement, 0, 0, 0, 1, 0);
    const D3DXMATRIX second = camera.viewMatrix();
    ExpectVector(TransformRow(second, 0, 0, 510), 0, 0, 10, 1, 1e-3f);
}

TEST(Camera, ForwardAfterQuarterTurnRightMovesAlongX) {
    Camera camera;
    camera.yaw = kPi / 2;
    camera.movement.z = 10.0f;
    camera.viewMatrix();
    ExpectVector(camera.position, 10, 0, 0, 1, 1e-4f);
    // ...and "right" then points along -z.
    camera.movement.x = 4.0f;
    camera.viewMatrix();
    ExpectVector(camera.position, 10, 0, -4, 1, 1e-4f);
}

TEST(Camera, ForwardWhileLookingUpClimbs) {
    Camera camera;
    camera.pitch = 0.5f;
    camera.movement.z = 100.0f;
    camera.viewMatrix();
    EXPECT_NEAR(camera.position.y / 100.0f, 0.479f, 5e-4f);
    EXPECT_NEAR(camera.position.z / 100.0f, 0.8776f, 5e-4f);
}

TEST(Camera, PitchBeyondStraightUpTurnsTheViewOver) {
    Camera camera;
    camera.pitch = kPi;
    camera.movement.z = 10.0f;
    camera.viewMatrix();
    ExpectVector(camera.position, 0, 0, -10, 1, 1e-4f);
}

TEST(Camera, RollingRightTiltsUpTowardsX) {
    Camera camera;
    camera.roll = kPi / 2;
    camera.movement.y = 3.0f;
    camera.viewMatrix();
    ExpectVector(camera.position, 3, 0, 0, 1, 1e-4f);
}

TEST(Camera, ViewWithoutDisplacementKeepsPositionAndMapsEyeToOrigin) {
    Camera camera;
    camera.setPosition(120.0f, -40.0f, 75.0f);
    camera.pitch = 0.4f;
    camera.yaw = -1.1f;
    camera.roll = 0.25f;
    D3DXMATRIX view;
    for (int frame = 0; frame < 10; ++frame) view = camera.viewMatrix();
    ExpectVector(camera.position, 120, -40, 75, 1, 1e-3f);
    ExpectVector(TransformRow(view, 120, -40, 75), 0, 0, 0, 1, 1e-3f);
}

TEST(Camera, WorldMatrixIsAlwaysIdentity) {
    Camera camera;
    camera.yaw = 1.0f;
    camera.movement.set(5, 6, 7);
    camera.viewMatrix();
    const D3DXMATRIX world = camera.worldMatrix();
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(world.m[row][column], row == column ? 1.0f : 0.0f);
}

TEST(Camera, NonFiniteAnglesLeaveThePositionAlone) {
    Camera camera;
    camera.setPosition(1, 2, 3);
    camera.yaw = std::nanf("");
    camera.movement.z = 10.0f;
    camera.viewMatrix();
    ExpectVector(camera.position, 1, 2, 3, 1, 0);
    ExpectVector(camera.movement, 0, 0, 0, 1, 0);
}

}  // namespace
