// Licensed under the MIT licence; see LICENSE.
// The layout of ".zmb" project files, the host's native format:
//
//   header   magic 0x89 'Z' 'M' 'B' '\r' '\n' 0x1A '\n', major u16, minor u16,
//            section count u32, header checksum u64
//   table    per section: id u32, flags u32, stored size u64, raw size u64,
//            checksum u64
//   payloads the sections' stored bytes, in table order, up to the end of the file
//
// All numbers little-endian. The header checksum is XXH3-64 of the first 16
// header bytes followed by the table; a section's checksum is XXH3-64 of its
// stored bytes. Flag bit 0: the stored bytes are one zstd frame that unpacks
// to `raw size` bytes; without it stored and raw sizes are equal. Unknown
// flag bits are an error; unknown section ids are skipped, so a newer minor
// version may add sections.
//
// Sections (each at most once):
//   "SCEN" (required) one scene block (SceneBlockFormat.h) with one root node
//   "META" metadata: count u32, then per entry key and value, each a u32
//          length and UTF-8 bytes, keys ascending and distinct
//   "STSH" stash: count u32, then per entry name (u32 length, bytes) and
//          data (u64 length, bytes), names ascending and distinct
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

using ksZmbMetadata = std::map<std::string, std::string>;

namespace ksZmb {

inline constexpr unsigned char Magic[8] = {0x89, 'Z', 'M', 'B', '\r', '\n', 0x1A, '\n'};
inline constexpr std::uint16_t MajorVersion = 1;
inline constexpr std::uint16_t MinorVersion = 0;
inline constexpr std::size_t HeaderSize = 8 + 2 + 2 + 4 + 8;
inline constexpr std::size_t ChecksummedHeaderBytes = 16;
inline constexpr std::size_t SectionEntrySize = 4 + 4 + 8 + 8 + 8;

constexpr std::uint32_t sectionId(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) | std::uint32_t(std::uint8_t(name[1])) << 8
           | std::uint32_t(std::uint8_t(name[2])) << 16 | std::uint32_t(std::uint8_t(name[3])) << 24;
}
inline constexpr std::uint32_t SceneSection = sectionId("SCEN");
inline constexpr std::uint32_t MetadataSection = sectionId("META");
inline constexpr std::uint32_t StashSection = sectionId("STSH");

inline constexpr std::uint32_t FlagZstd = 0x1;
inline constexpr std::uint32_t KnownFlags = FlagZstd;

// Caps a reader checks before it allocates.
inline constexpr std::uint32_t MaxSections = 64;
inline constexpr std::uint64_t MaxRawSectionSize = std::uint64_t(1) << 36;
inline constexpr std::uint32_t MaxEntries = 1u << 16;
inline constexpr std::uint32_t MaxNameLength = 4096;

// Sections at least this large are compressed, unless a sample of their
// first bytes shows that compression would not gain a tenth.
inline constexpr std::size_t CompressThreshold = 64 * 1024;

// The metadata key of the assembly file references: the files the saved
// tree's reference nodes point to, one UTF-8 path per line.
inline constexpr const char* AssemblyFileReferencesKey = "AssemblyFileReferences";

} // namespace ksZmb
