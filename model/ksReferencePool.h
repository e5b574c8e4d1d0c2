// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "model/ksContainerIdMap.h"
#include "model/ksFileReferenceStatus.h"
#include "model/ksSmartPathIndex.h"
#include "model/ksStatusSnapshot.h"
#include "scenegraph/HandleTypes.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <set>

class ksSmartFile;
class ksTreeChangeMonitor;

// The registry of every reference core in the process. The scene graph tells
// it of each core created, changed or destroyed and of each changed file
// record through four hooks (registerCallbacks), so it never has to walk the
// scene. Per core it keeps the status record the update monitor checks, a
// tree change monitor that tells whether the loaded content was edited, and
// the smart file object that loads and saves that content.
//
// Main thread only, except getStatusSnapshot, which the update monitor's
// thread calls. The mutex guards the statuses, the file owners and the
// hooks; the smart files and change monitors are main-thread state. Lock
// order: the pool's mutex is a leaf. No signal is emitted while it is held,
// so a receiver may stop (join) a thread that waits for it.
class ksReferencePool : public QObject
{
    Q_OBJECT

public:
    static ksReferencePool& instance();

    // Installs the scene graph's four pool hooks, bound to this pool.
    void registerCallbacks();

    bool isEmpty();

    // Change tracking. A core qualifies when it is loaded and has a smart
    // record that is not missing; for any other core these do nothing and
    // isChanged is false.
    bool isChanged(const osg::ExtReferencePtr& ext);
    void setChanged(const osg::ExtReferencePtr& ext);
    void resetChanged(const osg::ExtReferencePtr& ext);
    // Every core that has a change monitor and still exists.
    void resetAllChanged();
    // A reference node below the core's (first) node, not that node itself,
    // is changed.
    bool isSubReferenceChanged(const osg::ExtReferencePtr& ext);
    bool isSelfOrSubReferenceChanged(const osg::ExtReferencePtr& ext);
    // Changed cores of which at least one node lacks flag bit 12.
    unsigned getNumChangedReferences();

    // Smart files, one per core, made on first use.
    std::shared_ptr<ksSmartFile> getSmartFile(const osg::ExtReferencePtr& ext);
    // Takes the core's smart file out of the pool (empty when it has none),
    // so that an undone record removal can give it back with setSmartFile.
    std::shared_ptr<ksSmartFile> takeSmartFile(const osg::ExtReferencePtr& ext);
    void setSmartFile(const osg::ExtReferencePtr& ext, std::shared_ptr<ksSmartFile> file);
    void eraseSmartFile(const osg::ExtReferencePtr& ext);
    // False when the core has no smart file; makes none.
    bool isSmartFileLoaded(const osg::ExtReferencePtr& ext);
    // Load, unload and save through the smart file, keeping the change mark
    // in step: a load or save starts clean, an unload counts as a change.
    bool loadSmartReference(const osg::ExtReferencePtr& ext);
    bool unloadSmartReference(const osg::ExtReferencePtr& ext);
    // True without writing when the core is decided (not Undefined) and not
    // changed.
    bool saveSmartReference(const osg::ExtReferencePtr& ext);
    // Writes a copy; a core that was changed stays changed.
    bool saveSmartReferenceAs(const osg::ExtReferencePtr& ext, const QString& path);

    // Scene queries; all go by id through the pool, never over the scene.
    // Pooled cores that hang in the live scene, in no particular order.
    QList<osg::ExtReferencePtr> getExtReferences();
    // `ext` and the live cores whose smart record names the same file. Both
    // clone queries cost the number of cores of that one file, not of the
    // pool; an empty path names no file and shares it with nobody.
    std::set<osg::ExtReferencePtr> getReferencesWithSameSmartFile(const osg::ExtReferencePtr& ext);
    // A node of another core whose smart file, loaded, is the file of
    // `ext`'s smart record, the one of the lowest core id; NullFC when there
    // is none.
    osg::NodePtr findLoadedClone(const osg::ExtReferencePtr& ext);
    // The distinct suffixes of all pooled smart and source paths, in no
    // particular order.
    QStringList getFileSuffixes();

