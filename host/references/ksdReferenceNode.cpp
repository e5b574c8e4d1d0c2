// Licensed under the MIT licence; see LICENSE.
#include "references/ksdReferenceNode.h"

#include "handles/ksdMetaTypes.h"
#include "handles/ksdObjectManager.h"

#include <utility>

namespace {

[[maybe_unused]] const bool g_registered = (ksdReferenceNode::registerMetaTypes(), true);

} // namespace

// Binds the prototype to a handle's object for one call; restoring the
// previous id (not 0) keeps an outer call's binding intact after a nested one.
class ksdReferenceNode::Binding
{
public:
    Binding(ksdReferenceNode& prototype, quint32 objectId)
        : m_prototype(prototype)
        , m_previous(prototype.getObjectId())
    {
        m_prototype.setObjectId(objectId);
    }
    ~Binding() { m_prototype.setObjectId(m_previous); }

    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

private:
    ksdReferenceNode& m_prototype;
    quint32 m_previous;
};

ksdReferenceNode::ksdReferenceNode()
    : ksdNode(0, &staticMetaObject)
{
}

ksdReferenceNode::ksdReferenceNode(quint32 nodeId)
    : ksdNode(nodeId, &staticMetaObject)
{
}

ksdReferenceNode::ksdReferenceNode(const ksdNode& node)
    : ksdNode(node.isOfType(staticMetaObject) ? node.getObjectId() : 0, &staticMetaObject)
{
    if (!isNull())
        setType(node.getType());
}

ksdReferenceNode::ksdReferenceNode(const ksdReferenceNode& other) = default;

ksdReferenceNode& ksdReferenceNode::operator=(const ksdReferenceNode& other) = default;

ksdReferenceNode::~ksdReferenceNode() = default;

void ksdReferenceNode::registerMetaTypes()
{
    static const bool done =
        (ksdMetaTypes::registerHandle<ksdReferenceNode>("ksdReferenceNode", "QList<ksdReferenceNode>"), true);
    Q_UNUSED(done);
}

std::shared_ptr<ksdObject> ksdReferenceNode::createEmpty()
{
    return std::make_shared<ksdReferenceNode>();
}

ksdReferenceNode* ksdReferenceNode::implementation() const
{
    const std::shared_ptr<ksdObject> registered = ksdObjectManager::instance().getImplementation(staticMetaObject);
    auto* prototype = qobject_cast<ksdReferenceNode*>(registered.get());
    return prototype == this ? nullptr : prototype;
}

template <class Result, class Operation, class... Args>
Result ksdReferenceNode::forward(Operation operation, Result neutral, Args&&... args) const
{
    ksdReferenceNode* prototype = implementation();
    if (!prototype)
        return neutral;
    const Binding binding(*prototype, getObjectId());
    return (prototype->*operation)(std::forward<Args>(args)...);
}

template <class Operation, class... Args>
void ksdReferenceNode::forwardAction(Operation operation, Args&&... args) const
{
    ksdReferenceNode* prototype = implementation();
    if (!prototype)
        return;
    const Binding binding(*prototype, getObjectId());
    (prototype->*operation)(std::forward<Args>(args)...);
}

bool ksdReferenceNode::hasSourceReference() const
{
    return forward(&ksdReferenceNode::hasSourceReference, false);
}

bool ksdReferenceNode::hasSmartReference() const
{
    return forward(&ksdReferenceNode::hasSmartReference, false);
}

bool ksdReferenceNode::isLoaded() const
{
    return forward(&ksdReferenceNode::isLoaded, false);
}

bool ksdReferenceNode::isChanged() const
{
    return forward(&ksdReferenceNode::isChanged, false);
}

bool ksdReferenceNode::isSubReferenceChanged() const
{
    return forward(&ksdReferenceNode::isSubReferenceChanged, false);
}

bool ksdReferenceNode::isSelfOrSubReferenceChanged() const
{
    return forward(&ksdReferenceNode::isSelfOrSubReferenceChanged, false);
}

bool ksdReferenceNode::isRootNode() const
{
    return forward(&ksdReferenceNode::isRootNode, false);
}

void ksdReferenceNode::createSmartReference(bool nextToSource)
{
    forwardAction(&ksdReferenceNode::createSmartReference, nextToSource);
}

