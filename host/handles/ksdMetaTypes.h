// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QDataStream>
#include <QList>
#include <QMetaType>

// Registers a handle class and its list with Qt's meta-type system, with
// stream operators and (unless some are there already) comparators. Used by
// the handle classes' registerMetaTypes(), which the host library runs, so
// that the functions Qt keeps are the host's: a plug-in that registered them
// from its own code would leave Qt pointing into unloaded code.
class ksdMetaTypes
{
public:
    template <class T>
    static void registerHandle(const char* name, const char* listName)
    {
        const int id = qRegisterMetaType<T>(name);
        qRegisterMetaType<QList<T>>(listName);
        qRegisterMetaTypeStreamOperators<T>(name);
        qRegisterMetaTypeStreamOperators<QList<T>>(listName);
        if (!QMetaType::hasRegisteredComparators(id))
            QMetaType::registerComparators<T>();
    }
};
