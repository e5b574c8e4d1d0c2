// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceImportOptions.h"
#include "scenegraph/HandleTypes.h"
#include "scenegraph/Action.h"

#include <string>

// Makes the references of a subtree that just came into the scene usable, in
// one pre-order traversal: resolves their smart paths against the file the
// subtree came from, refreshes their file states, decides their load state
// and, on request, loads their smart content. Lives on the stack for one run
// and holds the root meanwhile. Main thread only.
class ksReferenceImporter
{
public:
    ksReferenceImporter(const osg::NodePtr& root, const ksReferenceImportOptions& options);
    virtual ~ksReferenceImporter();

    ksReferenceImporter(const ksReferenceImporter&) = delete;
    ksReferenceImporter& operator=(const ksReferenceImporter&) = delete;

    void run();

private:
    osg::Action::ResultE visit(const osg::NodePtr& node);
    // With import behaviour "embed content" the content stays and only the
    // link to the smart file goes; not undoable.
    static void dropSmartRecord(const osg::NodePtr& node);

    osg::NodeRefPtr m_root;
    ksReferenceImportOptions m_options;
    std::string m_fileName;
    int m_smartReferenceBehavior = 0;
};
