// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdint>
#include <vector>

// A triangle mesh for the 3D view, with coarser copies for parts drawn small.
// The copies come from edge collapses that keep the surface within a known
// distance of the mesh (meshoptimizer's quadric simplifier), so a frame can
// take the coarsest copy whose error stays under a pixel at the part's
// distance. Each level's triangles are ordered for a vertex cache and its
// vertices by first use: Mesa's software renderer shades the vertices of a
// draw in runs of indices, and re-shades one that falls out of its small
// cache.
struct ksMeshLevels
{
    struct Level
    {
        // Interleaved as the view uploads them: position x, y, z, normal x, y, z.
        std::vector<float> vertices;
        std::vector<std::uint32_t> indices;
        // How far the surface may lie from the mesh's, in the mesh's units
        // (0 for the mesh itself).
        float error = 0;
    };

    // The mesh itself first (same triangles, in another order), then copies
    // each with at most `keep` of the triangles of the one before and a larger
    // error. `vertices` interleaved as above; every index must name a vertex.
    // Meshes of fewer than `simplifyFrom` triangles get no copies.
    static std::vector<Level> build(const std::vector<float>& vertices, const std::vector<std::uint32_t>& indices,
                                    std::size_t simplifyFrom = 256, double keep = 0.7);

    // Whether the triangles close a volume, and which way they face: 1 when
    // counter-clockwise seen from outside, -1 when seen from inside, 0 when
    // the mesh is open (or not consistently wound), so that its back shows.
    // Closed means each edge is shared by exactly two triangles running along
    // it in opposite directions; corners at one position count as one.
    static int closedFacing(const std::vector<float>& vertices, const std::vector<std::uint32_t>& indices);
};
