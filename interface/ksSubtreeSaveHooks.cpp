// Licensed under the MIT licence; see LICENSE.
// Makes every subtree the host writes as a smart reference file hold only
// its own content: the content of smart references nested inside is saved
// in their own files, so it is moved aside for the write and put back after.
#include "kernel/ksInterfaceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"

namespace {

// Looked up at each write, so that whichever reference interface answers at
// that moment does the work, and a write with none registered is plain.
ksReferenceInterface* currentInterface()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

// Installed while the module's code is loaded: the hooks run code of this
// library, so they must not outlive it.
struct SubtreeSaveHooks
{
    SubtreeSaveHooks()
    {
        ksFileIO::setSubtreeSaveHooks(
            [](const osg::NodePtr& node) {
                if (ksReferenceInterface* iface = currentInterface())
                    iface->detachSubReferences(node);
            },
            [](const osg::NodePtr& node) {
                if (ksReferenceInterface* iface = currentInterface())
                    iface->attachSubReferences(node);
            });
    }
    ~SubtreeSaveHooks() { ksFileIO::setSubtreeSaveHooks(nullptr, nullptr); }
};

SubtreeSaveHooks g_subtreeSaveHooks;

} // namespace
