// Licensed under the MIT licence; see LICENSE.
#include "io/ksReferenceImporter.h"

#include "import/ksFileIOHelper.h"
#include "import/ksMetaDataReader.h"
#include "import/ksdQorSettings.h"
#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceInterface.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"

using namespace osg;

ksReferenceImporter::ksReferenceImporter(const NodePtr& root, const ksReferenceImportOptions& options)
    : m_root(root)
    , m_options(options)
    , m_fileName(options.fileName)
{
}

ksReferenceImporter::~ksReferenceImporter() = default;

void ksReferenceImporter::run()
{
    if (!m_root)
        return;
    const ksdQorSettings settings =
        ksFileIOHelper::getImportSettingsByFileName(QString::fromUtf8(m_fileName.c_str()), false);
    m_smartReferenceBehavior = settings.getSmartReferenceBehavior();

    ksReferenceNode root(m_root.get());
    if (root.isValid()) {
        if (m_smartReferenceBehavior == ksdQorSettings::EmbedContent)
            dropSmartRecord(m_root.get());
        root.updateFileStates();
    }
    traverse(m_root.get(), [this](const NodePtr& node) { return visit(node); });
    // Whatever loading did, the subtree starts without recorded edits.
    if (ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface())
        reference->resetChanged(m_root.get());
}

Action::ResultE ksReferenceImporter::visit(const NodePtr& node)
{
    if (!node)
        return Action::Skip;
    ksReferenceNode ref(node);
    if (!ref.isValid())
        return Action::Continue;

    ref.resolveSmartPath(QString::fromUtf8(m_fileName.c_str()));
    ref.updateFileStates();

    if (!m_options.loadSmartReferences) {
        // A reference that came without content has nothing loaded.
        if (node->getNChildren() == 0)
            ref.setState(ksReferenceTypes::NotLoaded);
    } else {
        if (m_options.skipRoot && node == m_root.get())
            return Action::Continue;
        if (m_options.skipNotLoaded && ref.getState() == ksReferenceTypes::NotLoaded)
            return Action::Continue;
        if (m_options.checkAssemblyReferences) {
            // An unreadable file is loaded like any other.
            const ksMetaDataReadResult metadata = ksMetaDataReader::read(ref.getSmartPath());
            if (metadata && metadata.getAssemblyFileReferences().empty()) {
                ref.setState(ksReferenceTypes::NotLoaded);
                return Action::Continue;
            }
        }
        // Failures are reported by load itself; the others still get loaded.
        ref.load();
        if (m_smartReferenceBehavior == ksdQorSettings::EmbedContent)
            dropSmartRecord(node);
    }
    return m_options.skipSubReferences ? Action::Skip : Action::Continue;
}

void ksReferenceImporter::dropSmartRecord(const NodePtr& node)
{
    ksReferenceNode ref(node);
    const ExtReferencePtr core = ref.getExtReference();
    if (!ref.isValid() || !core)
        return;
    ksReferencePool::instance().eraseSmartFile(core);
    {
        CPEditor edit(core, ExtReference::SmartFileFieldMask);
        core->setSmartFile(NullFC);
    }
    ref.updateFileStates();
}
