// Licensed under the MIT licence; see LICENSE.
// Handle names of every container type: XPtr does not own, XRefPtr owns.
#pragma once

#include "scenegraph/RefPtr.h"

namespace osg {

class FieldContainer;
class AttachmentContainer;
class Attachment;
class Name;
class FileInfo;
class Node;
class NodeCore;
class Group;
class Transform;
class Transform3D;
class ExtReference;
class MaterialGroup;
class UberCamera;
class Geometry;
class FileReference;
class Material;
class UBRDFMaterial;
class UEnvironmentMaterial;

using FieldContainerPtr = FCPtr<FieldContainer>;
using FieldContainerRefPtr = RefPtr<FieldContainer>;
using AttachmentContainerPtr = FCPtr<AttachmentContainer>;
using AttachmentContainerRefPtr = RefPtr<AttachmentContainer>;
using AttachmentPtr = FCPtr<Attachment>;
using AttachmentRefPtr = RefPtr<Attachment>;
using NamePtr = FCPtr<Name>;
using NameRefPtr = RefPtr<Name>;
using FileInfoPtr = FCPtr<FileInfo>;
using FileInfoRefPtr = RefPtr<FileInfo>;
using NodePtr = FCPtr<Node>;
using NodeRefPtr = RefPtr<Node>;
using NodeCorePtr = FCPtr<NodeCore>;
using NodeCoreRefPtr = RefPtr<NodeCore>;
using GroupPtr = FCPtr<Group>;
using GroupRefPtr = RefPtr<Group>;
using TransformPtr = FCPtr<Transform>;
using TransformRefPtr = RefPtr<Transform>;
using Transform3DPtr = FCPtr<Transform3D>;
using Transform3DRefPtr = RefPtr<Transform3D>;
using ExtReferencePtr = FCPtr<ExtReference>;
using ExtReferenceRefPtr = RefPtr<ExtReference>;
using MaterialGroupPtr = FCPtr<MaterialGroup>;
using MaterialGroupRefPtr = RefPtr<MaterialGroup>;
using UberCameraPtr = FCPtr<UberCamera>;
using UberCameraRefPtr = RefPtr<UberCamera>;
using GeometryPtr = FCPtr<Geometry>;
using GeometryRefPtr = RefPtr<Geometry>;
using FileReferencePtr = FCPtr<FileReference>;
using FileReferenceRefPtr = RefPtr<FileReference>;
using MaterialPtr = FCPtr<Material>;
using MaterialRefPtr = RefPtr<Material>;
using UBRDFMaterialPtr = FCPtr<UBRDFMaterial>;
using UBRDFMaterialRefPtr = RefPtr<UBRDFMaterial>;
using UEnvironmentMaterialPtr = FCPtr<UEnvironmentMaterial>;
using UEnvironmentMaterialRefPtr = RefPtr<UEnvironmentMaterial>;

} // namespace osg
