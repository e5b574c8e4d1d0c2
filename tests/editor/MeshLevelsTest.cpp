// Licensed under the MIT licence; see LICENSE.
// The 3D view's meshes and their coarser copies: the mesh itself kept whole,
// each copy clearly smaller, its error telling how far its surface moves,
// and a flat sheet reduced to its outline.
#include "ksMeshLevels.h"

#include <QTest>

#include <cmath>
#include <set>

namespace {

using Vertices = std::vector<float>;
using Indices = std::vector<std::uint32_t>;

// A grid of `steps` x `steps` quads, interleaved as the view uploads it
// (position, normal); bent into half a cylinder of radius 1 around the y axis
// when `bent`, else the flat unit square.
void sheet(int steps, bool bent, Vertices& vertices, Indices& indices)
{
    for (int y = 0; y <= steps; ++y)
        for (int x = 0; x <= steps; ++x) {
            const float u = float(x) / float(steps);
            const float v = float(y) / float(steps);
            if (bent) {
                const float angle = float(M_PI) * u;
                const float x = std::cos(angle);
                const float z = std::sin(angle);
                vertices.insert(vertices.end(), {x, v, z, x, 0.f, z});
            } else {
                vertices.insert(vertices.end(), {u, v, 0.f, 0.f, 0.f, 1.f});
            }
        }
    for (int y = 0; y < steps; ++y)
        for (int x = 0; x < steps; ++x) {
            const std::uint32_t a = std::uint32_t(y * (steps + 1) + x);
            const std::uint32_t d = a + std::uint32_t(steps + 1);
            indices.insert(indices.end(), {a, a + 1, d, a + 1, d + 1, d});
        }
}

// Each triangle as the sorted positions of its corners.
std::multiset<std::vector<float>> triangles(const ksMeshLevels::Level& level)
{
    std::multiset<std::vector<float>> result;
    for (std::size_t t = 0; t < level.indices.size(); t += 3) {
        std::vector<std::vector<float>> corners;
        for (std::size_t c = 0; c < 3; ++c) {
            const float* p = &level.vertices[level.indices[t + c] * 6];
            corners.push_back({p[0], p[1], p[2]});
        }
        std::sort(corners.begin(), corners.end());
        result.insert({corners[0][0], corners[0][1], corners[0][2], corners[1][0], corners[1][1], corners[1][2],
                       corners[2][0], corners[2][1], corners[2][2]});
    }
    return result;
}

} // namespace

class MeshLevelsTest : public QObject
{
    Q_OBJECT

private slots:
    void aCurvedMeshGetsCopiesWhoseErrorBoundsTheirSurface()
    {
        Vertices vertices;
        Indices indices;
        sheet(40, true, vertices, indices);
        const std::vector<ksMeshLevels::Level> levels = ksMeshLevels::build(vertices, indices);
        QVERIFY(levels.size() >= 4);
        // The mesh itself: every triangle, reordered, with nothing moved.
        QCOMPARE(levels[0].error, 0.f);
        QCOMPARE(levels[0].indices.size(), indices.size());
        QVERIFY(triangles(levels[0]) == triangles(ksMeshLevels::Level{vertices, indices, 0}));
        for (std::size_t l = 1; l < levels.size(); ++l) {
            const ksMeshLevels::Level& level = levels[l];
            QVERIFY(double(level.indices.size()) <= 0.7 * double(levels[l - 1].indices.size()));
            QVERIFY(level.error > levels[l - 1].error);
            QCOMPARE(level.vertices.size() % 6, std::size_t(0));
            float sagitta = 0;
            for (std::size_t t = 0; t < level.indices.size(); t += 3) {
                float centre[3] = {0, 0, 0};
                for (std::size_t c = 0; c < 3; ++c) {
                    QVERIFY(level.indices[t + c] < level.vertices.size() / 6);
                    for (int axis = 0; axis < 3; ++axis)
                        centre[axis] += level.vertices[level.indices[t + c] * 6 + std::size_t(axis)] / 3.f;
                }
                // Corners stay on the cylinder; a triangle's middle sinks below it.
                sagitta = std::max(sagitta, 1.f - std::hypot(centre[0], centre[2]));
            }
            QVERIFY2(sagitta <= 2.f * level.error + 1e-3f,
                     qPrintable(QStringLiteral("level %1: %2 below, error %3").arg(l).arg(sagitta).arg(level.error)));
        }
    }

    void aFlatSheetShrinksToItsOutline()
    {
        Vertices vertices;
        Indices indices;
        sheet(30, false, vertices, indices);
        const std::vector<ksMeshLevels::Level> levels = ksMeshLevels::build(vertices, indices);
        QVERIFY(levels.size() >= 2);
        // A plane loses nothing to the collapses, and its corners stay.
        QVERIFY(levels[1].error < 1e-4f);
        QVERIFY(levels[1].indices.size() / 3 <= 8);
        float low = 1, high = 0;
        for (std::size_t v = 0; v < levels[1].vertices.size(); v += 6) {
            low = std::min({low, levels[1].vertices[v], levels[1].vertices[v + 1]});
            high = std::max({high, levels[1].vertices[v], levels[1].vertices[v + 1]});
        }
        QCOMPARE(low, 0.f);
        QCOMPARE(high, 1.f);
    }

    void smallAndEmptyMeshesAreKeptAsTheyAre()
    {
        Vertices vertices;
        Indices indices;
        sheet(6, true, vertices, indices);
        indices.push_back(0); // half a triangle more: dropped
        const std::vector<ksMeshLevels::Level> levels = ksMeshLevels::build(vertices, indices);
        QCOMPARE(levels.size(), std::size_t(1));
        QCOMPARE(levels[0].indices.size(), indices.size() - 1);
        QCOMPARE(levels[0].vertices.size(), vertices.size());
        QVERIFY(ksMeshLevels::build({}, {}).empty());
        QVERIFY(ksMeshLevels::build(vertices, {}).empty());
    }
};

QObject* makeMeshLevelsTest()
{
    return new MeshLevelsTest;
}

#include "MeshLevelsTest.moc"
