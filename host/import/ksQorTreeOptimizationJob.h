// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "import/ksAbstractProcessingJob.h"
#include "scenegraph/HandleTypes.h"

#include <string>

// Tidies a tree that the CAD converter made, before it goes into the scene:
//   1. plain group nodes (exact Group core) with no children and no
//      attachments but a name are removed, innermost first;
//   2. an unnamed plain group node with one child and no attachments is
//      replaced by that child;
//   3. geometries with equal data and material become one shared core
//      (clones), also with equal geometries already in the live scene
//      under `sceneRoot` (when given), so that repeated parts cost memory
//      once.
// The root itself is never removed or replaced. Finally the converter's
// mark is cleared (ksQorHelper).
class ksQorTreeOptimizationJob : public ksAbstractProcessingJob
{
public:
    ksQorTreeOptimizationJob(const std::string& path, const osg::NodePtr& root, const osg::NodePtr& sceneRoot);
    ~ksQorTreeOptimizationJob() override;

    std::size_t getRemovedNodes() const { return m_removedNodes; }
    std::size_t getSharedGeometries() const { return m_sharedGeometries; }

protected:
    bool process() override;

private:
    void removeEmptyGroups();
    void collapseSingleChildGroups();
    void shareGeometries();

    std::string m_path;
    osg::NodeRefPtr m_root;
    osg::NodePtr m_sceneRoot;
    std::size_t m_removedNodes = 0;
    std::size_t m_sharedGeometries = 0;
};
