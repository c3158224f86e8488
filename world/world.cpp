#include "world/world.h"

#include "app/globals.h"
#include "app/log.h"
#include "camera/camera.h"
#include "world/visibility.h"
#include "world/world_file.h"

#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr float kFieldOfView = 0.7853982f;  // pi / 4
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 100000.0f;
constexpr UINT kLightmapSize = WorldLightmap::kSize;

// A polygon can be drawn only if its whole fan lies in the vertex buffer and
// its texture slot exists; anything else would read outside the buffer or
// the slot array.
bool IsDrawable(const WorldPolygon& polygon, const WorldFile& file) {
    const std::int64_t first = polygon.firstVertex;
    const std::int64_t end = first + polygon.vertexCount;
    return polygon.vertexCount >= 3 && first >= 0 && end <= file.numVertices &&
           polygon.textureIndex >= 0 && polygon.textureIndex < file.numTextures;
}

FaceBox BoxOf(const WorldPolygon& polygon, const WorldFile& file) {
    FaceBox box;
    for (int32_t k = 0; k < polygon.vertexCount; ++k) {
        const WorldVertex& v = file.vertices[std::size_t(polygon.firstVertex + k)];
        box.include(v.x, v.y, v.z);
    }
    return box;
}

void CopyLightmapTexels(const unsigned char* rgb, BYTE* bits, INT pitch) {
    for (UINT y = 0; y < kLightmapSize; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(bits + static_cast<std::size_t>(y) * pitch);
        for (UINT x = 0; x < kLightmapSize; ++x, rgb += 3)
            row[x] = 0xFF000000u | (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
    }
}

}  // namespace

World::World(std::string fileName, IDirect3DDevice8* renderDevice, float aspectRatio)
    : device(renderDevice), aspect(aspectRatio), vertexBuffer(nullptr) {
    const WorldFile file(fileName);
    createVertexBuffer(file);
    loadTextures(file);
    loadLightmaps(file);
    useVisibility(file);
}

World::~World() {
    if (vertexBuffer) {
        vertexBuffer->Release();
        Log << "Releasing world vertex buffer." << std::endl;
    }
    Log << "Releasing lightmaps: ";
    for (std::size_t i = 0; i < lightmaps.size(); ++i) {
        if (lightmaps[i]) {
            lightmaps[i]->Release();
            Log << i << " ";
        }
    }
    Log << std::endl;
}

void World::createVertexBuffer(const WorldFile& file) {
    fillVertexBuffer(file);
    buildFaces(file);
    g_camera.setPosition(0.0f, 0.0f, 0.0f);
    Log << "number of vertices in map: " << file.numVertices << std::endl;
    Log << "number of polygons in map: " << file.numPolygons << std::endl;
    if (faces.size() < file.polygons.size()) {
        Log << "WARNING: dropped " << file.polygons.size() - faces.size() << " of "
            << file.numPolygons
            << " polygons (vertex run outside the vertex array, fewer than 3 vertices or "
               "texture index out of range)"
            << std::endl;
    }
}

// An empty level gets no buffer at all: Direct3D refuses a buffer of 0 bytes.
void World::fillVertexBuffer(const WorldFile& file) {
    const std::int64_t length = std::int64_t(kVertexStride) * file.numVertices;
    if (length == 0 || !device) return;
    if (length > std::numeric_limits<UINT>::max() ||
        FAILED(device->CreateVertexBuffer(static_cast<UINT>(length), D3DUSAGE_WRITEONLY,
                                          kVertexFormat, D3DPOOL_MANAGED, &vertexBuffer))) {
        Log << "ERROR: Creation of the vertex buffer failed!!!";
        vertexBuffer = nullptr;
        return;
    }
    BYTE* data = nullptr;
    if (FAILED(vertexBuffer->Lock(0, 0, &data, 0)) || !data) {
        Log << "ERROR: Locking the world vertex buffer failed; the level is not drawn" << std::endl;
        vertexBuffer->Release();
        vertexBuffer = nullptr;
        return;
    }
    float* out = reinterpret_cast<float*>(data);
    for (const WorldVertex& v : file.vertices) {
        const float packed[7] = {v.x, v.y, v.z, v.surfaceU, v.surfaceV, v.lightmapU, v.lightmapV};
        std::memcpy(out, packed, sizeof packed);
        out += 7;
    }
    vertexBuffer->Unlock();
}

void World::buildFaces(const WorldFile& file) {
    faces.reserve(file.polygons.size());
    for (const WorldPolygon& polygon : file.polygons) {
        if (IsDrawable(polygon, file))
            faces.emplace_back(polygon.firstVertex, polygon.vertexCount, polygon.textureIndex,
                               polygon.lightmapIndex);
    }
}

