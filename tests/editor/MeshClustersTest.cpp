// Licensed under the MIT licence; see LICENSE.
// The 3D view's coarser copies of meshes: fewer triangles, none degenerate,
// the shape kept within its bounds, and nothing merged that a grid finer
// than the mesh keeps apart.
#include "ksMeshClusters.h"

#include <QTest>

#include <cmath>

namespace {

// A flat sheet of `steps` x `steps` quads in the unit square, interleaved
// as the view uploads it (position, normal).
void sheet(int steps, std::vector<float>& vertices, std::vector<std::uint32_t>& indices)
{
    for (int y = 0; y <= steps; ++y)
        for (int x = 0; x <= steps; ++x)
            vertices.insert(vertices.end(), {float(x) / float(steps), float(y) / float(steps), 0.f, 0.f, 0.f, 1.f});
    for (int y = 0; y < steps; ++y)
        for (int x = 0; x < steps; ++x) {
            const std::uint32_t a = std::uint32_t(y * (steps + 1) + x);
            const std::uint32_t d = a + std::uint32_t(steps + 1);
            indices.insert(indices.end(), {a, a + 1, d, a + 1, d + 1, d});
        }
}

} // namespace

class MeshClustersTest : public QObject
{
    Q_OBJECT

private slots:
    void aCoarseGridMergesAndKeepsTheShape()
    {
        std::vector<float> vertices;
        std::vector<std::uint32_t> indices;
        sheet(40, vertices, indices);
        const ksMeshClusters coarse = ksMeshClusters::build(vertices, indices, 8);
        // About 2 x 8 x 8 triangles are left of 3,200; the flat axis (no
        // extent) is one cell, not a division by zero.
        QVERIFY(coarse.indices.size() / 3 <= 2 * 9 * 9);
        QVERIFY(coarse.indices.size() / 3 >= 2 * 7 * 7);
        QCOMPARE(coarse.vertices.size() % 6, std::size_t(0));
        for (std::size_t t = 0; t < coarse.indices.size(); t += 3) {
            QVERIFY(coarse.indices[t] != coarse.indices[t + 1] && coarse.indices[t + 1] != coarse.indices[t + 2]
                    && coarse.indices[t] != coarse.indices[t + 2]);
            for (int corner = 0; corner < 3; ++corner)
                QVERIFY(coarse.indices[t + std::size_t(corner)] < coarse.vertices.size() / 6);
        }
        for (std::size_t v = 0; v < coarse.vertices.size(); v += 6) {
            QVERIFY(coarse.vertices[v] >= 0.f && coarse.vertices[v] <= 1.f);
            QVERIFY(coarse.vertices[v + 1] >= 0.f && coarse.vertices[v + 1] <= 1.f);
            QCOMPARE(coarse.vertices[v + 2], 0.f);
            QCOMPARE(coarse.vertices[v + 5], 1.f); // averaged normals stay unit length
        }
    }

    void aGridFinerThanTheMeshKeepsEveryTriangle()
    {
        std::vector<float> vertices;
        std::vector<std::uint32_t> indices;
        sheet(6, vertices, indices);
        const ksMeshClusters same = ksMeshClusters::build(vertices, indices, 48);
        QCOMPARE(same.indices.size(), indices.size());
        QCOMPARE(same.vertices.size(), vertices.size());
    }
};

QObject* makeMeshClustersTest()
{
    return new MeshClustersTest;
}

#include "MeshClustersTest.moc"
