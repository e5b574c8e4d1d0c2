// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <cstdio>

// The references of the live scene as a table: one row per reference node,
// parents before the references nested in them. Built from the node handles
// and the reference interface, so it shows what any host module would see.
class ksReferenceTable
{
public:
    struct File {
        QString path; // empty: no record
        ksReferenceTypes::FileState state = ksReferenceTypes::NoReference;
        QString colour; // "#rrggbb" from the status text, empty when plain
    };
    struct Row {
        int depth = 0;
        QString name;
        File smart;
        File source;
        bool loaded = false;
        bool edited = false;
        quint64 vertices = 0;
    };

    // Reads the live scene.
    static ksReferenceTable fromScene();
    // One reference node's row (depth 0); the vertex count only when asked,
    // since it walks the node's whole subtree.
    static Row readRow(const osg::NodePtr& node, bool countVertices = true);

    const QVector<Row>& rows() const { return m_rows; }
    const Row* find(const QString& name) const;

    // 0 when every record is up to date, 1 when one is outdated, 2 when one
    // is missing (missing wins).
    int worstState() const;

    // A readable tree; colours are terminal escapes and only used when asked.
    void print(std::FILE* out, bool colour) const;
    QJsonObject toJson() const;

    static QString stateName(ksReferenceTypes::FileState state);

private:
    void collect(const osg::NodePtr& node, int depth);

    QVector<Row> m_rows;
};