void World::useVisibility(const WorldFile& file) {
    if (!file.hasVisibility) return;
    std::vector<int32_t> faceOfPolygon;
    std::vector<FaceBox> faceBoxes;
    for (const WorldPolygon& polygon : file.polygons) {
        const bool drawable = IsDrawable(polygon, file);
        faceOfPolygon.push_back(drawable ? int32_t(faceBoxes.size()) : -1);
        if (drawable) faceBoxes.push_back(BoxOf(polygon, file));
    }
    visibility = std::make_unique<Visibility>(file.visibility, faceOfPolygon, std::move(faceBoxes));
    Log << "visibility: " << visibility->leafCount() << " leaves in " << visibility->clusterCount()
        << " clusters" << std::endl;
}

void World::loadTextures(const WorldFile& file) {
    Log << "number of textures in map: " << file.numTextures << std::endl;
    textures.assign(file.textures.size(), nullptr);
    for (std::size_t i = 0; i < file.textures.size(); ++i)
        textures[i] = textureFor(file.textures[i].nameText());
}

void World::loadLightmaps(const WorldFile& file) {
    Log << "number of lightmaps in map: " << file.numLightmaps << std::endl;
    lightmaps.assign(file.lightmaps.size(), nullptr);
    if (!device) return;
    for (std::size_t i = 0; i < file.lightmaps.size(); ++i)
        lightmaps[i] = createLightmap(file.lightmaps[i].texels, i);
}

// A lightmap that cannot be created or filled leaves its slot empty; the
// faces using it are drawn without a lightmap.
IDirect3DTexture8* World::createLightmap(const unsigned char* texels, std::size_t slot) {
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(device->CreateTexture(kLightmapSize, kLightmapSize, 1, 0, D3DFMT_X8R8G8B8,
                                     D3DPOOL_MANAGED, &texture)) ||
        !texture) {
        Log << "ERROR: Creation of lightmap " << slot << " failed" << std::endl;
        return nullptr;
    }
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        Log << "ERROR: Locking lightmap " << slot << " failed" << std::endl;
        texture->Release();
        return nullptr;
    }
    if (!locked.pBits || locked.Pitch < INT(kLightmapSize * 4)) {
        Log << "ERROR: Locking lightmap " << slot << " gave no usable memory" << std::endl;
        texture->UnlockRect(0);
        texture->Release();
        return nullptr;
    }
    CopyLightmapTexels(texels, static_cast<BYTE*>(locked.pBits), locked.Pitch);
    texture->UnlockRect(0);
    return texture;
}

IDirect3DTexture8* World::textureFor(std::string /*name*/) { return g_mainTexture; }

void World::render() {
    if (!device) {
        Log << "eRRROR: No rendering device in World::render()";
        return;
    }
    const D3DXMATRIX world = g_camera.worldMatrix();
    device->SetTransform(D3DTS_WORLD, &world);
    const Vector4 eye = g_camera.position;  // the view below is from here
    const D3DXMATRIX view = g_camera.viewMatrix();
    device->SetTransform(D3DTS_VIEW, &view);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, aspect, kNearPlane, kFarPlane);
    device->SetTransform(D3DTS_PROJECTION, &projection);

    // Faces but no buffer: the buffer could not be made, nothing can be drawn.
    if (!vertexBuffer && !faces.empty()) return;
    device->SetStreamSource(0, vertexBuffer, kVertexStride);
    device->SetVertexShader(kVertexFormat);
    if (!selectVisibleFaces(eye, view, projection)) {
        for (const Face& face : faces) drawFace(face);
        return;
    }
    for (std::size_t i = 0; i < faces.size(); ++i)
        if (visibility->selected(i)) drawFace(faces[i]);
}

// False when every face is to be drawn: no visibility section, or the eye
// outside the level.
bool World::selectVisibleFaces(const Vector4& eye, const D3DXMATRIX& view,
                               const D3DXMATRIX& projection) {
    if (!visibility) return false;
    D3DXMATRIX viewProjection;
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    const float at[3] = {eye.x, eye.y, eye.z};
    return visibility->select(at, viewProjection.m);
}

void World::drawFace(const Face& face) {
    device->SetTexture(0, textures[face.textureIndex]);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);

    IDirect3DTexture8* lightmap = lightmapOf(face);
    device->SetTexture(1, lightmap);
    if (lightmap) {
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
        device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        device->SetTextureStageState(1, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(1, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
        device->SetTextureStageState(1, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    } else {
        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
    device->DrawPrimitive(D3DPT_TRIANGLEFAN, face.firstVertex, face.vertexCount - 2);
}

IDirect3DTexture8* World::lightmapOf(const Face& face) const {
    const auto slot = static_cast<std::size_t>(static_cast<uint32_t>(face.lightmapIndex));
    return slot < lightmaps.size() ? lightmaps[slot] : nullptr;
}
