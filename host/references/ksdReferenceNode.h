// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdNode.h"
#include "references/ksReferenceTypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

// The handle of a reference node (a node whose core is an ExtReference). The
// host declares the operations; the reference module implements them in a
// class derived from this one and registers one instance of it, the
// prototype, with ksdObjectManager::registerImplementation.
//
// Every operation of a handle forwards to that prototype: for the duration
// of the call the prototype is bound to the calling handle's object id, and
// the previous binding is restored afterwards, so an implementation may call
// operations of other handles inside its own. When no implementation is
// registered, or the implementation does not override an operation, the
// operation gives its neutral result (false, an empty string or list, an
// invalid date, Undefined, NoReference) and does nothing.
//
// The order of the virtual operations is part of the host's interface.
class ksdReferenceNode : public ksdNode
{
    Q_OBJECT

public:
    ksdReferenceNode();
    explicit ksdReferenceNode(quint32 nodeId);
    // A handle of the same node when `node`'s type is ksdReferenceNode (or
    // derived), else a null handle.
    explicit ksdReferenceNode(const ksdNode& node);
    ksdReferenceNode(const ksdReferenceNode& other);
    ksdReferenceNode& operator=(const ksdReferenceNode& other);
    ~ksdReferenceNode() override;

    virtual bool hasSourceReference() const;
    virtual bool hasSmartReference() const;
    virtual bool isLoaded() const;
    virtual bool isChanged() const;
    virtual bool isSubReferenceChanged() const;
    virtual bool isSelfOrSubReferenceChanged() const;
    virtual bool isRootNode() const;
    virtual void createSmartReference(bool nextToSource);
    virtual void createSourceReference();
    virtual void removeSmartReference();
    virtual void removeSourceReference();
    virtual void unload();
    virtual void load();
    virtual void loadSourceReference();
    virtual void loadSmartReference();
    virtual ksReferenceTypes::State getState() const;
    virtual void saveSmartReference();
    virtual void saveSmartReferenceAs(const QString& path, bool unshare);
    virtual void setSourcePath(const QString& path);
    virtual QString getSourcePath() const;
    virtual ksReferenceTypes::FileState getSourceFileState() const;
    virtual QString getSourceOwner() const;
    virtual QDateTime getSourceLastModified() const;
    virtual QDateTime getSourceImportDate() const;
    virtual void setSmartPath(const QString& path);
    virtual QString getSmartPath() const;
    virtual QString createSmartPath(ksReferenceTypes::ExportLocation location, QString customDirectory);
    virtual ksReferenceTypes::FileState getSmartFileState() const;
    virtual QString getSmartOwner() const;
    virtual QDateTime getSmartLastModified() const;
    virtual QDateTime getSmartCreationDate() const;
    virtual QStringList getSourceRevisions() const;
    virtual QStringList getSmartRevisions() const;
    virtual QString getSourceRevision() const;
    virtual QString getSmartRevision() const;
    virtual QString getSourceRevisionPath(const QString& revision) const;
    virtual QString getSmartRevisionPath(const QString& revision) const;

    // Meta-types "ksdReferenceNode" and "QList<ksdReferenceNode>"; see
    // ksdNode::registerMetaTypes.
    static void registerMetaTypes();
    // A new null handle, for ksdObjectManager's table of creators.
    static std::shared_ptr<ksdObject> createEmpty();

private:
    class Binding;

    // The registered prototype, or null when there is none or this handle is
    // the prototype itself (an operation it does not override).
    ksdReferenceNode* implementation() const;

    template <class Result, class Operation, class... Args>
    Result forward(Operation operation, Result neutral, Args&&... args) const;
    template <class Operation, class... Args>
    void forwardAction(Operation operation, Args&&... args) const;
};

Q_DECLARE_METATYPE(ksdReferenceNode)
