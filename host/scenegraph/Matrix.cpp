// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Matrix.h"

#include <cmath>

namespace osg {

Matrix::Matrix()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m_m[r][c] = r == c ? 1.0f : 0.0f;
}

Matrix Matrix::translation(const Vec3f& t)
{
    Matrix m;
    m.m_m[0][3] = t.x();
    m.m_m[1][3] = t.y();
    m.m_m[2][3] = t.z();
    return m;
}

Matrix Matrix::scaling(const Vec3f& s)
{
    Matrix m;
    m.m_m[0][0] = s.x();
    m.m_m[1][1] = s.y();
    m.m_m[2][2] = s.z();
    return m;
}

Matrix Matrix::rotationEulerXYZ(const Vec3f& degrees)
{
    const double k = 3.14159265358979323846 / 180.0;
    const double cx = std::cos(degrees.x() * k), sx = std::sin(degrees.x() * k);
    const double cy = std::cos(degrees.y() * k), sy = std::sin(degrees.y() * k);
    const double cz = std::cos(degrees.z() * k), sz = std::sin(degrees.z() * k);
    Matrix rx, ry, rz;
    rx.m_m[1][1] = float(cx); rx.m_m[1][2] = float(-sx); rx.m_m[2][1] = float(sx); rx.m_m[2][2] = float(cx);
    ry.m_m[0][0] = float(cy); ry.m_m[0][2] = float(sy); ry.m_m[2][0] = float(-sy); ry.m_m[2][2] = float(cy);
    rz.m_m[0][0] = float(cz); rz.m_m[0][1] = float(-sz); rz.m_m[1][0] = float(sz); rz.m_m[1][1] = float(cz);
    // X is applied first to a column vector, so it stands rightmost.
    return rz * ry * rx;
}

Matrix Matrix::operator*(const Matrix& o) const
{
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += m_m[i][k] * o.m_m[k][j];
            r.m_m[i][j] = s;
        }
    return r;
}

Vec3f Matrix::transformPoint(const Vec3f& p) const
{
    Vec3f r;
    for (int i = 0; i < 3; ++i)
        r[i] = m_m[i][0] * p.x() + m_m[i][1] * p.y() + m_m[i][2] * p.z() + m_m[i][3];
    return r;
}

bool Matrix::operator==(const Matrix& o) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m_m[r][c] != o.m_m[r][c])
                return false;
    return true;
}

} // namespace osg
