// The level's optional visibility section (docs/visibility.md): a tree of
// split planes whose leaves name the polygons they hold and the cluster they
// lie in, and for every cluster the set of clusters that may be seen from it.
// ReadVisibilitySection checks the bytes; Visibility walks the tree each frame
// and picks the faces worth drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// The axis-aligned box around a face's vertices, in world units. A leaf's box
// holds whole rooms; a face's own box lets the frustum drop most of a leaf.
struct FaceBox {
    float min[3] = {kEmpty, kEmpty, kEmpty};
    float max[3] = {-kEmpty, -kEmpty, -kEmpty};

    void include(float x, float y, float z) {
        const float point[3] = {x, y, z};
        for (int k = 0; k < 3; ++k) {
            if (point[k] < min[k]) min[k] = point[k];
            if (point[k] > max[k]) max[k] = point[k];
        }
    }

private:
    static constexpr float kEmpty = std::numeric_limits<float>::infinity();
};

struct VisibilityPlane {
    float normal[3];
    float distance;
};

// A child of 0 or more is a node; a negative child c is leaf -(c + 1).
struct VisibilityNode {
    int32_t plane;
    int32_t front;  // where normal . p - distance >= 0
    int32_t back;
};

struct VisibilityLeaf {
    int32_t cluster;  // -1: in no cluster
    float min[3], max[3];
    int32_t firstPolygon;  // into VisibilityData::leafPolygons
    int32_t polygonCount;
};

// The section as read: positions in world units, every index checked.
struct VisibilityData {
    std::vector<VisibilityPlane> planes;
    std::vector<VisibilityNode> nodes;  // node 0 is the root
    std::vector<VisibilityLeaf> leaves;
    std::vector<int32_t> leafPolygons;
    int32_t numClusters = 0;
    int32_t bytesPerCluster = 0;
    std::vector<uint8_t> clusterSets;  // numClusters rows of bytesPerCluster bytes
};

constexpr char kVisibilityTag[4] = {'T', 'V', 'I', 'S'};

// Reads a section of `size` bytes that starts with the tag, for a level of
// numPolygons polygons, multiplying positions by positionScale. Gives "" for
// a sound section, otherwise what is wrong with it (`data` is then unusable).
std::string ReadVisibilitySection(const unsigned char* bytes, std::size_t size, int32_t numPolygons,
                                  float positionScale, VisibilityData& data);

class Visibility {
public:
    // faceOfPolygon[p] is the face (below faceBoxes.size()) drawn for
    // polygon p, or -1 for none; faceBoxes holds each face's box. Polygons
    // that no leaf holds (the level's moving parts) are drawn wherever the
    // eye is.
    Visibility(const VisibilityData& data, const std::vector<int32_t>& faceOfPolygon,
               std::vector<FaceBox> faceBoxes);
    virtual ~Visibility();

    // Picks the faces to draw from `eye` for the row-vector view-projection
    // matrix `viewProjection` (clip = [x y z 1] * m, depth 0 .. w): those
    // whose own box lies in the view, of leaves in the view whose cluster
    // the eye's cluster may see, and of no leaf. False when the eye lies in
    // no cluster: then every face is to be drawn.
    bool select(const float eye[3], const float viewProjection[4][4]);
    bool selected(std::size_t face) const { return mark_[face] == frame_; }

    std::size_t leafAt(const float point[3]) const;
    std::size_t leafCount() const { return leaves_.size(); }
    int32_t clusterCount() const { return numClusters_; }

private:
    struct Leaf {
        int32_t cluster;
        float min[3], max[3];
        std::size_t firstFace, faceCount;  // into faces_
    };
    struct Plane {
        float a, b, c, d;  // inside where a x + b y + c z + d >= 0
    };

    bool clusterSees(int32_t from, int32_t to) const;
    static bool BoxOutside(const Plane& plane, const float min[3], const float max[3]);
    static bool BoxInView(const Plane (&frustum)[6], const float min[3], const float max[3]);
    void selectInView(uint32_t face, const Plane (&frustum)[6]);

    std::vector<VisibilityPlane> planes_;
    std::vector<VisibilityNode> nodes_;
    std::vector<Leaf> leaves_;
    std::vector<uint32_t> faces_;  // the faces of each leaf, leaf after leaf
    std::vector<uint32_t> alwaysDrawn_;
    std::vector<FaceBox> faceBoxes_;
    int32_t numClusters_;
    int32_t bytesPerCluster_;
    std::vector<uint8_t> clusterSets_;
    std::vector<uint32_t> mark_;  // per face: the frame that last selected it
    uint32_t frame_ = 0;
};
