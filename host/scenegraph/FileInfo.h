// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Attachment.h"

#include <string>

namespace osg {

// The path of the file a node came from, kept by older scenes.
class FileInfo : public Attachment {
public:
    enum { PathFieldId = Attachment::NextFieldId, NextFieldId };
    static constexpr BitVector PathFieldMask = fieldMask(PathFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static FileInfoRefPtr create();

    const std::string& getPath() const { return m_path; }
    void setPath(const std::string& path) { m_path = path; }

protected:
    FileInfo();
    ~FileInfo() override;

private:
    friend class FieldContainer;
    std::string m_path;
};

using FileInfoBase = FileInfo;

} // namespace osg
