// Licensed under the MIT licence; see LICENSE.
// The 3D view's meshes and their coarser copies: the mesh itself kept whole,
// each copy clearly smaller, its error telling how far its surface moves,
// a flat sheet reduced to its outline; and which meshes are closed.
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

// A unit cube, counter-clockwise seen from outside; with `split`, each face
// has corners of its own (as a mesh with a normal per face does).
void cube(bool split, Vertices& vertices, Indices& indices)
{
    const float corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    const std::uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    if (!split)
        for (const auto& c : corners)
            vertices.insert(vertices.end(), {c[0], c[1], c[2], 0.f, 0.f, 1.f});
    for (std::uint32_t f = 0; f < 6; ++f) {
        std::uint32_t quad[4];
        for (int k = 0; k < 4; ++k) {
            quad[k] = split ? std::uint32_t(vertices.size() / 6) : faces[f][k];
            if (split) {
                const float* c = corners[faces[f][k]];
                vertices.insert(vertices.end(), {c[0], c[1], c[2], float(f), 0.f, 0.f});
            }
        }
        indices.insert(indices.end(), {quad[0], quad[1], quad[2], quad[0], quad[2], quad[3]});
    }
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

    void aClosedMeshIsToldFromAnOpenOne()
    {
        Vertices vertices;
        Indices indices;
        cube(false, vertices, indices);
        QCOMPARE(ksMeshLevels::closedFacing(vertices, indices), 1);
        Indices inward = indices;
        for (std::size_t t = 0; t < inward.size(); t += 3)
            std::swap(inward[t + 1], inward[t + 2]);
        QCOMPARE(ksMeshLevels::closedFacing(vertices, inward), -1);
        indices.insert(indices.end(), {0, 0, 1}); // a degenerate triangle changes nothing
        QCOMPARE(ksMeshLevels::closedFacing(vertices, indices), 1);

        Vertices splitVertices;
        Indices splitIndices;
        cube(true, splitVertices, splitIndices);
        QCOMPARE(ksMeshLevels::closedFacing(splitVertices, splitIndices), 1);

        // Open, or wound both ways: its back may show.
        Indices holed(splitIndices.begin(), splitIndices.end() - 3);
        QCOMPARE(ksMeshLevels::closedFacing(splitVertices, holed), 0);
        Indices flipped = splitIndices;
        std::swap(flipped[1], flipped[2]);
        QCOMPARE(ksMeshLevels::closedFacing(splitVertices, flipped), 0);
        Vertices sheetVertices;
        Indices sheetIndices;
        sheet(4, true, sheetVertices, sheetIndices);
        QCOMPARE(ksMeshLevels::closedFacing(sheetVertices, sheetIndices), 0);
        QCOMPARE(ksMeshLevels::closedFacing({}, {}), 0);
    }
};

QObject* makeMeshLevelsTest()
{
    return new MeshLevelsTest;
}

#include "MeshLevelsTest.moc"
