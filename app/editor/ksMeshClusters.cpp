// Licensed under the MIT licence; see LICENSE.
#include "ksMeshClusters.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

ksMeshClusters ksMeshClusters::build(const std::vector<float>& vertices, const std::vector<std::uint32_t>& indices,
                                     int cells)
{
    ksMeshClusters result;
    const std::size_t count = vertices.size() / 6;
    if (count == 0 || cells < 1)
        return result;
    float low[3] = {vertices[0], vertices[1], vertices[2]};
    float high[3] = {low[0], low[1], low[2]};
    for (std::size_t v = 0; v < count; ++v)
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], vertices[v * 6 + axis]);
            high[axis] = std::max(high[axis], vertices[v * 6 + axis]);
        }
    float scale[3];
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = high[axis] - low[axis];
        scale[axis] = extent > 0 ? float(cells) / extent : 0.f;
    }

    // Cell of each vertex -> index of the merged vertex; sums first, averages after.
    std::unordered_map<std::uint64_t, std::uint32_t> cellIndex;
    cellIndex.reserve(count);
    std::vector<std::uint32_t> merged(count);
    std::vector<float> sums;
    std::vector<std::uint32_t> members;
    for (std::size_t v = 0; v < count; ++v) {
        std::uint64_t key = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const float step = std::floor((vertices[v * 6 + axis] - low[axis]) * scale[axis]);
            key = key * std::uint64_t(cells + 1) + std::uint64_t(std::clamp(int(step), 0, cells - 1));
        }
        const auto [it, isNew] = cellIndex.emplace(key, std::uint32_t(members.size()));
        if (isNew) {
            sums.insert(sums.end(), 6, 0.f);
            members.push_back(0);
        }
        merged[v] = it->second;
        for (int field = 0; field < 6; ++field)
            sums[std::size_t(it->second) * 6 + std::size_t(field)] += vertices[v * 6 + std::size_t(field)];
        ++members[it->second];
    }
    result.vertices.resize(sums.size());
    for (std::size_t m = 0; m < members.size(); ++m) {
        for (int axis = 0; axis < 3; ++axis)
            result.vertices[m * 6 + std::size_t(axis)] = sums[m * 6 + std::size_t(axis)] / float(members[m]);
        const float* n = &sums[m * 6 + 3];
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int axis = 0; axis < 3; ++axis)
            result.vertices[m * 6 + 3 + std::size_t(axis)] = length > 0 ? n[axis] / length : (axis == 2 ? 1.f : 0.f);
    }
    result.indices.reserve(indices.size() / 2);
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const std::uint32_t a = merged[indices[t]];
        const std::uint32_t b = merged[indices[t + 1]];
        const std::uint32_t c = merged[indices[t + 2]];
        if (a != b && b != c && a != c)
            result.indices.insert(result.indices.end(), {a, b, c});
    }
    return result;
}
