// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <cstddef>
#include <string>

// Reads the plainest OBJ files without Assimp: positions ("v x y z"),
// triangles of plain vertex indices ("f 1 2 3", or counted from the end with
// negative numbers), objects ("o name", each name once) and smoothing groups
// and comments, which change nothing drawn. That is what most exporters of
// single parts write, and Assimp's OBJ reader spends a millisecond on any
// file, however small, clearing a 16 MiB line buffer twice: half the time of
// importing a small part.
//
// The tree is the one ksMeshImporter builds from Assimp's reading of the
// same file, node for node and vertex for vertex (tested so): a node named
// after the file, below it one node per object in the file's order (faces
// before the first "o" belong to "defaultobject"), and below each object
// with faces one Geometry named like it, one vertex per face corner.
//
// Anything else (normals, texture coordinates, groups, materials, polygons,
// lines, odd numbers, an index out of range, a file without faces) gives
// NullFC, and the caller hands the file to Assimp, which reads it whole or
// says what is wrong with it.
class ksObjTriangleReader
{
public:
    // The file's node as described, or NullFC. `fileName` is the file's name
    // without its folder.
    static osg::NodeRefPtr read(const char* data, std::size_t size, const std::string& fileName);
};
