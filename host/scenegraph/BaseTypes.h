// Licensed under the MIT licence; see LICENSE.
// The scene graph's basic value types, named as the host's code names them.
#pragma once

#include <cstdint>

namespace osg {

using UInt8 = std::uint8_t;
using UInt16 = std::uint16_t;
using UInt32 = std::uint32_t;
using UInt64 = std::uint64_t;
using Int32 = std::int32_t;
using Int64 = std::int64_t;
using Real32 = float;
using Char8 = char;

// One bit per field of a container; a mask of all ones means every field.
using BitVector = UInt64;

struct FieldBits {
    static constexpr BitVector NoField = 0;
    static constexpr BitVector AllFields = ~BitVector(0);
};

constexpr BitVector fieldMask(UInt32 fieldId)
{
    return BitVector(1) << fieldId;
}

} // namespace osg
