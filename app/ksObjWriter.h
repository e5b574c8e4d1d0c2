// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>

#include <array>
#include <vector>

// Writes simple meshes as Wavefront OBJ files, the plainest format every
// importer reads: positions and triangles, nothing else.
class ksObjWriter
{
public:
    using Vertex = std::array<float, 3>;
    using Triangle = std::array<int, 3>; // zero-based

    // A box centred at the origin.
    void addBox(float sizeX, float sizeY, float sizeZ);
    // A closed cylinder around the z axis.
    void addCylinder(float radius, float width, int segments);

    int triangleCount() const { return int(m_triangles.size()); }

    // False with the reason when the file cannot be written.
    bool write(const QString& path, QString* error = nullptr) const;

private:
    std::vector<Vertex> m_vertices;
    std::vector<Triangle> m_triangles;
};