void ksdReferenceNode::createSourceReference()
{
    forwardAction(&ksdReferenceNode::createSourceReference);
}

void ksdReferenceNode::removeSmartReference()
{
    forwardAction(&ksdReferenceNode::removeSmartReference);
}

void ksdReferenceNode::removeSourceReference()
{
    forwardAction(&ksdReferenceNode::removeSourceReference);
}

void ksdReferenceNode::unload()
{
    forwardAction(&ksdReferenceNode::unload);
}

void ksdReferenceNode::load()
{
    forwardAction(&ksdReferenceNode::load);
}

void ksdReferenceNode::loadSourceReference()
{
    forwardAction(&ksdReferenceNode::loadSourceReference);
}

void ksdReferenceNode::loadSmartReference()
{
    forwardAction(&ksdReferenceNode::loadSmartReference);
}

ksReferenceTypes::State ksdReferenceNode::getState() const
{
    return forward(&ksdReferenceNode::getState, ksReferenceTypes::Undefined);
}

void ksdReferenceNode::saveSmartReference()
{
    forwardAction(&ksdReferenceNode::saveSmartReference);
}

void ksdReferenceNode::saveSmartReferenceAs(const QString& path, bool unshare)
{
    forwardAction(&ksdReferenceNode::saveSmartReferenceAs, path, unshare);
}

void ksdReferenceNode::setSourcePath(const QString& path)
{
    forwardAction(&ksdReferenceNode::setSourcePath, path);
}

QString ksdReferenceNode::getSourcePath() const
{
    return forward(&ksdReferenceNode::getSourcePath, QString());
}

ksReferenceTypes::FileState ksdReferenceNode::getSourceFileState() const
{
    return forward(&ksdReferenceNode::getSourceFileState, ksReferenceTypes::NoReference);
}

QString ksdReferenceNode::getSourceOwner() const
{
    return forward(&ksdReferenceNode::getSourceOwner, QString());
}

QDateTime ksdReferenceNode::getSourceLastModified() const
{
    return forward(&ksdReferenceNode::getSourceLastModified, QDateTime());
}

QDateTime ksdReferenceNode::getSourceImportDate() const
{
    return forward(&ksdReferenceNode::getSourceImportDate, QDateTime());
}

void ksdReferenceNode::setSmartPath(const QString& path)
{
    forwardAction(&ksdReferenceNode::setSmartPath, path);
}

QString ksdReferenceNode::getSmartPath() const
{
    return forward(&ksdReferenceNode::getSmartPath, QString());
}

QString ksdReferenceNode::createSmartPath(ksReferenceTypes::ExportLocation location, QString customDirectory)
{
    return forward(&ksdReferenceNode::createSmartPath, QString(), location, std::move(customDirectory));
}

ksReferenceTypes::FileState ksdReferenceNode::getSmartFileState() const
{
    return forward(&ksdReferenceNode::getSmartFileState, ksReferenceTypes::NoReference);
}

QString ksdReferenceNode::getSmartOwner() const
{
    return forward(&ksdReferenceNode::getSmartOwner, QString());
}

QDateTime ksdReferenceNode::getSmartLastModified() const
{
    return forward(&ksdReferenceNode::getSmartLastModified, QDateTime());
}

QDateTime ksdReferenceNode::getSmartCreationDate() const
{
    return forward(&ksdReferenceNode::getSmartCreationDate, QDateTime());
}

QStringList ksdReferenceNode::getSourceRevisions() const
{
    return forward(&ksdReferenceNode::getSourceRevisions, QStringList());
}

QStringList ksdReferenceNode::getSmartRevisions() const
{
    return forward(&ksdReferenceNode::getSmartRevisions, QStringList());
}

QString ksdReferenceNode::getSourceRevision() const
{
    return forward(&ksdReferenceNode::getSourceRevision, QString());
}

QString ksdReferenceNode::getSmartRevision() const
{
    return forward(&ksdReferenceNode::getSmartRevision, QString());
}

QString ksdReferenceNode::getSourceRevisionPath(const QString& revision) const
{
    return forward(&ksdReferenceNode::getSourceRevisionPath, QString(), revision);
}

QString ksdReferenceNode::getSmartRevisionPath(const QString& revision) const
{
    return forward(&ksdReferenceNode::getSmartRevisionPath, QString(), revision);
}
