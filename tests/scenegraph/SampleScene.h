// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

// A scene that uses every kind of field and sharing:
//
// root "Root" (Group, FileInfo at binding 2)
// +- left "Left" (ExtReference `ext`: source + smart record)      } clones: one core
// |  +- body "Body" (Geometry -> brdf -> env; flags, index)      }
// +- right "Right" (ExtReference `ext`)                           }
// +- painted (MaterialGroup -> brdf)
// |  +- camera (UberCamera)
// +- moved (Transform3D)
struct SampleScene {
    osg::NodeRefPtr root, left, body, right, painted, camera, moved;
    osg::ExtReferenceRefPtr ext;
    osg::UBRDFMaterialRefPtr brdf;
    osg::UEnvironmentMaterialRefPtr env;

    SampleScene()
    {
        using namespace osg;
        root = Node::create();
        root->setCore(Group::create());
        setName(root, "Root");
        FileInfoRefPtr info = FileInfo::create();
        info->setPath("C:/cad/engine.CATProduct");
        root->addAttachment(info, 2);

        ext = ExtReference::create();
        ext->setTranslation({1, 2, 3});
        ext->setState(2);
        FileReferenceRefPtr source = FileReference::create();
        source->setPath("/cad/wheel.stp");
        source->setRelativePath("../cad/wheel.stp");
        source->setOwner("anna");
        source->setState(1);
        source->setChecksum(0xDEADBEEF);
        source->setLastModified(1700000000);
        source->setImportDate(1700000100);
        FileReferenceRefPtr smart = FileReference::create();
        smart->setPath("/refs/wheel.osb");
        ext->setSourceFile(source);
        ext->setSmartFile(smart);

        left = Node::create();
        right = Node::create();
        left->setCore(ext);
        right->setCore(ext);
        setName(left, "Left");
        setName(right, "Right");

        env = UEnvironmentMaterial::create();
        env->setImagePath("studio.hdr");
        env->setExposure(1.5f);
        brdf = UBRDFMaterial::create();
        brdf->setEnvironment(env);
        brdf->setDiffuseColor({0.1f, 0.2f, 0.3f});
        GeometryRefPtr geo = Geometry::create();
        geo->setPositions({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
        geo->setNormals({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}});
        geo->setIndices({0, 1, 2, 2, 1, 3});
        geo->setMaterial(brdf);
        body = Node::create();
        body->setCore(geo);
        body->setFlags(0x1000);
        body->setTravMask(0xF0);
        body->setExternalFlags(5);
        body->setIndex(-3);
        setName(body, "Body");
        left->addChild(body);

        MaterialGroupRefPtr group = MaterialGroup::create();
        group->setMaterial(brdf);
        painted = Node::create();
        painted->setCore(group);
        UberCameraRefPtr cam = UberCamera::create();
        cam->setFieldOfView(30);
        camera = Node::create();
        camera->setCore(cam);
        painted->addChild(camera);

        Transform3DRefPtr t = Transform3D::create();
        t->setRotation({0, 0, 90});
        t->setScale({1, 2, 1});
        moved = Node::create();
        moved->setCore(t);

        root->addChild(left);
        root->addChild(right);
        root->addChild(painted);
        root->addChild(moved);
    }
};
