// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <string>
#include <typeinfo>

// Readable C++ type names for messages ("ksFileIOService", not the mangled
// form).
class ksTypeName
{
public:
    static std::string of(const std::type_info& type);
};
