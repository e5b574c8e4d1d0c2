// Licensed under the MIT licence; see LICENSE.
#include "ksMeshLevels.h"

#include <meshoptimizer.h>

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
