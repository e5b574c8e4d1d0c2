// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QMetaType>
#include <QObject>

// Enumerations of the reference API. Values are stored as unsigned 32-bit
// numbers in scene files, so they never change. Each is a Qt meta-type named
// "ksReferenceTypes::<Enum>", usable in signals, queued connections,
// QVariant and QDataStream.
class ksReferenceTypes
{
    Q_GADGET

public:
    // State of a file record against the file on disk.
    enum FileState : quint32 {
        UpToDate = 0,
        Outdated = 1,
        Missing = 2,
        NoPath = 3,
        // Returned by queries for a record that does not exist; never stored.
        NoReference = 4,
    };
    Q_ENUM(FileState)

    // Whether a reference's content is in the scene.
    enum State : quint32 {
        Undefined = 0,
        NotLoaded = 1,
        Loaded = 2,
    };
    Q_ENUM(State)

    // Which of a reference's two records.
    enum Type : quint32 {
        Smart = 0,
        Source = 1,
    };
    Q_ENUM(Type)

    // Where new smart files go.
    enum ExportLocation : quint32 {
        NextToSource = 0,
        CustomDirectory = 1,
    };
    Q_ENUM(ExportLocation)

    // How the user hears of update checks.
    enum NotificationMode : quint32 {
        NoNotification = 0,
        NotifyAfterUpdateCheck = 1,
    };
    Q_ENUM(NotificationMode)

    enum LoadMode : quint32 {
        DefaultLoadMode = 0,
    };
    Q_ENUM(LoadMode)

    // Registers the meta-types and their stream operators. The host library
    // does it when it loads; calling again is harmless.
    static void registerMetaTypes();
};
