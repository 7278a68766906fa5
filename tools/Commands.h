#pragma once

#include <QString>
#include <QStringList>

namespace report {
struct ReportPages;
}

// The commands of bl-tool. Each returns the process exit code.
namespace bltool {

enum Exit { Ok = 0, Problems = 1, Error = 2 };

int create(const QString &kind, const QString &dbPath);
int dump(const QString &dbPath);
int import(const QString &dbPath);
int check(const QString &dbPath);
// Copies what a damaged table still holds into a new table; lists what was lost on standard
// error. Exit 0 nothing lost, 1 something lost, 2 error.
int salvage(const QString &damagedPath, const QString &newPath);
// Lists the register's daily safety copies with their record counts and check results.
// Exit 0 all sound (or none), 1 a copy fails its check, 2 error.
int backups(const QString &registerDb);
// Puts the safety copy of day (AAAA-MM-DD) in place of the register, keeping the current pair.
int restore(const QString &registerDb, const QString &day);
// Renders the B/L of the first record with that booking number into a PDF file. Needs a
// QApplication.
int pdfBl(const QString &dbPath, const QString &booking, const QString &outPath);
// Renders the delivery receipt of a transfer file into a PDF file, company and city
// upper-cased as the receipt window types them. Needs a QApplication.
int pdfReceipt(const QString &db, QString company, QString city, const QString &out);

// Writes laid-out pages into a PDF file; a failure is told on standard error and gives Error.
int writeReportPdf(const report::ReportPages &pages, const QString &outPath);

// The whole program: arguments, application object, the command, the exit code.
int main(int argc, char *argv[]);

// Messages go to standard error, prefixed with the tool's name.
void printError(const QString &message);

} // namespace bltool
