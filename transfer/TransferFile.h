#pragma once

// The rules of making and choosing a transfer file that need no window: its proposed name,
// where the file dialogs start, the names a typed name leads to, and the copy of the empty
// template pair onto the medium.

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

namespace transferfile {

// Today's date as the chooser sees it; tests pin it.
QDate today();
void setClock(std::function<QDate()> clock);  // an empty function restores the system clock

// "BL" + day, month and two-digit year: BL061226 on 6 December 2026.
QString defaultName(const QDate &date);

// The dialogs' title and filter.
QString newDialogTitle();
QString openDialogTitle();
QString filterText();      // "Arquivos de BL |*.DB" as the window describes it
QStringList nameFilters(); // what the dialog is given: .DB and .db listed alike

// The first mounted removable medium: a mount point under /media/<user>, /run/media/<user>
// or directly under /media, in that order and by name within each; empty when none.
// mountsText is the text of /proc/self/mounts.
QString removableMedium(const QString &mountsText, const QString &user);
// Where the file dialogs start: the first removable medium, else the home folder.
QString startDirectory();

// The names a new transfer file's dialog answer leads to. An extension ".DB" typed or picked
// (any case) is dropped, so it is never doubled.
struct NewFile
{
    QString base;       // full path without the ".DB"
    QString dbPath;     // base + ".DB"
    QString mbPath;     // base + ".MB"
    QString directory;  // the directory part
    QString tableName;  // the name the table is opened under
};
NewFile newFileNames(const QString &dialogAnswer);

// The template pair's directory for a program in exeDir: beside it when the pair is there
// (the build tree), else ../share/bl-emissao (the installed layout); exeDir itself when
// neither holds it, so that the copy fails as for any missing template.
QString templateDirectoryFor(const QString &exeDir);

// templateDirectoryFor the running executable, unless tests set another.
QString templateDirectory();
void setTemplateDirectory(const QString &dir);  // empty restores the executable's directory

// Copies the template pair to names.dbPath and names.mbPath, never overwriting: each file is
// written whole under a hidden name, flushed to the medium and given its name, then the
// directory is flushed. The .DB is tried only after the .MB succeeded; when it fails, the .MB
// this call made is removed. Returns false on any failure, with nothing of this attempt left
// behind.
bool copyTemplate(const QString &templateDir, const NewFile &names);

// Removes the pair this attempt made (used when the new copy cannot be emptied or opened).
void removeMade(const NewFile &names);

// Copies one file without overwriting and flushes it, under its name only once whole; false
// (and no file left) on failure.
bool copyNew(const QString &from, const QString &to);
// Flushes a directory's entries to the medium.
bool syncDirectory(const QString &dir);

} // namespace transferfile
