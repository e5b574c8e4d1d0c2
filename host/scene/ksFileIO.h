// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksFileResult.h"
#include "scene/ksSmartReferenceStash.h"
#include "scene/ksZmbFormat.h"
#include "scenegraph/HandleTypes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

// The host's file service: the project file, saving subtrees as ".zmb"
// files, incremental saving, project save and load, and a nested progress
// display that a program can show as progress bars.
//
// Incremental saving keeps the previous version of a file beside it as
// "<base>.<NNN>.<suffix>" (".../car.zmb" -> ".../car.001.zmb"), numbered one
// above the highest increment already there, at least three digits.
class ksFileIO : public QObject
{
    Q_OBJECT
public:
    using SubtreeHook = std::function<void(const osg::NodePtr&)>;

    static ksFileIO* instance();

    // The project file, empty while the scene was never saved or loaded.
    static QString getFilename();
    static void setFilename(const QString& path);

    // The host's native project files: suffix ".zmb", in any letter case.
    static bool isProjectFile(const QString& path);
    static bool isProjectFile(const std::string& path);
    // The native scene files, loaded and saved as smart references and never
    // made sources: ".zmb" in any letter case, and ".osb" in lower case, as
    // the reference service refuses them, or in any case (`osbCase`), as the
    // loaders read them.
    static bool isNativeSceneFile(const QString& path, Qt::CaseSensitivity osbCase = Qt::CaseSensitive);
    static bool isNativeSceneFile(const std::string& path, Qt::CaseSensitivity osbCase = Qt::CaseSensitive);

    // Whether imports turn imported files into source references (default on).
    static bool getImportCreateReferences();
    static void setImportCreateReferences(bool create);

    // Writes `node`'s subtree with `stash` as a ".zmb" file at `path` (UTF-8).
    // The metadata lists the files of the reference nodes below `node`
    // (ksZmb::AssemblyFileReferencesKey). A failed save logs why
    // ("Unable to save <path>: <reason>"), returns the reason and leaves any
    // previous file at `path` as it was. A written file is announced by
    // smartReferenceSaved and the file-IO service's savedGeometry.
    static ksFileResult saveSmartReference(const osg::NodePtr& node, const std::string& path,
                                   const ksSmartReferenceStash& stash);

    // Called right before and after saveSmartReference writes a subtree, so
    // that content which is saved in files of its own (nested smart
    // references) can be moved aside for the write and put back after it.
    // Either may be empty.
    static void setSubtreeSaveHooks(SubtreeHook beforeWrite, SubtreeHook afterWrite);

    static bool isIncrementalSaveEnabled();
    static void setIncrementalSaveEnabled(bool enabled);
    // Keeps the file now at `path` as the next increment, whose path goes to
    // `incrementPath`. The file stays at `path` too, so a save that fails
    // leaves it in place. False, with `incrementPath` empty, when there is no
    // file at `path` or it could not be kept (logged).
    static bool incrementalSave(const QString& path, QString& incrementPath);
    // Puts the increment back at `path`, replacing whatever a failed save
    // left there; the increment is gone afterwards.
    static bool renameLastIncrementToOriginal(const QString& path, const QString& incrementPath);
    // The increment that incrementalSave would make next for `path`.
    static QString nextIncrementPath(const QString& path);

    // Nested progress: add a level, step its counter, remove it again.
    static void addAdvancedProgress(const QString& title, int steps);
    static void increaseAdvancedProgress(int steps = 1);
    static void removeAdvancedProgress();
    static int getAdvancedProgressDepth();
    // How far the innermost level's current step is (0 to 1), for a step
    // that takes long on its own, such as reading one large file; `detail`
    // says what is read ("crate.obj 42%"). The next step starts from 0
    // again. Only on ksFileIO's thread (elsewhere ignored).
    static void setAdvancedProgressPart(double fraction, const QString& detail);

    // Project files: the whole live scene and the project stash. They emit
    // the file-IO service's projectSave/projectSaved and projectLoad/
    // projectLoadFinished/projectLoaded signals when the host has that
    // service, and keep the file name and the scene's current file.
    // projectSaved ends every projectSave, also one that failed.
    //
    // With the reference module loaded, saveProject first saves the scene's
    // smart references (a failure there stops the save before anything of
    // the project is written) and writes the project without their content;
    // loadProject loads each smart reference from its own file. The files
    // of one saveProject replace their old versions together or not at all
    // (osg::FileTransaction; inside a caller's open transaction, with the
    // caller's other files).
    static bool saveProject(const QString& path);
    // A failed load says why in its result (the loader's reason, also
    // logged as "Unable to load <path>: <reason>").
    static ksFileResult loadProject(const QString& path);
    // An empty scene; emits the service's newScene.
    static void newScene();
    static const ksSmartReferenceStash& getProjectStash();
    static void setProjectStash(const ksSmartReferenceStash& stash);

    // The metadata a save writes for `node`'s subtree.
    static ksZmbMetadata makeMetadata(const osg::NodePtr& node);

signals:
    // A smart reference file was written by saveSmartReference, in the
    // order of the writes (innermost first during a project save).
    void smartReferenceSaved(const QString& path);
    // depth: 1 for the outermost level.
    void advancedProgressStarted(const QString& title, int steps, int depth);
    void advancedProgressChanged(int value, int steps, int depth);
    void advancedProgressFinished(int depth);
    void advancedProgressPartChanged(double fraction, const QString& detail, int depth);

private:
    explicit ksFileIO(QObject* parent = nullptr);

    struct Progress {
        QString title;
        int steps;
        int value;
    };

    QString m_filename;
    bool m_importCreateReferences = true;
    bool m_incrementalSave = false;
    SubtreeHook m_beforeWrite;
    SubtreeHook m_afterWrite;
    std::vector<Progress> m_progress;
    ksSmartReferenceStash m_projectStash;
};
