// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <QObject>
#include <QString>

// PLACEHOLDER: stands in for the smart file object until the real one (which
// loads, unloads and saves the content of a smart reference) replaces these
// two files. Same interface; every operation fails and gives null handles.
class ksSmartFile : public QObject
{
    Q_OBJECT

public:
    // Marks this stand-in, so that tests needing real loading can tell.
    static constexpr bool isPlaceholder = true;

    explicit ksSmartFile(const osg::ExtReferencePtr& core);
    ~ksSmartFile() override;

    bool load();
    bool unload();
    bool save();
    bool saveAs(const QString& path);
    bool isLoaded() const;
    osg::NodePtr getNode() const;
    osg::ExtReferencePtr getExtReference() const;
    QString getPath() const;

private:
    osg::ExtReferencePtr m_core;
};
