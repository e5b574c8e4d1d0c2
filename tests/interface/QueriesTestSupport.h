// Licensed under the MIT licence; see LICENSE.
// Small scene builders for the interface's queries, updates and paired
// detach/restore operations.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "kernel/ksInterfaceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"

#include <string>
#include <vector>

namespace queries {

// A reference core of a type derived from ExtReference, as a host
// extension would define one.
class DerivedReference : public osg::ExtReference
{
public:
    static const osg::FieldContainerType& getClassType()
    {
        static const osg::FieldContainerType type("QueriesDerivedReference", 9102, &osg::ExtReference::getClassType(),
                                                  [] { return osg::FieldContainerRefPtr(create()); },
                                                  osg::FieldContainerType::makeFields());
        return type;
    }
    const osg::FieldContainerType& getType() const override { return getClassType(); }
    static osg::RefPtr<DerivedReference> create() { return createContainer<DerivedReference>(); }

protected:
    DerivedReference() = default;
    ~DerivedReference() override = default;

private:
    friend class osg::FieldContainer;
};

inline ksReferenceInterface* referenceInterface()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

// A node with `core`, named `name`, appended to `parent` when one is given.
inline osg::NodeRefPtr addNode(const osg::NodePtr& parent, const std::string& name, osg::NodeCoreRefPtr core)
{
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(std::move(core));
    ksNodeUtils::setName(node.get(), name, false);
    if (parent)
        parent->addChild(node);
    return node;
}

inline osg::NodeRefPtr addGroup(const osg::NodePtr& parent, const std::string& name)
{
    return addNode(parent, name, osg::Group::create());
}

inline osg::FileReferenceRefPtr makeRecord(const std::string& path,
                                           osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr record = osg::FileReference::create();
    record->setPath(path);
    record->setState(state);
    return record;
}

// A reference core with a smart record, a source record, or both (an empty
// path leaves that record out).
inline osg::ExtReferenceRefPtr makeReferenceCore(const std::string& smartPath, const std::string& sourcePath = {},
                                                 osg::UInt32 smartState = ksReferenceTypes::UpToDate)
{
    osg::ExtReferenceRefPtr core = osg::ExtReference::create();
    if (!smartPath.empty() || smartState == ksReferenceTypes::NoPath)
        core->setSmartFile(makeRecord(smartPath, smartState));
    if (!sourcePath.empty())
        core->setSourceFile(makeRecord(sourcePath));
    return core;
}

inline std::vector<std::string> namesOf(const std::vector<osg::NodePtr>& nodes)
{
    std::vector<std::string> names;
    for (const osg::NodePtr& node : nodes)
        names.push_back(node ? ksNodeUtils::getName(node) : std::string("<null>"));
    return names;
}

inline std::vector<std::string> childNames(const osg::NodePtr& node)
{
    std::vector<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

} // namespace queries
