// Licensed under the MIT licence; see LICENSE.
// The layout of a scene block: the containers of one or more subtrees, as
// the ".osb" file and the host's project file both embed it.
//
//   magic "OSGS", major u16, minor u16, body length u64 (bytes that follow)
//   string count u32, then per string: length u32, bytes     (type and field names)
//   record count u32, then per record:
//       type name u32 (string index), field count u32, then per field:
//           field name u32 (string index), payload length u64, payload
//   root count u32, then the roots' record numbers u32
//
// All numbers little-endian. Records are numbered from 1 in file order; a
// reference is a record number, 0 for none. Payloads: values as FieldCodec
// lays them out; Reference: one u32; ReferenceList: (key u32, record u32)
// pairs; Children: u32 record numbers. Records come in pre-order of the
// owning edges from the roots, so a container shared by several owners is
// written once and read back shared.
#pragma once

#include "scenegraph/BaseTypes.h"

namespace osg {
namespace sceneblock {

inline constexpr char Magic[4] = {'O', 'S', 'G', 'S'};
inline constexpr UInt16 MajorVersion = 1;
inline constexpr UInt16 MinorVersion = 0;
inline constexpr std::size_t HeaderSize = 4 + 2 + 2 + 8;

} // namespace sceneblock
} // namespace osg
