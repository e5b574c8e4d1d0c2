// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/NodeCore.h"
#include "scenegraph/Vec3f.h"

#include <vector>

namespace osg {

// A triangle mesh core: positions, optional normals (empty or one per
// position), triangle indices into the positions, and a material.
class Geometry : public NodeCore {
public:
    enum { PositionsFieldId = NodeCore::NextFieldId, NormalsFieldId, IndicesFieldId, MaterialFieldId, NextFieldId };
    static constexpr BitVector PositionsFieldMask = fieldMask(PositionsFieldId);
    static constexpr BitVector NormalsFieldMask = fieldMask(NormalsFieldId);
    static constexpr BitVector IndicesFieldMask = fieldMask(IndicesFieldId);
    static constexpr BitVector MaterialFieldMask = fieldMask(MaterialFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static GeometryRefPtr create();

    const std::vector<Vec3f>& getPositions() const { return m_positions; }
    std::vector<Vec3f>& editPositions() { return m_positions; }
    void setPositions(std::vector<Vec3f> positions) { m_positions = std::move(positions); }
    const std::vector<Vec3f>& getNormals() const { return m_normals; }
    std::vector<Vec3f>& editNormals() { return m_normals; }
    void setNormals(std::vector<Vec3f> normals) { m_normals = std::move(normals); }
    const std::vector<UInt32>& getIndices() const { return m_indices; }
    std::vector<UInt32>& editIndices() { return m_indices; }
    void setIndices(std::vector<UInt32> indices) { m_indices = std::move(indices); }

    MaterialPtr getMaterial() const;
    void setMaterial(MaterialRefPtr material);

protected:
    Geometry();
    ~Geometry() override;

private:
    friend class FieldContainer;

    std::vector<Vec3f> m_positions;
    std::vector<Vec3f> m_normals;
    std::vector<UInt32> m_indices;
    MaterialRefPtr m_material;
};

using GeometryBase = Geometry;

} // namespace osg
