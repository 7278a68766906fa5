#pragma once

// The type column of the program's file dialogs, in Portuguese whatever LANG says. Folders and
// drives keep Qt's names, which the program's own translator gives in Portuguese; files are
// named by their suffix, since the system's descriptions of file types follow the locale.

#include <QFileIconProvider>

namespace report {

class PortugueseFileTypes : public QFileIconProvider
{
public:
    QString type(const QFileInfo &info) const override;
};

// One provider for every file dialog (QFileDialog::setIconProvider); it lives as long as the
// program.
QAbstractFileIconProvider *portugueseFileTypes();

} // namespace report
