// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdint>
#include <vector>

// A coarser copy of a triangle mesh for the 3D view, for parts that cover few
// pixels: the vertices that fall into one cell of a grid of `cells` steps
// along each side of the mesh's bounds merge into their average (normals
// too), and triangles that lose a corner to the merge are dropped. Cheap (one
// pass, no topology), and a surface keeps its place and outline to within one
// cell; holes and thin parts may close, which a part a few pixels wide does
// not show.
struct ksMeshClusters
{
    // Interleaved as the view uploads them: position x, y, z, normal x, y, z.
    std::vector<float> vertices;
    std::vector<std::uint32_t> indices;

    // `vertices` interleaved the same way; indices past the vertices are not
    // expected (the view has replaced them).
    static ksMeshClusters build(const std::vector<float>& vertices, const std::vector<std::uint32_t>& indices,
                                int cells);
};
