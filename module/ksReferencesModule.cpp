// Licensed under the MIT licence; see LICENSE.
// The plug-in's start: it has no entry function. Its static objects, built
// in this order when the library loads, hand the kernel two registration
// functions, put the reference interface in place and install the subtree
// save hooks; they go in reverse order when the library unloads. The order
// matters: the node handle types exist before the service, whose start-up
// connections convert nodes to handles.
#include "interface/ksReferenceInterfaceImpl.h"
#include "handles/ksdObjectManager.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelRegister.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceInterface.h"
#include "scene/ksFileIO.h"
#include "scenegraph/ExtReference.h"
#include "service/ksReferenceServiceImpl.h"
#include "service/ksdReferenceNodeImpl.h"

#include <memory>

namespace {

// The prototype serves every ksdReferenceNode handle; ExtReference cores get
// ksdReferenceNode handles.
void registerNodeImplementation()
{
    ksdObjectManager& manager = ksdObjectManager::instance();
    manager.registerImplementation(std::make_shared<ksdReferenceNodeImpl>());
    manager.registerToPtr<ksdReferenceNode>(osg::ExtReference::getClassTypeId());
}

// The factory owns the service from here on and destroys it at shutdown.
void registerService()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    auto* service = new ksReferenceServiceImpl;
    factory.setEntry<ksReferenceService>(service);
    factory.registerType(service);
}

// Every subtree the host writes as a smart reference file holds only its own
// content: the content of smart references nested inside is saved in their
// own files, so it is moved aside for the write and put back after. The
// interface is looked up at each write, so that whichever one answers at that
// moment does the work, and a write with none registered is plain. Installed
// while the library is loaded: the hooks run its code.
struct SubtreeSaveHooks
{
    static ksReferenceInterface* currentInterface() { return ksInterfaceFactory::the().get<ksReferenceInterface>(); }

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

ksKernelRegister g_nodeRegistration(&registerNodeImplementation);
ksReferenceInterfaceImpl g_referenceInterface;
ksKernelRegister g_serviceRegistration(&registerService);
SubtreeSaveHooks g_subtreeSaveHooks;

} // namespace
