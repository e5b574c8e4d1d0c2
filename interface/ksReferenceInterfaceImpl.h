// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "model/ksReferenceNode.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/FCPtr.h"

#include <map>

// The reference module's interface object: the one way other host modules
// (and the module's own parts) ask about references. Exactly one exists, a
// static object of the plug-in; it is found through ksInterfaceFactory.
//
// Its own answers are the lookups: which ExtReference core a node carries,
// a core by id, and whether two paths or two smart references name the same
// file. A reference node is a node whose core is an ExtReference or of a type
// derived from it.
class ksReferenceInterfaceImpl : public ksReferenceInterface
{
public:
    ksReferenceInterfaceImpl();
    ~ksReferenceInterfaceImpl();

    void detachSubReferences(const osg::NodePtr& node) override;
    void attachSubReferences(const osg::NodePtr& node) override;
    bool saveSmartReferences(const osg::NodePtr& node, const char* projectPath) override;
    void importReferences(const osg::NodePtr& root, const ksReferenceImportOptions& options) override;
    void collectSmartFiles(const osg::NodePtr& node, std::set<osg::FileReferencePtr>& out) override;
    void updateReferences(const osg::NodePtr& node, unsigned int flags, bool onlyThisNode) override;
    osg::NodeRefPtr createImportedSourceReference(std::string path, osg::NodePtr node) override;
    void resetChanged(const osg::NodePtr& node) override;
    bool isChanged(const osg::NodePtr& node) override;
    int getMissingSmartReferencesCount(const osg::NodePtr& node) override;
    void syncReferenceClones(const std::vector<osg::NodePtr>& nodes) override;
    int getChangedSmartReferencesCount() override;
    ksReferenceTypes::LoadMode getLoadMode() override;
    void showMissingReferencesNotification() override;
    void showUpdatesAvailableNotification() override;
    osg::ExtReferencePtr getExtReference(const osg::NodePtr& node) override;
    osg::ExtReferencePtr getExtReferenceById(osg::UInt32 coreId) override;
    std::string getReferenceStatusText(const osg::NodePtr& node) override;
    void replaceFileInfosWithReferences(const osg::NodePtr& root) override;
    // The two paths (UTF-8) are the same absolute path, compared exactly
    // (letter case counts); neither file needs to exist.
    bool isSamePath(const std::string& a, const std::string& b) override;
    // Both cores are the same, or both have smart records with paths that
    // isSamePath takes for the same file (a record without path, NoPath,
    // never matches another).
    bool isSameSmartReference(const osg::ExtReferencePtr& a, const osg::ExtReferencePtr& b) override;
    std::vector<osg::NodePtr> findExtReferences(const osg::NodePtr& node, unsigned int flags) const override;
    std::vector<osg::NodePtr> findParentExtReferences(const osg::NodePtr& node, unsigned int flags) override;
    bool isExtReference(const osg::NodePtr& node) override;
    void detachSmartFiles() override;
    void restoreSmartFiles() override;

private:
    // Ordered by the container's address, as the stash is walked in that
    // order when records are put back.
    struct ByAddress
    {
        bool operator()(const osg::ExtReferencePtr& a, const osg::ExtReferencePtr& b) const
        {
            return a.getCPtr() < b.getCPtr();
        }
    };

    std::map<osg::UInt32, ksReferenceNode::DetachedList> m_detachedSubReferences;
    std::map<osg::ExtReferencePtr, osg::FileReferenceRefPtr, ByAddress> m_stashedSmartFiles;
};
