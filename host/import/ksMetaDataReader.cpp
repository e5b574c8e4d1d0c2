// Licensed under the MIT licence; see LICENSE.
#include "import/ksMetaDataReader.h"

#include "scene/ksZmbReader.h"
#include "scenegraph/Node.h"

#include <utility>

ksMetaDataReadResult ksMetaDataReader::read(const std::string& path)
{
    ksZmbReadResult read = ksZmbReader::readMetadata(QString::fromStdString(path));
    return ksMetaDataReadResult{std::move(read.metadata), std::move(read.message)};
}

const std::string& ksMetaDataReadResult::getAssemblyFileReferences() const
{
    static const std::string none;
    const auto it = metadata.find(ksZmb::AssemblyFileReferencesKey);
    return it == metadata.end() ? none : it->second;
}

std::string ksMetaDataReadResult::getValue(const std::string& key) const
{
    const auto it = metadata.find(key);
    return it == metadata.end() ? std::string() : it->second;
}
