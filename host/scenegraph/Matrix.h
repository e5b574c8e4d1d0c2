// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Vec3f.h"

namespace osg {

// A 4x4 single-precision transform acting on column vectors: the translation
// sits in the last column. Stored row by row.
class Matrix {
public:
    Matrix(); // identity

    static Matrix identity() { return Matrix(); }
    static Matrix translation(const Vec3f& t);
    static Matrix scaling(const Vec3f& s);
    // Rotation about X, then Y, then Z, in degrees.
    static Matrix rotationEulerXYZ(const Vec3f& degrees);

    Real32& operator()(int row, int col) { return m_m[row][col]; }
    Real32 operator()(int row, int col) const { return m_m[row][col]; }
    const Real32* getValues() const { return &m_m[0][0]; }

    Matrix operator*(const Matrix& o) const;
    Vec3f transformPoint(const Vec3f& p) const;
    Vec3f getTranslation() const { return {m_m[0][3], m_m[1][3], m_m[2][3]}; }

    bool operator==(const Matrix& o) const;
    bool operator!=(const Matrix& o) const { return !(*this == o); }

private:
    Real32 m_m[4][4];
};

static_assert(sizeof(Matrix) == 64, "matrices are written to files as 16 floats");

} // namespace osg
