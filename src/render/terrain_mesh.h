// The adaptive ground mesh: a quadtree over the height field whose nodes are
// refined by distance against a threshold built from the ground's roughness,
// walked front to back, and drawn as fans with no cracks between nodes of
// different size.
#pragma once

#include <array>
#include <vector>

// ---- level-of-detail data (kept with the heights) ----------------------------------
// Builds every node's threshold from the loaded heights.
void terrain_lod_build();
void terrain_lod_free();
// The thresholds over a changed sample rectangle are stale.
void terrain_lod_mark_region(int i0, int j0, int i1, int j1);
// Rebuilds stale thresholds, deepest first, up to `budget` nodes; returns
// the nodes rebuilt.
int terrain_lod_refresh(int budget);
bool terrain_lod_stale();
// Squared distance below which node (ix, iz) of depth d is refined; the
// root is depth 0, single tiles are depth g. 0 outside the tree.
float terrain_node_threshold(int depth, int ix, int iz);
int terrain_lod_depth();

// ---- the mesh of one view ------------------------------------------------------------
struct terrain_view {
    std::array<float, 3> position{};
    std::array<float, 3> direction{0.0f, 0.0f, -1.0f};
    bool cull = true;  // skip nodes wholly behind the camera plane
};

// One drawn piece: a node drawn whole (its fan over corners and edge
// midpoints), or one quarter of a node whose other quarters are refined.
struct terrain_piece {
    int depth = 0, ix = 0, iz = 0;  // the square as a node of the tree
    bool whole = true;
    int first = 0, count = 0;       // its vertices in the mesh (three per triangle)
};

struct terrain_mesh {
    std::vector<float> vertices;  // x, y, z per vertex, three vertices per triangle, up-facing
    std::vector<terrain_piece> pieces;  // front to back
    int triangles() const { return (int)(vertices.size() / 9); }
};

// Selects the nodes for a view and builds its triangles.
void build_terrain_mesh(const terrain_view& view, terrain_mesh& out);
