// Licensed under the MIT licence; see LICENSE.
#include "ksObjWriter.h"

#include <QSaveFile>
#include <QTextStream>

#include <cmath>

void ksObjWriter::addBox(float sizeX, float sizeY, float sizeZ)
{
    const int base = int(m_vertices.size());
    for (int i = 0; i < 8; ++i)
        m_vertices.push_back({(i & 1 ? 0.5f : -0.5f) * sizeX, (i & 2 ? 0.5f : -0.5f) * sizeY,
                              (i & 4 ? 0.5f : -0.5f) * sizeZ});
    // Two triangles per side, corners numbered by their bits (x 1, y 2, z 4).
    const int sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& s : sides) {
        m_triangles.push_back({base + s[0], base + s[1], base + s[2]});
        m_triangles.push_back({base + s[0], base + s[2], base + s[3]});
    }
}

void ksObjWriter::addCylinder(float radius, float width, int segments)
{
    const int base = int(m_vertices.size());
    for (int i = 0; i < segments; ++i) {
        const float a = 2.0f * float(M_PI) * float(i) / float(segments);
        m_vertices.push_back({radius * std::cos(a), radius * std::sin(a), -width / 2});
        m_vertices.push_back({radius * std::cos(a), radius * std::sin(a), width / 2});
    }
    const int front = int(m_vertices.size());
    m_vertices.push_back({0, 0, -width / 2});
    m_vertices.push_back({0, 0, width / 2});
    for (int i = 0; i < segments; ++i) {
        const int a = base + 2 * i, b = base + 2 * ((i + 1) % segments);
        m_triangles.push_back({a, b, a + 1});
        m_triangles.push_back({b, b + 1, a + 1});
        m_triangles.push_back({front, b, a});
        m_triangles.push_back({front + 1, a + 1, b + 1});
    }
}

bool ksObjWriter::write(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    out << "# written by talvik\n";
    for (const Vertex& v : m_vertices)
        out << "v " << v[0] << ' ' << v[1] << ' ' << v[2] << '\n';
    for (const Triangle& t : m_triangles)
        out << "f " << t[0] + 1 << ' ' << t[1] + 1 << ' ' << t[2] + 1 << '\n';
    out.flush();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
