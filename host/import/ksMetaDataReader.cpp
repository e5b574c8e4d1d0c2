// Licensed under the MIT licence; see LICENSE.
#include "import/ksMetaDataReader.h"

#include "scene/ksZmbReader.h"

bool ksMetaDataReader::read(const std::string& path)
{
    m_metadata.clear();
    ksZmbReader reader;
    if (!reader.readMetadataFile(QString::fromStdString(path))) {
        m_error = reader.getError();
        return false;
    }
    m_error.clear();
    m_metadata = reader.getMetadata();
    return true;
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
