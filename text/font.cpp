#include "text/font.h"

#include <cmath>
#include <cstring>
#include <ostream>

#include "app/globals.h"
#include "app/log.h"
#include "text/font_file.h"

namespace {

const float kPixelScale = 0.2f;
const float kInitialDistance = 50.0f;
const float kPiOver8 = 0.39269909f;
const float kFieldOfView = 0.78539819f;  // pi / 4
const float kNearPlane = 1.0f;
const float kFarPlane = 200.0f;
const UINT kVertexStride = sizeof(Font::Vertex);
const UINT kVertexBufferBytes = Font::kVertexCount * kVertexStride;
const uint64_t kSmallestTextureSide = 256;
const int kGlyphCount = FontFile::kGlyphCount;

static_assert(sizeof(Font::Vertex) == 20, "a font vertex is 20 bytes");

struct TextureSize {
    UINT width = 0;
    UINT height = 0;
};

// Finds the smallest width, then the smallest height, whose estimated grid of
// average-sized cells holds all 256 glyphs within the device's limits.
bool ChooseTextureSize(const FontFile& file, uint64_t maxWidth, uint64_t maxHeight,
                       TextureSize& size) {
    uint64_t sumAdvance = 0, sumLineHeight = 0, maxAdvance = 0, maxLineHeight = 0;
    for (const auto& glyph : file.glyphs) {
        sumAdvance += glyph->advance;
        sumLineHeight += glyph->lineHeight;
        if (glyph->advance > maxAdvance) maxAdvance = glyph->advance;
        if (glyph->lineHeight > maxLineHeight) maxLineHeight = glyph->lineHeight;
    }
    const uint64_t averageAdvance = sumAdvance / kGlyphCount;
    const uint64_t averageLineHeight = sumLineHeight / kGlyphCount;

    for (uint64_t w = kSmallestTextureSide; w <= maxWidth; w *= 2) {
        for (uint64_t h = kSmallestTextureSide; h <= maxHeight; h *= 2) {
            if (h < maxLineHeight) continue;
            if (w < maxAdvance) break;
            if ((w / (averageAdvance + 1)) * (h / (averageLineHeight + 1)) >= 256) {
                size.width = static_cast<UINT>(w);
                size.height = static_cast<UINT>(h);
                return true;
            }
        }
    }
    return false;
}

D3DXMATRIX TextProjection(float aspect) {
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, aspect, kNearPlane, kFarPlane);
    return projection;
}

float ViewHeightAt(float distance) {
    return static_cast<float>(2.0 * distance * std::tan(static_cast<double>(kPiOver8)));
}

// Places glyphs left to right in rows, rows top to bottom, with one free
// texel around every glyph, and says when a texture is full. A glyph too big
// for a whole texture is stored empty, but the row and texture tests still
// count its size, so the glyphs after it keep the places the packing rule
// gives them.
class GlyphPacker {
public:
    GlyphPacker(const FontFile& file, UINT width, UINT height)
        : file_(file), width_(width), height_(height) {}

    bool oversized(int code) const {
        const FontGlyph& g = *file_.glyphs[code];
        return uint64_t(g.width) + 1 > width_ || uint64_t(g.height) + 1 > height_;
    }
    uint64_t packedWidth(int code) const { return oversized(code) ? 0 : file_.glyphs[code]->width; }
    uint64_t packedHeight(int code) const {
        return oversized(code) ? 0 : file_.glyphs[code]->height;
    }

    void startTexture() {
        x_ = 1;
        y_ = 1;
        rowHeight_ = 0;
        fresh_ = true;
    }
    // A taller glyph later in a row may not fit below; it needs a new texture.
    bool fitsHere(int code) const { return fresh_ || y_ + packedHeight(code) <= height_; }

    void place(int code) {
        fresh_ = false;
        if (rowHeight_ < file_.glyphs[code]->height) rowHeight_ = file_.glyphs[code]->height;
    }

    // Moves past the glyph just placed; false when the texture is full.
    bool advancePast(int code) {
        x_ += file_.glyphs[code]->width + 1;
        const int next = code + 1;
        const int64_t nextWidth = next < kGlyphCount ? int64_t(file_.glyphs[next]->width) : -1;
        if (int64_t(x_) + nextWidth + 1 <= int64_t(width_)) return true;
        x_ = 1;
        y_ += rowHeight_ + 1;
        rowHeight_ = 0;
        const int64_t nextHeight = next < kGlyphCount ? int64_t(file_.glyphs[next]->height) : -1;
        return int64_t(y_) + nextHeight + 1 < int64_t(height_);
    }

