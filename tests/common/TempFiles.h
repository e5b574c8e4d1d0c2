// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ReferenceNodes.h"

#include "scenegraph/SceneFileHandler.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/time.h>

// Files in a fresh temporary directory, removed with it.
class TempFiles
{
public:
    std::string path(const QString& name) const { return m_dir.filePath(name).toStdString(); }

    std::string write(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path(name);
    }

    // An ".osb" file whose root, named "Root", has groups named `children`;
    // loaded as a smart file, it gives those groups to the reference node.
    std::string writeScene(const QString& name, const QStringList& children)
    {
        const osg::NodeRefPtr root = referencenodes::add(osg::NullFC, "Root");
        for (const QString& child : children)
            referencenodes::add(root.get(), child.toStdString());
        EXPECT_TRUE(osg::SceneFileHandler::the().write(root.get(), path(name)));
        return path(name);
    }

    static void setModificationTime(const std::string& path, qint64 seconds)
    {
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
    }

private:
    QTemporaryDir m_dir;
};
