// Licensed under the MIT licence; see LICENSE.
#pragma once

// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "handles/ksdReferenceNode.h"

// A handle implementation that answers the file states straight from the
// node's records, registered after the module's own so that the service's
// notification decision can be followed whatever the module's handle does.
class UpdateMonitorRecordStates : public ksdReferenceNode
{
    Q_OBJECT

public:
    ksReferenceTypes::FileState getSmartFileState() const override { return stateOf(true); }
    ksReferenceTypes::FileState getSourceFileState() const override { return stateOf(false); }

private:
    ksReferenceTypes::FileState stateOf(bool smart) const
    {
        const osg::NodePtr node = osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(getObjectId()));
        const osg::ExtReferencePtr core = node ? osg::ExtReferencePtr::dcast(node->getCore()) : osg::NullFC;
        if (!core)
            return ksReferenceTypes::NoReference;
        const osg::FileReferencePtr record = smart ? core->getSmartFile() : core->getSourceFile();
        return record ? ksReferenceTypes::FileState(record->getState()) : ksReferenceTypes::NoReference;
    }
};
