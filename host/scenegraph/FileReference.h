// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldContainer.h"

#include <functional>
#include <string>

namespace osg {

// The record of one file a reference points to: its path (absolute and
// relative to the project), owner, file state, checksum, modification time
// and import time (seconds since the epoch; 0 = none). Strings are UTF-8.
// The pool learns of every finished edit of a record through a static hook.
class FileReference : public FieldContainer {
public:
    enum {
        PathFieldId = FieldContainer::NextFieldId,
        RelativePathFieldId,
        OwnerFieldId,
        StateFieldId,
        ChecksumFieldId,
        LastModifiedFieldId,
        ImportDateFieldId,
        NextFieldId
    };
    static constexpr BitVector PathFieldMask = fieldMask(PathFieldId);
    static constexpr BitVector RelativePathFieldMask = fieldMask(RelativePathFieldId);
    static constexpr BitVector OwnerFieldMask = fieldMask(OwnerFieldId);
    static constexpr BitVector StateFieldMask = fieldMask(StateFieldId);
    static constexpr BitVector ChecksumFieldMask = fieldMask(ChecksumFieldId);
    static constexpr BitVector LastModifiedFieldMask = fieldMask(LastModifiedFieldId);
    static constexpr BitVector ImportDateFieldMask = fieldMask(ImportDateFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    using PoolCallback = std::function<void(const FileReferencePtr&)>;

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static FileReferenceRefPtr create();

    const std::string& getPath() const { return m_path; }
    void setPath(const std::string& path) { m_path = path; }
    const std::string& getRelativePath() const { return m_relativePath; }
    void setRelativePath(const std::string& path) { m_relativePath = path; }
    const std::string& getOwner() const { return m_owner; }
    void setOwner(const std::string& owner) { m_owner = owner; }
    UInt32 getState() const { return m_state; }
    void setState(UInt32 state) { m_state = state; }
    UInt32 getChecksum() const { return m_checksum; }
    void setChecksum(UInt32 checksum) { m_checksum = checksum; }
    UInt64 getLastModified() const { return m_lastModified; }
    void setLastModified(UInt64 seconds) { m_lastModified = seconds; }
    UInt64 getImportDate() const { return m_importDate; }
    void setImportDate(UInt64 seconds) { m_importDate = seconds; }

    static void setUpdateInPoolCallback(PoolCallback callback);

protected:
    FileReference();
    ~FileReference() override;

    void notifyPool() override;

private:
    friend class FieldContainer;

    std::string m_path;
    std::string m_relativePath;
    std::string m_owner;
    UInt32 m_state = 0;
    UInt32 m_checksum = 0;
    UInt64 m_lastModified = 0;
    UInt64 m_importDate = 0;
};

// The host API's name for the class (`FileReferenceBase::create`); the code writes FileReference::create().
using FileReferenceBase = FileReference;

} // namespace osg
