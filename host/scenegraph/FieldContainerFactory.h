// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldContainerType.h"
#include "scenegraph/HandleTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace osg {

// Knows every live container by id and every container type by id and name.
// Ids count up from 1 and are never handed out twice in a process, so an id
// is a safe weak reference: once its container is gone, getContainer gives
// NullFC for good. Main thread only.
class FieldContainerFactory {
public:
    static FieldContainerFactory* the();

    // The live container with this id, or NullFC (also while it is being
    // destroyed).
    FieldContainerPtr getContainer(UInt32 id) const;

    const FieldContainerType* findType(UInt32 typeId) const;
    const FieldContainerType* findType(const std::string& name) const;
    const std::vector<const FieldContainerType*>& getTypes() const { return m_types; }

    // Containers alive right now; tests use it to prove nothing leaks.
    std::size_t getNumLiveContainers() const { return m_live; }
    // The id the next container will get.
    UInt32 getNextId() const { return m_nextId; }

    // A block of `count` ids, the first returned, for containers made in any
    // order: the scene decoder makes a block's containers as its build
    // reaches them, and they still number in the block's record order.
    UInt32 reserveIds(UInt32 count);
    // While one lives, the next container made takes `id` (from a reserved
    // block) rather than the next free one.
    class IdReservation {
    public:
        explicit IdReservation(UInt32 id);
        ~IdReservation();
        IdReservation(const IdReservation&) = delete;
        IdReservation& operator=(const IdReservation&) = delete;
    };

private:
    friend class FieldContainer;
    friend bool detail::isContainerAlive(UInt32 id, const FieldContainer* fc);

    static constexpr UInt32 PageBits = 12;
    static constexpr UInt32 PageSize = 1u << PageBits;
    struct Page {
        FieldContainer* entries[PageSize] = {};
        UInt32 live = 0;
    };

    FieldContainerFactory();
    void registerType(const FieldContainerType& type);
    UInt32 registerContainer(FieldContainer* fc);
    void unregisterContainer(FieldContainer* fc);
    FieldContainer* lookup(UInt32 id) const;

    // Ids index pages of slots; a page whose ids were all handed out and whose
    // containers are all gone is freed, so the table stays as large as the
    // live set rather than the id count.
    std::vector<std::unique_ptr<Page>> m_pages;
    UInt32 m_nextId = 1;
    UInt32 m_reservedId = 0; // taken by the next container made, when not 0
    std::size_t m_live = 0;
    std::vector<const FieldContainerType*> m_types;
};

} // namespace osg
