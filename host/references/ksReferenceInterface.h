// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksInterface.h"
#include "references/ksReferenceImportOptions.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/BaseTypes.h"
#include "scenegraph/HandleTypes.h"

#include <set>
#include <string>
#include <vector>

// The reference module's interface to the other host modules, found with
// ksInterfaceFactory::the().get<ksReferenceInterface>(). Callers reach the
// operations by their place in the virtual table, so their order is fixed.
// Like every interface object, the implementation is a static object of its
// library and is never deleted through this class: no virtual destructor.
class ksReferenceInterface : public ksInterface<ksReferenceInterface>
{
public:
    virtual void detachSubReferences(const osg::NodePtr& node) = 0;
    virtual void attachSubReferences(const osg::NodePtr& node) = 0;
    virtual bool saveSmartReferences(const osg::NodePtr& node, const char* projectPath) = 0;
    virtual void importReferences(const osg::NodePtr& root, const ksReferenceImportOptions& options) = 0;
    virtual void collectSmartFiles(const osg::NodePtr& node, std::set<osg::FileReferencePtr>& out) = 0;
    virtual void updateReferences(const osg::NodePtr& node, unsigned int flags, bool onlyThisNode) = 0;
    // The result owns the node it names: a node made by the call has no
    // other owner until the caller puts it into the scene.
    virtual osg::NodeRefPtr createImportedSourceReference(std::string path, osg::NodePtr node) = 0;
    virtual void resetChanged(const osg::NodePtr& node) = 0;
    virtual bool isChanged(const osg::NodePtr& node) = 0;
    virtual int getMissingSmartReferencesCount(const osg::NodePtr& node) = 0;
    virtual void syncReferenceClones(const std::vector<osg::NodePtr>& nodes) = 0;
    virtual int getChangedSmartReferencesCount() = 0;
    virtual ksReferenceTypes::LoadMode getLoadMode() = 0;
    virtual void showMissingReferencesNotification() = 0;
    virtual void showUpdatesAvailableNotification() = 0;
    virtual osg::ExtReferencePtr getExtReference(const osg::NodePtr& node) = 0;
    virtual osg::ExtReferencePtr getExtReferenceById(osg::UInt32 coreId) = 0;
    virtual std::string getReferenceStatusText(const osg::NodePtr& node) = 0;
    virtual void replaceFileInfosWithReferences(const osg::NodePtr& root) = 0;
    virtual bool isSamePath(const std::string& a, const std::string& b) = 0;
    virtual bool isSameSmartReference(const osg::ExtReferencePtr& a, const osg::ExtReferencePtr& b) = 0;
    virtual std::vector<osg::NodePtr> findExtReferences(const osg::NodePtr& node, unsigned int flags) const = 0;
    virtual std::vector<osg::NodePtr> findParentExtReferences(const osg::NodePtr& node, unsigned int flags) = 0;
    virtual bool isExtReference(const osg::NodePtr& node) = 0;
    virtual void detachSmartFiles() = 0;
    virtual void restoreSmartFiles() = 0;

protected:
    ksReferenceInterface() = default;
    ~ksReferenceInterface() = default;
};
