// Licensed under the MIT licence; see LICENSE.
#include "io/ksSmartFile.h"

// PLACEHOLDER: see the header.

ksSmartFile::ksSmartFile(const osg::ExtReferencePtr& core)
    : m_core(core)
{
}

ksSmartFile::~ksSmartFile() = default;

bool ksSmartFile::load()
{
    return false;
}

bool ksSmartFile::unload()
{
    return false;
}

bool ksSmartFile::save()
{
    return false;
}

bool ksSmartFile::saveAs(const QString&)
{
    return false;
}

bool ksSmartFile::isLoaded() const
{
    return false;
}

osg::NodePtr ksSmartFile::getNode() const
{
    return osg::NullFC;
}

osg::ExtReferencePtr ksSmartFile::getExtReference() const
{
    return m_core;
}

QString ksSmartFile::getPath() const
{
    return QString();
}
