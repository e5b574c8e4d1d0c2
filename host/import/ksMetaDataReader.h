// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksZmbFormat.h"

#include <string>

// Reads the metadata of a ".zmb" file without loading its scene: only the
// header, the section table and the metadata section are read and verified.
class ksMetaDataReader
{
public:
    // False (with the reason in getError) for a missing, foreign or damaged
    // file; the previous values are cleared either way.
    bool read(const std::string& path);

    // The files the saved tree's reference nodes point to, one path per
    // line; empty when the file lists none.
    const std::string& getAssemblyFileReferences() const;
    // A value of the metadata, empty when absent.
    std::string getValue(const std::string& key) const;
    const ksZmbMetadata& getMetadata() const { return m_metadata; }
    const std::string& getError() const { return m_error; }

private:
    ksZmbMetadata m_metadata;
    std::string m_error;
};
