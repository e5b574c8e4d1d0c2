// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FCPtr.h"

#include <utility>

namespace osg {

// An owning handle: holds one count of its container's intrusive reference
// count. Fresh containers come as a RefPtr, and stored edges (children, cores,
// records, materials, attachments) are RefPtrs.
template <class T> class RefPtr {
public:
    using ObjectType = T;

    constexpr RefPtr() = default;
    constexpr RefPtr(NullFCType) {}
    explicit RefPtr(T* p) : m_ptr(p) { acquire(); }

    // Taking a share of a container a plain handle points to is always safe.
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(const FCPtr<U>& p) : m_ptr(p.getCPtr())
    {
        assert((!p || detail::isContainerAlive(p.getFieldContainerId(), static_cast<const FieldContainer*>(p.getCPtr())))
               && "taking a share of a container that is gone");
        acquire();
    }

    RefPtr(const RefPtr& o) : m_ptr(o.m_ptr) { acquire(); }
    RefPtr(RefPtr&& o) noexcept : m_ptr(o.m_ptr) { o.m_ptr = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(const RefPtr<U>& o) : m_ptr(o.m_ptr) { acquire(); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(RefPtr<U>&& o) noexcept : m_ptr(o.m_ptr) { o.m_ptr = nullptr; }

    ~RefPtr() { release(); }

    RefPtr& operator=(RefPtr o) noexcept
    {
        std::swap(m_ptr, o.m_ptr);
        return *this;
    }
    RefPtr& operator=(NullFCType)
    {
        reset();
        return *this;
    }

    void reset()
    {
        T* p = m_ptr;
        m_ptr = nullptr;
        if (p)
            p->subRefInternal();
    }

    template <class U> static RefPtr dcast(const FCPtr<U>& other) { return RefPtr(FCPtr<T>::dcast(other)); }
    template <class U> static RefPtr dcast(const RefPtr<U>& other) { return RefPtr(FCPtr<T>::dcast(other)); }
    template <class U> static RefPtr dcast(RefPtr<U>&& other)
    {
        RefPtr r(FCPtr<T>::dcast(other));
        other.reset();
        return r;
    }

    T* operator->() const { return m_ptr; }
    T& operator*() const { return *m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // The non-owning handle; not offered on a temporary, which would dangle.
    FCPtr<T> get() const& { return FCPtr<T>(m_ptr); }
    FCPtr<T> get() && = delete;

    T* getCPtr() const { return m_ptr; }
    UInt32 getFieldContainerId() const
    {
        return m_ptr ? m_ptr->getId() : 0;
    }

private:
    template <class U> friend class RefPtr;

    void acquire()
    {
        if (m_ptr)
            m_ptr->addRefInternal();
    }
    void release()
    {
        if (m_ptr)
            m_ptr->subRefInternal();
    }

    T* m_ptr = nullptr;
};

template <class T> inline unsigned int qHash(const RefPtr<T>& p, unsigned int seed = 0)
{
    return p.getFieldContainerId() ^ seed;
}

} // namespace osg

template <class T> struct std::hash<osg::RefPtr<T>> {
    std::size_t operator()(const osg::RefPtr<T>& p) const noexcept
    {
        return std::hash<osg::UInt32>()(p.getFieldContainerId());
    }
};