    UINT x() const { return static_cast<UINT>(x_); }
    UINT y() const { return static_cast<UINT>(y_); }

private:
    const FontFile& file_;
    uint64_t width_, height_;
    uint64_t x_ = 1, y_ = 1, rowHeight_ = 0;
    bool fresh_ = true;
};

void ClearTexels(const D3DLOCKED_RECT& locked, UINT width, UINT height) {
    BYTE* bits = static_cast<BYTE*>(locked.pBits);
    for (UINT row = 0; row < height; ++row)
        std::memset(bits + size_t(row) * locked.Pitch, 0, size_t(width) * 4);
}

void CopyGlyphTexels(const FontGlyph& glyph, UINT x, UINT y, const D3DLOCKED_RECT& locked) {
    BYTE* bits = static_cast<BYTE*>(locked.pBits);
    for (UINT j = 0; j < glyph.height; ++j) {
        BYTE* row = bits + size_t(y + j) * locked.Pitch + size_t(x) * 4;
        const uint8_t* coverage = glyph.bitmap.data() + size_t(j) * glyph.width;
        for (UINT i = 0; i < glyph.width; ++i) {
            const uint32_t texel = uint32_t(coverage[i]) << 24 | 0x00FF0000u;
            std::memcpy(row + size_t(i) * 4, &texel, 4);
        }
    }
}

// The quad of one glyph, bottom left, top left, top right, bottom right:
// clockwise as the text camera sees it.
void WriteQuad(Font::Vertex* quad, const FontGlyph& glyph, UINT packedWidth, UINT packedHeight,
               UINT x, UINT y, UINT textureWidth, UINT textureHeight) {
    const float s = kPixelScale;
    const float ox = glyph.xOffset * s;
    const float oy = glyph.yOffset * s;
    const float w = static_cast<float>(packedWidth);
    const float h = static_cast<float>(packedHeight);
    const float left = x / float(textureWidth);
    const float right = (x + w) / float(textureWidth);
    const float top = y / float(textureHeight);
    const float bottom = (y + h) / float(textureHeight);
    quad[0] = {ox, -(h * s) - oy, 0.0f, left, bottom};
    quad[1] = {ox, -oy, 0.0f, left, top};
    quad[2] = {w * s + ox, -oy, 0.0f, right, top};
    quad[3] = {w * s + ox, -(h * s) - oy, 0.0f, right, bottom};
}

}  // namespace

Font::Font() : pixelScale(kPixelScale), distance(kInitialDistance) {}

Font::~Font() { releaseResources(); }

void Font::releaseResources() {
    for (size_t i = 0; i < textures.size(); ++i) {
        if (!textures[i]) continue;
        textures[i]->Release();
        Log << "Releasing font texture " << i << std::endl;
    }
    if (vertexBuffer) {
        vertexBuffer->Release();
        Log << "Font vertex buffer released" << std::endl;
    }
    textures.clear();
    vertexBuffer = nullptr;
    ready = false;
}

void Font::load(const std::string& name, IDirect3DDevice8* newDevice, float newAspect) {
    releaseResources();  // a font is loaded once; a second load starts afresh
    for (GlyphInfo& info : glyphs) info = GlyphInfo();
    averageAdvance = averageLineHeight = 0.0f;
    device = newDevice;
    aspect = newAspect;

    const std::string path = "data\\" + name;
    FontFile file;
    if (!file.load(path)) {
        Log << "couldn't read: " << path;
        return;
    }
    Log << "loading up font '" << path << "'\n";

    TextureSize size;
    if (!ChooseTextureSize(file, g_caps.MaxTextureWidth, g_caps.MaxTextureHeight, size)) {
        Log << "failed to creat a font texture";
        return;
    }
    Log << "the font texture(s) size " << size.width << " , " << size.height << std::endl;

    BYTE* vertexBytes = nullptr;
    if (!device ||
        FAILED(device->CreateVertexBuffer(kVertexBufferBytes, 0, kVertexFormat, D3DPOOL_MANAGED,
                                          &vertexBuffer)) ||
        !vertexBuffer || FAILED(vertexBuffer->Lock(0, 0, &vertexBytes, 0)) || !vertexBytes) {
        Log << "error allocating VB for font";
        return;
    }
    Vertex* vertices = reinterpret_cast<Vertex*>(vertexBytes);
    const bool packed = packGlyphs(file, size.width, size.height, vertices);
    vertexBuffer->Unlock();
    if (!packed) {
        for (GlyphInfo& info : glyphs) info = GlyphInfo();
        return;
    }
    Log << "nuber of textures created for the font are: " << textures.size() << std::endl;

    float sumAdvance = 0.0f, sumLineHeight = 0.0f;
    for (const GlyphInfo& info : glyphs) {
        sumAdvance += info.advance;
        sumLineHeight += info.lineHeight;
    }
    averageAdvance = static_cast<float>(sumAdvance / 256.0);
    averageLineHeight = static_cast<float>(sumLineHeight / 256.0);
    viewHeight = ViewHeightAt(distance);
    viewWidth = viewHeight * aspect;
    ready = true;
}

