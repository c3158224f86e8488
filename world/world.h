// The level as the renderer holds it: one vertex buffer, texture slots, one
// lightmap texture per lightmap record and the face list in file order.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Vector4;
class Visibility;
class WorldFile;

// One polygon: a triangle fan over vertices firstVertex .. firstVertex +
// vertexCount - 1 of the vertex buffer.
class Face {
public:
    Face(int32_t first, int32_t count, int32_t texture, int32_t lightmap)
        : firstVertex(first), vertexCount(count), textureIndex(texture), lightmapIndex(lightmap) {}
    virtual ~Face() {}

    int32_t firstVertex;
    int32_t vertexCount;
    int32_t textureIndex;   // into World::textures
    int32_t lightmapIndex;  // into World::lightmaps; outside it means "no lightmap"
};

class World {
public:
    // Loads "data\" + fileName and creates the device resources. Polygons
    // that could not be drawn safely (vertex run outside the vertex array,
    // fewer than 3 vertices, texture index out of range) are dropped here
    // with one summary log line. Puts g_camera at the origin.
    World(std::string fileName, IDirect3DDevice8* renderDevice, float aspectRatio);
    virtual ~World();

    // Sets the world, view and projection transforms and draws every face,
    // or, when the level has a visibility section and the camera is inside
    // the level, the faces that may be seen, in the same order and with the
    // same states. Call between BeginScene and EndScene.
    void render();

    // Construction steps.
    void createVertexBuffer(const WorldFile& file);
    void loadTextures(const WorldFile& file);
    void loadLightmaps(const WorldFile& file);

    // Always the main texture; the name does not matter.
    IDirect3DTexture8* textureFor(std::string name);

    IDirect3DDevice8* device;
    float aspect;
    IDirect3DVertexBuffer8* vertexBuffer;
    std::vector<IDirect3DTexture8*> textures;   // not owned
    std::vector<IDirect3DTexture8*> lightmaps;  // owned; null where creation failed
    std::vector<Face> faces;
    std::unique_ptr<Visibility> visibility;  // null when the level has none

    static constexpr UINT kVertexStride = 28;
    static constexpr DWORD kVertexFormat = D3DFVF_XYZ | D3DFVF_TEX2;

private:
    void fillVertexBuffer(const WorldFile& file);
    void buildFaces(const WorldFile& file);
    void useVisibility(const WorldFile& file);
    bool selectVisibleFaces(const Vector4& eye, const D3DXMATRIX& view,
                            const D3DXMATRIX& projection);
    IDirect3DTexture8* createLightmap(const unsigned char* texels, std::size_t slot);
    IDirect3DTexture8* lightmapOf(const Face& face) const;
    void drawFace(const Face& face);
};
