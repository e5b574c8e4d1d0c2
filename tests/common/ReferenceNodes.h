// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceTypes.h"

#include <string>
#include <vector>

// Small builders and lookups for trees of reference nodes.
namespace referencenodes {

// One published edit of `fc`, as host code makes them.
template <class F> void edit(const osg::FieldContainerPtr& fc, osg::BitVector mask, F change)
{
    osg::beginEditCP(fc, mask);
    change();
    osg::endEditCP(fc, mask);
}

inline void addChild(const osg::NodePtr& parent, const osg::NodeRefPtr& child)
{
    edit(parent, osg::Node::ChildrenFieldMask, [&] { parent->addChild(child); });
}

inline osg::FileReferenceRefPtr record(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr file = osg::FileReference::create();
    file->setPath(path);
    file->setState(state);
    return file;
}

// A node named `name` (unnamed when empty) with `core` (a group when none),
// the last child of `parent` when there is one.
inline osg::NodeRefPtr add(const osg::NodePtr& parent, const std::string& name,
                           osg::NodeCoreRefPtr core = osg::NodeCoreRefPtr())
{
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(core ? std::move(core) : osg::NodeCoreRefPtr(osg::Group::create()));
    if (!name.empty())
        ksNodeUtils::setName(node.get(), name, false);
    if (parent)
        addChild(parent, node);
    return node;
}

// A reference node whose core gets its records (an empty path gives none)
// and state in one edit, as a new reference is set up.
inline osg::NodeRefPtr reference(const std::string& name, const std::string& smartPath,
                                 const std::string& sourcePath = std::string(),
                                 osg::UInt32 state = ksReferenceTypes::Loaded)
{
    osg::ExtReferenceRefPtr core = osg::ExtReference::create();
    edit(core.get(), osg::FieldBits::AllFields, [&] {
        if (!smartPath.empty())
            core->setSmartFile(record(smartPath));
        if (!sourcePath.empty())
            core->setSourceFile(record(sourcePath));
        core->setState(state);
    });
    return add(osg::NullFC, name, core);
}

inline osg::ExtReferencePtr coreOf(const osg::NodePtr& node)
{
    return osg::ExtReferencePtr::dcast(node->getCore());
}

inline std::vector<std::string> childNames(const osg::NodePtr& node)
{
    std::vector<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

// A subtree as one line: names, "[smart|source]" record paths of reference
// cores ("-" without a record), children in parentheses.
inline std::string dump(const osg::NodePtr& node)
{
    std::string text = ksNodeUtils::getName(node);
    if (const osg::ExtReferencePtr core = coreOf(node)) {
        const auto path = [](const osg::FileReferencePtr& r) { return r ? "'" + r->getPath() + "'" : std::string("-"); };
        text += "[" + path(core->getSmartFile()) + "|" + path(core->getSourceFile()) + "]";
    }
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        text += (i ? ", " : "(") + dump(node->getChild(i)) + (i + 1 == node->getNChildren() ? ")" : "");
    return text;
}

} // namespace referencenodes
