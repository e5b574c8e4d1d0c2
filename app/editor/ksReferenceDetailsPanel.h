// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksdReferenceNode.h"

#include <QWidget>

class QTextBrowser;

// The file information of one reference: for its smart and its source file
// the path, the relative path, modification time, size, checksum, owner and
// state, and the revisions found beside the file with the newest marked.
class ksReferenceDetailsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ksReferenceDetailsPanel(QWidget* parent = nullptr);

    // Shows `node`; a null handle clears the panel.
    void setReference(const ksdReferenceNode& node);
    ksdReferenceNode reference() const { return m_node; }
    // Reads the shown reference again.
    void refresh();
    // The panel as plain text, as the user reads it.
    QString text() const;

private:
    QString fileSection(bool smart) const;

    QTextBrowser* m_view;
    ksdReferenceNode m_node;
};
