// Licensed under the MIT licence; see LICENSE.
#include "ksMeshLevels.h"

#include <meshoptimizer.h>

#include <algorithm>

namespace {

constexpr std::size_t Stride = 6 * sizeof(float);

// Orders the triangles for a vertex cache, then keeps only the vertices they
// use, numbered by first use.
ksMeshLevels::Level compact(const std::vector<float>& vertices, std::vector<std::uint32_t> indices, float error)
{
    const std::size_t count = vertices.size() / 6;
    meshopt_optimizeVertexCache(indices.data(), indices.data(), indices.size(), count);
    std::vector<unsigned int> remap(count);
    const std::size_t used = meshopt_optimizeVertexFetchRemap(remap.data(), indices.data(), indices.size(), count);
    ksMeshLevels::Level level;
    level.error = error;
    level.vertices.resize(count * 6);
    meshopt_remapVertexBuffer(level.vertices.data(), vertices.data(), count, Stride, remap.data());
    level.vertices.resize(used * 6);
    level.indices.resize(indices.size());
    meshopt_remapIndexBuffer(level.indices.data(), indices.data(), indices.size(), remap.data());
    return level;
}

} // namespace

std::vector<ksMeshLevels::Level> ksMeshLevels::build(const std::vector<float>& vertices,
                                                     const std::vector<std::uint32_t>& indices,
                                                     std::size_t simplifyFrom, double keep)
{
    std::vector<Level> levels;
    if (vertices.size() < 6 || indices.size() < 3)
        return levels;
    // A last triangle without all its corners is dropped.
    const auto end = indices.end() - std::ptrdiff_t(indices.size() % 3);
    levels.push_back(compact(vertices, std::vector<std::uint32_t>(indices.begin(), end), 0));
    if (levels.front().indices.size() / 3 < simplifyFrom)
        return levels;
    // Each copy is taken from the one before, for its cost on large meshes,
    // so the errors add up. meshoptimizer's errors are relative to the
    // largest extent of the mesh it is given; the targets to the whole's.
    const float wholeScale =
        meshopt_simplifyScale(levels.front().vertices.data(), levels.front().vertices.size() / 6, Stride);
    if (!(wholeScale > 0))
        return levels;
    std::vector<std::uint32_t> simplified;
    for (float target = 0.0005f; target < 0.3f; target *= 1.5f) {
        const Level& last = levels.back();
        const float scale = meshopt_simplifyScale(last.vertices.data(), last.vertices.size() / 6, Stride);
        const float budget = (target * wholeScale - last.error) / scale;
        simplified.resize(last.indices.size());
        float error = 0;
        const std::size_t size = meshopt_simplify(simplified.data(), last.indices.data(), last.indices.size(),
                                                  last.vertices.data(), last.vertices.size() / 6, Stride, 0, budget,
                                                  0, &error);
        if (size == 0)
            break;
        if (double(size) > keep * double(last.indices.size()))
            continue;
        simplified.resize(size);
        const float total = last.error + error * scale;
        levels.push_back(compact(last.vertices, simplified, total));
    }
    return levels;
}

int ksMeshLevels::closedFacing(const std::vector<float>& vertices, const std::vector<std::uint32_t>& indices)
{
    const std::size_t triangles = indices.size() / 3;
    if (triangles == 0)
        return 0;
    // Vertices that differ only in their normals are one corner.
    std::vector<std::uint32_t> corners(triangles * 3);
    meshopt_generateShadowIndexBuffer(corners.data(), indices.data(), corners.size(), vertices.data(),
                                      vertices.size() / 6, 3 * sizeof(float), Stride);
    std::vector<std::uint64_t> edges;
    edges.reserve(corners.size());
    double volume = 0;
    for (std::size_t t = 0; t < corners.size(); t += 3) {
        const std::uint32_t a = corners[t], b = corners[t + 1], c = corners[t + 2];
        if (a == b || b == c || a == c)
            continue; // a degenerate triangle covers nothing
        for (const auto& [from, to] : {std::pair(a, b), std::pair(b, c), std::pair(c, a)})
            edges.push_back(std::uint64_t(from) << 32 | to);
        const float* p = &vertices[std::size_t(a) * 6];
        const float* q = &vertices[std::size_t(b) * 6];
        const float* r = &vertices[std::size_t(c) * 6];
        // Six times the signed volume of the tetrahedron with the origin.
        volume += double(p[0]) * (double(q[1]) * r[2] - double(q[2]) * r[1])
                  - double(p[1]) * (double(q[0]) * r[2] - double(q[2]) * r[0])
                  + double(p[2]) * (double(q[0]) * r[1] - double(q[1]) * r[0]);
    }
    // Each edge run once each way: none twice the same way (wound both ways,
    // or more than two sides), none without its reverse (a border).
    std::sort(edges.begin(), edges.end());
    if (std::adjacent_find(edges.begin(), edges.end()) != edges.end())
        return 0;
    for (const std::uint64_t edge : edges)
        if (!std::binary_search(edges.begin(), edges.end(), edge << 32 | edge >> 32))
            return 0;
    return volume > 0 ? 1 : volume < 0 ? -1 : 0;
}
