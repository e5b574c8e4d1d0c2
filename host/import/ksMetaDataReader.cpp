// Licensed under the MIT licence; see LICENSE.
#include "import/ksMetaDataReader.h"

#include "scene/ksZmbReader.h"
#include "scenegraph/Node.h"

#include <utility>

bool ksMetaDataReader::read(const std::string& path)
{
    ksZmbReadResult result = ksZmbReader::readMetadata(QString::fromStdString(path));
    m_metadata = std::move(result.metadata);
    m_error = std::move(result.message);
    return m_error.empty();
}

const std::string& ksMetaDataReader::getAssemblyFileReferences() const
{
    static const std::string none;
    const auto it = m_metadata.find(ksZmb::AssemblyFileReferencesKey);
    return it == m_metadata.end() ? none : it->second;
}

std::string ksMetaDataReader::getValue(const std::string& key) const
{
    const auto it = m_metadata.find(key);
    return it == m_metadata.end() ? std::string() : it->second;
}