    // A copy of the statuses for the update monitor's thread, in id order.
    // The copy shares the status records, whose checked fields are atomics.
    // Callers between two changes of the pool share one array.
    ksStatusSnapshot getStatusSnapshot();
    // Copies what the monitor found for these core ids into their records.
    void applyUpdates(const QList<uint>& ids);

signals:
    // Declared for listeners of the host; the pool does not emit it.
    void cachedReferencesChanged(int numReferenceNodes, int numSmartReferences, int numSourceReferences,
                                 int numMissingSmartReferences, int numOutdatedSmartReferences,
                                 int numMissingSourceReferences, int numOutdatedSourceReferences);
    // The pool went from empty to one core (true) or from some to none
    // (false). Emitted after the pool's mutex is released.
    void poolHasContent(bool has);
    // The loaded content of a smart reference saw its first edit since it
    // was loaded, saved or reset.
    void modifiedStateChanged();
    // A core came or went, or one got other file records: the statuses the
    // update monitor watches changed. Emitted from the hooks, also while the
    // pool's mutex is held, so receivers must not call back into the pool.
    void statusesChanged();

private:
    ksReferencePool();
    ~ksReferencePool() override;

    // The four hooks.
    void addToPool(const osg::ExtReferencePtr& ext);
    void removeFromPool(const osg::ExtReferencePtr& ext);
    void updateInPool(const osg::ExtReferencePtr& ext);
    void fileReferenceUpdated(const osg::FileReferencePtr& ref);

    static osg::ExtReferencePtr findCore(quint32 id);
    // Callers hold m_mutex.
    void registerFileOwners(const osg::ExtReferencePtr& ext);
    static ksFileReferenceStatusPtr makeStatus(const osg::FileReferencePtr& ref);
    // Adds (+1) or takes back (-1) the suffixes of the pair's paths.
    void countSuffixes(const ksExtReferenceStatus& pair, int delta);
    // The snapshot of the current statuses, rebuilt when they changed; a
    // replaced one is moved to `replaced`, to be let go after unlocking.
    const ksStatusSnapshot& currentSnapshot(ksStatusSnapshot& replaced);

    std::shared_ptr<ksTreeChangeMonitor> getTreeChangeMonitor(const osg::ExtReferencePtr& ext);
    static bool qualifies(const osg::ExtReferencePtr& ext);
    bool isChangedBelow(const osg::ExtReferencePtr& ext);
    static bool hangsInScene(const osg::ExtReferencePtr& core, const osg::NodePtr& sceneRoot);
    void onContentChanged();

    ksContainerIdMap<ksExtReferenceStatusPtr> m_statuses;
    ksContainerIdMap<quint32> m_fileOwners;
    // How many pooled paths end in each suffix: the suffix query reads this
    // instead of every path, so it costs the same for ten cores or 100,000.
    QHash<QByteArray, int> m_suffixCounts;
    // The cores of each smart file, following the smart statuses' paths.
    ksSmartPathIndex m_smartPaths;
    std::map<quint32, std::shared_ptr<ksSmartFile>> m_smartFiles;
    QHash<quint32, std::shared_ptr<ksTreeChangeMonitor>> m_changeMonitors;
    // The last snapshot built, and whether the statuses changed since (under
    // the mutex). Passes over the pool run over it too: it lists the cores in
    // id order, which is the order their memory was handed out in.
    ksStatusSnapshot m_snapshot;
    bool m_snapshotStale = true;
    QMutex m_mutex;
    bool m_suppressFileUpdates = false;
    // A change monitor reported while applyUpdates held the mutex: the
    // signal waits until the mutex is released.
    bool m_modifiedSignalPending = false;
    bool m_callbacksRegistered = false;
};
