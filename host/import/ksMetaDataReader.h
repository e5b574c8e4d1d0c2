// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksZmbFormat.h"

#include <string>

// What a read of a ".zmb" file's metadata gives: the values, or none of them
// and why.
struct ksMetaDataReadResult {
    ksZmbMetadata metadata;
    // Empty when the read succeeded.
    std::string message;

    explicit operator bool() const { return message.empty(); }
    // The files the saved tree's reference nodes point to, one path per
    // line; empty when the file lists none.
    const std::string& getAssemblyFileReferences() const;
    // A value of the metadata, empty when absent.
    std::string getValue(const std::string& key) const;
};

// Reads the metadata of a ".zmb" file without loading its scene: only the
// header, the section table and the metadata section are read and verified.
class ksMetaDataReader
{
public:
    // Fails for a missing, foreign or damaged file.
    static ksMetaDataReadResult read(const std::string& path);
};
