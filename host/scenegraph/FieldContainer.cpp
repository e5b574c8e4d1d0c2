// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FieldContainer.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ChangeObservers.h"
#include "scenegraph/FieldContainerFactory.h"

#include <cassert>

namespace osg {

const FieldContainerType& FieldContainer::getClassType()
{
    static const FieldContainerType type("FieldContainer", typeIdOf(BuiltinTypeId::FieldContainer), nullptr,
                                         nullptr, {});
    return type;
}

FieldContainer::FieldContainer()
    : m_id(FieldContainerFactory::the()->registerContainer(this))
{
}

FieldContainer::~FieldContainer()
{
    assert(m_users.empty() && "a container was destroyed while others still point to it");
}

std::vector<FieldContainerPtr> FieldContainer::getUsers() const
{
    std::vector<FieldContainerPtr> out;
    out.reserve(m_users.size());
    m_users.forEach([&](FieldContainer* u) { out.emplace_back(u); });
    return out;
}

void FieldContainer::changed(BitVector, UInt32)
{
}

void FieldContainer::onCreate()
{
}

void FieldContainer::onDestroy()
{
}

void FieldContainer::notifyPool()
{
}

void FieldContainer::addUserTo(FieldContainer* target)
{
    target->m_users.add(this);
}

void FieldContainer::removeUserFrom(FieldContainer* target)
{
    target->m_users.remove(this);
}

void FieldContainer::destroy()
{
    // Releasing a container releases what it holds; queueing instead of
    // recursing keeps the stack flat however deep the tree is. Never freed:
    // containers held by static objects may go at process exit.
    static std::vector<FieldContainer*>* pending = new std::vector<FieldContainer*>();
    static bool draining = false;

    m_refCount = DyingCount;
    pending->push_back(this);
    if (draining)
        return;
    draining = true;
    while (!pending->empty()) {
        FieldContainer* fc = pending->back();
        pending->pop_back();
        fc->onDestroy();
        FieldContainerFactory::the()->unregisterContainer(fc);
        delete fc;
    }
    draining = false;
}

void FieldContainer::publish(BitVector mask, UInt32 origin)
{
    // A hook or observer may drop the last outside hold.
    FieldContainerRefPtr hold(this);
    changed(mask, origin);
    notifyPool();
    ChangeObservers::dispatch(*this, mask, origin);
}

void addRefCP(const FieldContainerPtr& fc)
{
    if (fc)
        fc->addRefInternal();
}

void subRefCP(const FieldContainerPtr& fc)
{
    if (fc)
        fc->subRefInternal();
}

void beginEditCP(const FieldContainerPtr& fc, BitVector, UInt32)
{
    // Values change through setters; nothing needs preparing. The call is
    // kept so that every change reads as one bracketed edit, and so that
    // debug builds catch edits of containers that are gone.
    if (fc)
        (void)fc.operator->();
}

void endEditCP(const FieldContainerPtr& fc, BitVector mask, UInt32 origin)
{
    if (fc)
        fc->publish(mask, origin);
}

} // namespace osg
