// The camera's movement along its own axes.
#include "camera/camera.h"
#include "camera/matrix4.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectVector(const Vector4& v, float x, float y, float z, float w, float tolerance = 1e-3f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

// A point through a platform (row-vector) matrix: p * M.
Vector4 TransformRow(const D3DXMATRIX& m, const Vector4& p) {
    Vector4 out;
    out.x = p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41;
    out.y = p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42;
    out.z = p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43;
    out.w = p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44;
    return out;
}

// The movement of a frame is carried out along the camera's axes when its
// view is made; that view still shows the old position.
TEST(Camera, MovesAlongItsOwnAxesFromTheNextView) {
    struct Row {
        const char* name;
        float start[3], pitch, yaw, roll, move[3], end[3];
    };
    const Row rows[] = {
        {"forward", {0, 0, 0}, 0, 0, 0, {0, 0, 500}, {0, 0, 500}},
        {"forward turned right", {0, 0, 0}, 0, kPi / 2, 0, {0, 0, 10}, {10, 0, 0}},
        {"right turned right", {10, 0, 0}, 0, kPi / 2, 0, {4, 0, 0}, {10, 0, -4}},
        {"forward looking up", {0, 0, 0}, 0.5f, 0, 0, {0, 0, 100}, {0, 47.94f, 87.76f}},
        {"pitch past straight up", {0, 0, 0}, kPi, 0, 0, {0, 0, 10}, {0, 0, -10}},
        {"up after rolling right", {0, 0, 0}, 0, 0, kPi / 2, {0, 3, 0}, {3, 0, 0}},
        {"no movement", {120, -40, 75}, 0.4f, -1.1f, 0.25f, {0, 0, 0}, {120, -40, 75}},
        {"yaw, pitch, roll", {1, 2, 3}, .3f, .7f, .2f, {3, 4, 10}, {9.378f, 8.131f, 7.149f}},
        {"angle not a number", {1, 2, 3}, 0, std::nanf(""), 0, {0, 0, 10}, {1, 2, 3}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Camera camera;
        camera.setPosition(row.start[0], row.start[1], row.start[2]);
        camera.pitch = row.pitch, camera.yaw = row.yaw, camera.roll = row.roll;
        camera.movement.set(row.move[0], row.move[1], row.move[2]);
        const Vector4 start = camera.position;
        const D3DXMATRIX first = camera.viewMatrix();
        ExpectVector(camera.position, row.end[0], row.end[1], row.end[2], 1, 1e-2f);
        ExpectVector(camera.movement, 0, 0, 0, 1, 0);
        if (std::isnan(row.yaw)) continue;
        ExpectVector(TransformRow(first, start), 0, 0, 0, 1);
        ExpectVector(TransformRow(camera.viewMatrix(), camera.position), 0, 0, 0, 1);
        const D3DXMATRIX world = camera.worldMatrix();
        for (int i = 0; i < 16; ++i) EXPECT_EQ(world.m[i / 4][i % 4], i % 5 == 0 ? 1.0f : 0.0f);
    }
}

}  // namespace
