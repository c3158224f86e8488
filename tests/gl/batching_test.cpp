// Merging consecutive draws must not change a single pixel: the same scene is
// rendered with batching on and off and the frames compared.
#include "gl_fixture.h"

#include <algorithm>
#include <cmath>

namespace gl_test {
namespace {

class BatchingTest : public GlDeviceTest {
protected:
    void SetUp() override {
        GlDeviceTest::SetUp();
        parameters_.BackBufferWidth = 128;
        parameters_.BackBufferHeight = 96;
        ASSERT_EQ(createDevice(), D3D_OK);
        useClipSpace();
        buildResources();
    }
    void TearDown() override {
        tundra_testing::SetDrawBatching(true);
        GlDeviceTest::TearDown();
    }

    // Fans of 3 to 8 vertices scattered over the frame, overlapping, with
    // two texture coordinate sets, as a level's faces are.
    void buildResources() {
        std::vector<PositionUv2> vertices;
        for (int face = 0; face < 60; ++face) {
            const float cx = std::sin(face * 1.7f) * 0.8f, cy = std::cos(face * 2.3f) * 0.8f;
            const int sides = 3 + face % 6;
            const float z = 0.2f + 0.6f * float((face * 37) % 60) / 60.0f;
            firstVertex_.push_back(UINT(vertices.size()));
            vertexCount_.push_back(UINT(sides));
            for (int k = 0; k < sides; ++k) {
                // Clockwise on screen, so the initial culling keeps them.
                const float angle = -2.0f * 3.14159265f * float(k) / float(sides);
                const float x = cx + 0.3f * std::cos(angle), y = cy + 0.3f * std::sin(angle);
                vertices.push_back({x, y, z, x * 2, y * 2, x, y});
            }
        }
        buffer_ = vertexBuffer(vertices, D3DFVF_XYZ | D3DFVF_TEX2);
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            std::vector<uint32_t> texels(16 * 16);
            for (size_t i = 0; i < texels.size(); ++i) {
                texels[i] = 0xFF000000u | ((uint32_t(i) * 2654435761u * seed) & 0x00FFFFFFu);
            }
            textures_.push_back(texture(16, 16, texels));
        }
    }

    void paintTexture(uint32_t value) {
        D3DLOCKED_RECT locked{};
        textures_[0]->LockRect(0, &locked, nullptr, 0);
        for (int i = 0; i < 16 * 16; i += 2) static_cast<uint32_t*>(locked.pBits)[i] = value;
        textures_[0]->UnlockRect(0);
    }

    std::vector<uint32_t> renderScene() {
        paintTexture(0xFFFF00FF);
        device_->BeginScene();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
        device_->SetStreamSource(0, buffer_, sizeof(PositionUv2));
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX2);
        for (size_t face = 0; face < firstVertex_.size(); ++face) {
            // Runs of faces share their textures; every face repeats the
            // full set-up, as World::render does.
            device_->SetTexture(0, textures_[(face / 7) % 3]);
            device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
            device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            device_->SetTexture(1, textures_[(face / 5) % 3]);
            device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
            device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            // Blending switched on part-way, as text drawing leaves it.
            device_->SetRenderState(D3DRS_ALPHABLENDENABLE, face >= 40);
            device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            if (face == 24) {  // faces 21 to 23 use it and are still pending
                // A texture rewritten between two draws that use it.
                paintTexture(0xFF00FF00);
            }
            const D3DPRIMITIVETYPE type = face % 9 == 4 ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN;
            EXPECT_EQ(device_->DrawPrimitive(type, firstVertex_[face], vertexCount_[face] - 2),
                      D3D_OK);
        }
        device_->EndScene();
        return presentAndRead();
    }

    IDirect3DVertexBuffer8* buffer_ = nullptr;
    std::vector<IDirect3DTexture8*> textures_;
    std::vector<UINT> firstVertex_, vertexCount_;
};

TEST_F(BatchingTest, BatchedFrameEqualsUnbatchedFrame) {
    tundra_testing::SetDrawBatching(false);
    const std::vector<uint32_t> reference = renderScene();
    tundra_testing::SetDrawBatching(true);
    const std::vector<uint32_t> batched = renderScene();
    ASSERT_EQ(batched.size(), reference.size());
    size_t differing = 0;
    for (size_t i = 0; i < batched.size(); ++i) differing += batched[i] != reference[i];
    EXPECT_EQ(differing, 0u);
    // The scene really drew something over most of the frame.
    size_t covered = 0;
    for (uint32_t p : batched) covered += p != 0xFF212121u;
    EXPECT_GT(covered, batched.size() / 3);
}

// A converted level's shape: runs of fans that share a texture pair, two
// pairs taking turns, faces without a lightmap switching stage 1 off, and
// blending on for the second frame's faces. Frames are drawn one after the
// other, so batches the device kept from the frame before meet draws that
// differ from theirs only in where a fan starts or how many there are.
class LevelBatchingTest : public BatchingTest {
protected:
    struct Face {
        UINT first, count, pair;
        bool lightmapped;
    };

    std::vector<Face> levelFaces() const {
        std::vector<Face> faces;
        for (size_t face = 0; face < firstVertex_.size(); ++face) {
            faces.push_back(
                {firstVertex_[face], vertexCount_[face], UINT(face / 6) % 2, face % 13 != 7});
        }
        return faces;
    }

    std::vector<uint32_t> renderLevel(const std::vector<Face>& faces, bool blending) {
        device_->BeginScene();
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF212121, 1.0f, 0);
        device_->SetStreamSource(0, buffer_, sizeof(PositionUv2));
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_TEX2);
        // Additive, so that blending shows even with opaque textures.
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, blending);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        for (const Face& face : faces) {
            device_->SetTexture(0, textures_[face.pair]);
            device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device_->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
            device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
            device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
            device_->SetTexture(1, face.lightmapped ? textures_[2 - face.pair] : nullptr);
            device_->SetTextureStageState(1, D3DTSS_COLOROP,
                                          face.lightmapped ? D3DTOP_MODULATE2X : D3DTOP_DISABLE);
            device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLEFAN, face.first, face.count - 2),
                      D3D_OK);
        }
        device_->EndScene();
        return presentAndRead();
    }

    static size_t Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        if (a.size() != b.size()) return std::max(a.size(), b.size());
        size_t differing = 0;
        for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
        return differing;
    }
};

TEST_F(LevelBatchingTest, KeptBatchesFollowChangedDraws) {
    const std::vector<Face> level = levelFaces();
    // Same batches, but one fan of the second run is drawn from another
    // face's vertices; another run loses a fan; the last face has one
    // triangle fewer.
    std::vector<Face> moved = level;
    moved[7].first = level[1].first;
    moved[7].count = level[1].count;
    std::vector<Face> shorter = level;
    shorter.erase(shorter.begin() + 8);
    shorter.back().count -= 1;
    const std::vector<std::vector<Face>> frames = {level, level, moved, level, shorter, level};

    tundra_testing::SetDrawBatching(false);
    std::vector<std::vector<uint32_t>> expected;
    for (size_t i = 0; i < frames.size(); ++i) expected.push_back(renderLevel(frames[i], i == 3));
    tundra_testing::SetDrawBatching(true);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(Differing(renderLevel(frames[i], i == 3), expected[i]), 0u) << "frame " << i;
    }
    // The variants really differ from the level, so a stale batch would show.
    EXPECT_GT(Differing(expected[2], expected[0]), 0u);
    EXPECT_GT(Differing(expected[4], expected[0]), 0u);
    EXPECT_GT(Differing(expected[3], expected[0]), 0u);
}

}  // namespace
}  // namespace gl_test
