// Licensed under the MIT licence; see LICENSE.
// The plug-in's start: it has no entry function. Its static objects, built
// in this order when the library loads, hand the kernel two registration
// functions and put the reference interface in place; they go in reverse
// order when the library unloads. The order matters: the node handle types
// exist before the service, whose start-up connections convert nodes to
// handles.
#include "interface/ksReferenceInterfaceImpl.h"
#include "handles/ksdObjectManager.h"
#include "kernel/ksKernelRegister.h"
#include "kernel/ksKernelServiceFactory.h"
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

ksKernelRegister g_nodeRegistration(&registerNodeImplementation);
ksReferenceInterfaceImpl g_referenceInterface;
ksKernelRegister g_serviceRegistration(&registerService);

} // namespace