bool Font::packGlyphs(const FontFile& file, UINT width, UINT height, Vertex* vertices) {
    GlyphPacker packer(file, width, height);
    int code = 0;
    while (code < kGlyphCount) {
        IDirect3DTexture8* texture = nullptr;
        D3DLOCKED_RECT locked = {};
        if (FAILED(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                         &texture)) ||
            !texture) {
            Log << "failed to creat a font texture";
            return false;
        }
        textures.push_back(texture);
        if (FAILED(texture->LockRect(0, &locked, nullptr, 0)) || !locked.pBits) {
            Log << "failed to creat a font texture";
            return false;
        }
        ClearTexels(locked, width, height);
        const uint8_t textureNumber = static_cast<uint8_t>(textures.size() - 1);

        packer.startTexture();
        bool room = true;
        while (room && code < kGlyphCount) {
            if (!packer.fitsHere(code)) break;
            const FontGlyph& glyph = *file.glyphs[code];
            if (packer.oversized(code))
                Log << "font glyph " << code << " is too large for the font texture" << std::endl;
            else CopyGlyphTexels(glyph, packer.x(), packer.y(), locked);
            packer.place(code);
            WriteQuad(vertices + 4 * code, glyph, UINT(packer.packedWidth(code)),
                      UINT(packer.packedHeight(code)), packer.x(), packer.y(), width, height);
            glyphs[code].textureNumber = textureNumber;
            glyphs[code].advance = glyph.advance * pixelScale;
            glyphs[code].lineHeight = glyph.lineHeight * pixelScale;
            room = packer.advancePast(code);
            ++code;
        }
        texture->UnlockRect(0);
    }
    return true;
}

void Font::setSize(float t) {
    distance = (1.0f - t) * 199.0f + 1.0f;
    viewHeight =
        static_cast<float>(2.0 * (distance + 1.0) * std::tan(static_cast<double>(kPiOver8)));
    viewWidth = viewHeight * aspect;
}

float Font::stringWidth(const std::string& s) const {
    float width = 0.0f;
    for (unsigned char c : s) width += glyphs[c].advance;
    return width;
}

float Font::stringHeight(const std::string& s) const {
    if (s.empty()) return averageLineHeight;
    float height = 0.0f;
    for (unsigned char c : s)
        if (glyphs[c].lineHeight > height) height = glyphs[c].lineHeight;
    return height;
}

void Font::drawString(const std::string& s, float x, float y) {
    if (!ready) return;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    const D3DXMATRIX projection = TextProjection(aspect);
    device->SetTransform(D3DTS_PROJECTION, &projection);

    const D3DXVECTOR3 eye(viewWidth / 2.0f, viewHeight / 2.0f, -distance);
    const D3DXVECTOR3 target(viewWidth / 2.0f, viewHeight / 2.0f, 0.0f);
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &target, &up);

    for (unsigned char c : s) {
        drawGlyph(c, x, y, view);
        x += glyphs[c].advance;
    }
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
}

void Font::drawGlyph(unsigned char c, float x, float y, const D3DXMATRIX& view) {
    device->SetTexture(0, textures[glyphs[c].textureNumber]);
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, x, y, 0.0f);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetStreamSource(0, vertexBuffer, kVertexStride);
    device->SetVertexShader(kVertexFormat);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->DrawPrimitive(D3DPT_TRIANGLEFAN, 4u * c, 2);
}

void Font::drawStringCentered(const std::string& s, float u, float v) {
    const float x = leftMargin() + u * usableWidth() - stringWidth(s) / 2.0f;
    const float y = bottomMargin() + v * usableHeight();
    drawString(s, x, y);
}

void Font::drawStringAt(const std::string& s, float u, float v) {
    const float x = leftMargin() + u * usableWidth();
    const float y = bottomMargin() + v * usableHeight();
    drawString(s, x, y);
}
