// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksDefaultEnvironment.h"

#include "scenegraph/Name.h"
#include "scenegraph/UBRDFMaterial.h"
#include "scenegraph/UEnvironmentMaterial.h"

using namespace osg;

UEnvironmentMaterialPtr ksDefaultEnvironment::getDefault()
{
    // Held for the life of the process: the scene graph's default slot does
    // not own it, and materials may be edited from exit-time code.
    static UEnvironmentMaterialRefPtr* holder = nullptr;
    if (!holder) {
        holder = new UEnvironmentMaterialRefPtr(UEnvironmentMaterial::create());
        setName(holder->get(), "DefaultEnvironment");
        (*holder)->setExposure(1.0f);
    }
    // Registered on every call: a host that cleared the slot gets it back.
    if (UBRDFMaterial::getDefaultEnvironment() != holder->get())
        UBRDFMaterial::setDefaultEnvironment(holder->get());
    return holder->get();
}
