// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"

namespace osg {

// A point, direction, scale or colour with three single-precision components.
class Vec3f {
public:
    constexpr Vec3f() = default;
    constexpr Vec3f(Real32 x, Real32 y, Real32 z) : m_v{x, y, z} {}

    constexpr Real32 x() const { return m_v[0]; }
    constexpr Real32 y() const { return m_v[1]; }
    constexpr Real32 z() const { return m_v[2]; }
    Real32& operator[](int i) { return m_v[i]; }
    constexpr Real32 operator[](int i) const { return m_v[i]; }
    const Real32* getValues() const { return m_v; }

    constexpr Vec3f operator+(const Vec3f& o) const { return {m_v[0] + o.m_v[0], m_v[1] + o.m_v[1], m_v[2] + o.m_v[2]}; }
    constexpr Vec3f operator-(const Vec3f& o) const { return {m_v[0] - o.m_v[0], m_v[1] - o.m_v[1], m_v[2] - o.m_v[2]}; }
    constexpr Vec3f operator*(Real32 s) const { return {m_v[0] * s, m_v[1] * s, m_v[2] * s}; }
    constexpr Vec3f operator-() const { return {-m_v[0], -m_v[1], -m_v[2]}; }
    constexpr bool operator==(const Vec3f& o) const
    {
        return m_v[0] == o.m_v[0] && m_v[1] == o.m_v[1] && m_v[2] == o.m_v[2];
    }
    constexpr bool operator!=(const Vec3f& o) const { return !(*this == o); }

private:
    Real32 m_v[3] = {0, 0, 0};
};

static_assert(sizeof(Vec3f) == 12, "Vec3f arrays are written to files in bulk");

} // namespace osg
