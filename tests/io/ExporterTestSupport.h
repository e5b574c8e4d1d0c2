// Licensed under the MIT licence; see LICENSE.
// A live scene of smart references for the exporter's tests, and a log of
// the smart files in the order they were written.
#pragma once

#include "SmartFileTestSupport.h"

#include "io/ksReferenceExporter.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"
#include "service/ksReferenceSettings.h"

namespace exportertest {

using namespace smartfiletest;

// A reference node with a smart record for `smartPath` (empty: none given
// yet) under `parent`, with one geometry child named `<name>Part`.
inline osg::NodeRefPtr addSmartReference(const osg::NodePtr& parent, const std::string& name,
                                         const std::string& smartPath,
                                         osg::UInt32 state = ksReferenceTypes::Undefined)
{
    using namespace osg;
    ExtReferenceRefPtr core = ExtReference::create();
    FileReferenceRefPtr smart = FileReference::create();
    smart->setPath(smartPath);
    core->setSmartFile(smart);
    core->setState(state);
    NodeRefPtr node = makeNode(core, name);
    node->addChild(makeNode(makeTriangle(NullFC), name + "Part"));
    beginEditCP(parent, Node::ChildrenFieldMask);
    parent->addChild(node);
    endEditCP(parent, Node::ChildrenFieldMask);
    return node;
}

inline std::string smartPathOf(const osg::NodePtr& node)
{
    const osg::ExtReferencePtr core = osg::ExtReferencePtr::dcast(node->getCore());
    return core && core->getSmartFile() ? core->getSmartFile()->getPath() : std::string();
}

// The smart records the pool updated after a write, first write first; a
// record shows up once, at its first write.
class WriteLog
{
public:
    explicit WriteLog(const osg::NodePtr& root)
        : m_subscription(osg::ChangeObservers::subscribe(root, [this](const osg::ChangeEvent& event) {
            const osg::FileReferencePtr record = osg::FileReferencePtr::dcast(event.container);
            if (!record || !(event.mask & osg::FileReference::ChecksumFieldMask))
                return;
            const std::string path = record->getPath();
            if (std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end())
                m_paths.push_back(path);
        }))
    {
    }
    const std::vector<std::string>& paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;
    osg::ChangeSubscription m_subscription;
};

// Names of a subtree in pre-order, indented by depth: two scenes with the
// same dump have the same shape.
inline std::string dump(const osg::NodePtr& root)
{
    std::string out;
    int depth = 0;
    osg::traverse(
        root,
        [&](const osg::NodePtr& node) {
            out += std::string(size_t(depth) * 2, ' ') + ksNodeUtils::getName(node) + "\n";
            ++depth;
            return osg::Action::Continue;
        },
        [&](const osg::NodePtr&, osg::Action::ResultE result) {
            --depth;
            return result;
        });
    return out;
}

class ExporterTest : public SmartFileTest
{
protected:
    void SetUp() override
    {
        SmartFileTest::SetUp();
        ksReferenceSettings::the().setExportLocation(ksReferenceTypes::NextToSource);
        ksReferenceSettings::the().setCustomExportPath(QString());
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
    }
    void TearDown() override
    {
        ksSceneDataManager::getSceneData(0)->setCurrentFile(QString());
        SmartFileTest::TearDown();
    }

    std::string file(const QString& name) const { return path(name).toUtf8().toStdString(); }
    static osg::NodePtr live() { return ksScenegraph::getRoot(); }

    ksReferenceExporter::Options options(const std::string& projectPath = {}) const
    {
        ksReferenceExporter::Options result;
        result.projectPath = projectPath;
        return result;
    }
};

} // namespace exportertest
