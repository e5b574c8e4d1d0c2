// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/HandleCells.h"

#include <cassert>
#include <cstddef>
#include <functional>
#include <type_traits>

namespace osg {

class FieldContainer;
template <class T> class RefPtr;

// The value of an unset handle. Compares equal to every unset handle.
struct NullFCType {
    explicit constexpr NullFCType(int) {}
    constexpr UInt32 getFieldContainerId() const { return 0; }
};
inline constexpr NullFCType NullFC{0};

namespace detail {
// True when `fc` is the live (or dying) container registered under `id`.
bool isContainerAlive(UInt32 id, const FieldContainer* fc);
} // namespace detail

// A non-owning handle: parameters, return values and back-links. It remembers
// the container's id, so comparing, ordering and hashing never touch the
// container and stay defined after it is gone. Debug builds check on every
// dereference that the target is still alive.
template <class T> class FCPtr {
public:
    using ObjectType = T;

    constexpr FCPtr() = default;
    constexpr FCPtr(NullFCType) {}
    explicit FCPtr(T* p) : m_ptr(p), m_id(p ? p->getId() : 0) {}

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    FCPtr(const FCPtr<U>& o) : m_ptr(o.m_ptr), m_id(o.m_id) {}

    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    FCPtr(const RefPtr<U>& o) : FCPtr(o.getCPtr()) {}

    // A handle taken from a temporary owner would dangle at once.
    template <class U> FCPtr(RefPtr<U>&&) = delete;

    // The handle of `other` when its container is a T (or derived), else NullFC.
    template <class U> static FCPtr dcast(const FCPtr<U>& other);
    template <class U> static FCPtr dcast(const RefPtr<U>& other) { return dcast(FCPtr<U>(other)); }
    template <class U> static FCPtr dcast(RefPtr<U>&&) = delete;

    T* operator->() const
    {
        assert(checkAlive() && "dereferencing a handle whose container is gone");
        return m_ptr;
    }
    T& operator*() const
    {
        assert(checkAlive() && "dereferencing a handle whose container is gone");
        return *m_ptr;
    }
    explicit operator bool() const { return m_ptr != nullptr; }

    T* getCPtr() const { return m_ptr; }
    UInt32 getFieldContainerId() const { return m_id; }

    // A handle alone on the heap (an element of a QList) takes a cell of the
    // handle cells instead of a block of the general heap.
    static void* operator new(std::size_t size)
    {
        return size == detail::HandleCellSize ? detail::allocateHandleCell() : ::operator new(size);
    }
    static void operator delete(void* cell, std::size_t size) noexcept
    {
        if (size == detail::HandleCellSize)
            detail::freeHandleCell(cell);
        else
            ::operator delete(cell);
    }
    // Construction in place (containers that store handles inline) is as usual.
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}

private:
    template <class U> friend class FCPtr;

    bool checkAlive() const
    {
        return m_ptr && detail::isContainerAlive(m_id, static_cast<const FieldContainer*>(m_ptr));
    }

    T* m_ptr = nullptr;
    UInt32 m_id = 0;
};

template <class T>
template <class U>
FCPtr<T> FCPtr<T>::dcast(const FCPtr<U>& other)
{
    if (!other)
        return FCPtr();
    FieldContainer* base = other.getCPtr();
    if (!other->getType().isDerivedFrom(T::getClassType()))
        return FCPtr();
    return FCPtr(static_cast<T*>(base));
}

namespace detail {
template <class T> struct IsHandle : std::false_type {};
template <class T> struct IsHandle<FCPtr<T>> : std::true_type {};
template <class T> struct IsHandle<RefPtr<T>> : std::true_type {};
template <> struct IsHandle<NullFCType> : std::true_type {};

template <class A, class B>
using EnableHandles = std::enable_if_t<IsHandle<A>::value && IsHandle<B>::value
                                       && !(std::is_same_v<A, NullFCType> && std::is_same_v<B, NullFCType>)>;
} // namespace detail

// Any two handles (owning or not, of any types) compare by container id;
// ids are never reused, so equal ids mean the same container.
template <class A, class B, class = detail::EnableHandles<A, B>>
bool operator==(const A& a, const B& b)
{
    return a.getFieldContainerId() == b.getFieldContainerId();
}
template <class A, class B, class = detail::EnableHandles<A, B>>
bool operator!=(const A& a, const B& b)
{
    return a.getFieldContainerId() != b.getFieldContainerId();
}
// Ordered by id, that is by creation: sets and maps of handles iterate in a
// stable order from run to run.
template <class A, class B, class = detail::EnableHandles<A, B>>
bool operator<(const A& a, const B& b)
{
    return a.getFieldContainerId() < b.getFieldContainerId();
}

// Lets Qt's hash containers find a hash through argument-dependent lookup.
template <class T> inline unsigned int qHash(const FCPtr<T>& p, unsigned int seed = 0)
{
    return p.getFieldContainerId() ^ seed;
}

} // namespace osg

template <class T> struct std::hash<osg::FCPtr<T>> {
    std::size_t operator()(const osg::FCPtr<T>& p) const noexcept
    {
        return std::hash<osg::UInt32>()(p.getFieldContainerId());
    }
};
