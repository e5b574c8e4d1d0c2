// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <QString>
#include <QStringList>

#include <functional>

// Reads mesh and CAD exchange files (OBJ, STL, PLY, glTF, FBX, 3DS, DAE and
// whatever else Assimp reads) into a detached scene-graph tree:
//
//   ExtReference (Transform3D, identity)
//     <file's root node> (Transform3D, the file's transform)
//       <child node> (Transform3D) ...
//       <mesh> (Geometry)      one node per mesh use; a mesh used by two
//                              nodes shares one Geometry core
//
// Faces are triangulated; nothing else is changed, in particular identical
// vertices are not joined, so every Geometry has exactly the vertices of its
// mesh in the file. Points and lines beside faces keep their vertices but
// give no triangles; a mesh without any face (a point cloud) is refused by
// Assimp's validation. Normals are taken when the file has them, never
// generated.
class ksMeshImporter
{
public:
    // The name the root of every imported tree has, so that the reference
    // module turns the root itself into the source reference.
    static const char* rootName();

    // Whether a reader exists for the file's suffix (any letter case).
    static bool canImport(const QString& path);
    // Every suffix a reader exists for, lower case, without dots.
    static QStringList supportedSuffixes();

    // Told how much of one file's read is done (0 to 1), only ever more,
    // from Assimp's progress; 1 once the tree is built.
    using Progress = std::function<void(double fraction)>;

    // The root of the read tree, or NullFC and `error` set to
    // "<path>: <reason>". Never throws. The plainest OBJ files are read
    // without Assimp (ksObjTriangleReader), into the same tree.
    static osg::NodeRefPtr read(const QString& path, QString* error = nullptr, const Progress& progress = {});
    // The same with every file read by Assimp: what the own OBJ reader is
    // compared with.
    static osg::NodeRefPtr readThroughAssimp(const QString& path, QString* error = nullptr,
                                             const Progress& progress = {});

private:
    static osg::NodeRefPtr read(const QString& path, QString* error, const Progress& progress, bool ownReaders);
};
