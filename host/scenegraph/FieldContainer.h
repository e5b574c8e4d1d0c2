// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/ContainerAllocator.h"
#include "scenegraph/FieldContainerType.h"
#include "scenegraph/HandleTypes.h"
#include "scenegraph/UserList.h"

#include <vector>

namespace osg {

// The base of everything in the scene graph: a process-unique 32-bit id that
// is never reused, an intrusive reference count, a type with field
// descriptions, and the list of containers that hold edges to this one.
//
// Containers are made by `X::create()`, which hands the caller an owning
// RefPtr. A container is destroyed when its last owner lets go; destruction
// of a whole tree runs iteratively, so depth does not matter.
class FieldContainer {
public:
    enum { NextFieldId = 0 };

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    virtual const FieldContainerType& getType() const = 0;
    UInt32 getTypeId() const { return getType().getId(); }
    const std::string& getTypeName() const { return getType().getName(); }

    UInt32 getId() const { return m_id; }
    Int32 getRefCount() const { return m_refCount < 0 ? 0 : m_refCount; }

    // The containers that point to this one (for a node: its parent; for a
    // core: the nodes using it; for a record: the cores holding it; ...).
    virtual std::vector<FieldContainerPtr> getUsers() const;

    // Runs first when an edit of this container ends (see endEditCP).
    virtual void changed(BitVector whichField, UInt32 origin);

    FieldContainer(const FieldContainer&) = delete;
    FieldContainer& operator=(const FieldContainer&) = delete;

    // Containers come from a pool (see ContainerAllocator); the size passed
    // to delete is the most derived type's, thanks to the virtual destructor.
    static void* operator new(std::size_t size) { return ContainerAllocator::allocate(size); }
    static void operator delete(void* p, std::size_t size) { ContainerAllocator::deallocate(p, size); }

protected:
    FieldContainer();
    virtual ~FieldContainer();

    // Builds a T and lets it announce itself; T befriends FieldContainer.
    template <class T> static RefPtr<T> createContainer()
    {
        RefPtr<T> fc(new T());
        static_cast<FieldContainer*>(fc.getCPtr())->onCreate();
        return fc;
    }

    // After construction by create() (also for containers made by the reader).
    virtual void onCreate();
    // Before destruction, while every field is still intact.
    virtual void onDestroy();
    // Between changed() and the change observers when an edit ends.
    virtual void notifyPool();

    // Points `slot` at `value`, keeping both targets' user lists right.
    template <class T> void assignReference(RefPtr<T>& slot, RefPtr<T> value)
    {
        if (slot.getCPtr() == value.getCPtr())
            return;
        if (value)
            addUserTo(value.getCPtr());
        if (slot)
            removeUserFrom(slot.getCPtr());
        slot = std::move(value);
    }
    void addUserTo(FieldContainer* target);
    void removeUserFrom(FieldContainer* target);
    const UserList& getUserList() const { return m_users; }

private:
    template <class> friend class RefPtr;
    friend class FieldContainerFactory;
    friend class ChangeObservers;
    friend class SceneDecoder; // sizes the user lists of what it reads
    friend void addRefCP(const FieldContainerPtr& fc);
    friend void subRefCP(const FieldContainerPtr& fc);
    friend void endEditCP(const FieldContainerPtr& fc, BitVector mask, UInt32 origin);

    // While a container is being destroyed its count sits far below zero, so
    // holds taken and released by hooks never bring it to zero a second time.
    static constexpr Int32 DyingCount = -(1 << 30);

    void addRefInternal() { ++m_refCount; }
    void subRefInternal()
    {
        if (--m_refCount == 0)
            destroy();
    }
    bool isDying() const { return m_refCount < 0; }
    void destroy();
    void publish(BitVector mask, UInt32 origin);

    // The users first: the id and the count, which every walk touches, then
    // sit next to a node's children, in the same cache line more often.
    UserList m_users;
    UInt32 m_id;
    Int32 m_refCount = 0;
};

// Explicit holds, for code that cannot keep a RefPtr.
void addRefCP(const FieldContainerPtr& fc);
void subRefCP(const FieldContainerPtr& fc);

// A field change stands between these two. endEditCP publishes at once and
// in this order: the container's own changed(mask, origin), the pool hooks of
// reference cores and file records, then the change observers of the nodes
// above the container. A mask of all ones means every field. Setters used
// outside an edit change values and publish nothing.
void beginEditCP(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields, UInt32 origin = 1);
void endEditCP(const FieldContainerPtr& fc, BitVector mask = FieldBits::AllFields, UInt32 origin = 1);

} // namespace osg
