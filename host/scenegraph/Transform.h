// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Group.h"
#include "scenegraph/Matrix.h"

namespace osg {

// A group that places its children by a matrix.
class Transform : public Group {
public:
    enum { MatrixFieldId = Group::NextFieldId, NextFieldId };
    static constexpr BitVector MatrixFieldMask = fieldMask(MatrixFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static TransformRefPtr create();

    const Matrix& getMatrix() const { return m_matrix; }
    void setMatrix(const Matrix& matrix) { m_matrix = matrix; }

protected:
    Transform();
    ~Transform() override;

    Matrix m_matrix;

private:
    friend class FieldContainer;
};

using TransformBase = Transform;

} // namespace osg
