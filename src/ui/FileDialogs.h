#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every file and folder dialog of the program goes through here, so that a
// test can give the path the operator would have chosen (or cancel). Each
// opens in the folder the operator last chose a file or folder in, kept by
// the folder memory below, or in the home folder when there is none.
namespace FileDialogs {

enum class Kind { Open, Save, Folder };

struct Asked
{
    Kind kind = Kind::Open;
    QString title;
    QString filter;    // in Qt's form: "Text Files (*.txt)"
    QString directory; // initial folder, or the suggested file in it
};

// Gives the chosen path, or an empty text when the operator cancelled.
using Responder = std::function<QString(const Asked &)>;

// Where the last chosen folder is kept between dialogs and runs of the
// program. `recall` gives it (empty: none kept yet); both raise AppError when
// the store cannot be read or written.
struct FolderMemory
{
    std::function<QString()> recall;
    std::function<void(const QString &folder)> keep;
};

// Filters are given as "Description (*.ext)|*.ext|..." pairs, the way the
// windows state them; they are shown in Qt's form. An open dialog starts in
// `preferred` when that folder is there.
QString openFileName(QWidget *parent, const QString &title, const QString &filter, const QString &preferred = {});
// Suggests `suggestedName` in the folder the dialog opens in. A name chosen
// without any suffix gets `defaultSuffix` ("csv" -> "name.csv"). A file of
// that name that is there already is overwritten only when the operator says
// so ("EXIST"); otherwise nothing is chosen.
QString saveFileName(QWidget *parent, const QString &title, const QString &filter, const QString &suggestedName,
                     const QString &defaultSuffix = {});
// Opens in `preferred` when that folder is there (the folder a window already
// names), otherwise where the file dialogs open.
QString existingDirectory(QWidget *parent, const QString &title, const QString &preferred = {});

// A name for a file written today: "contacts" and "csv" give
// "contacts-2026-12-07.csv", the date as the office's clock has it.
QString datedName(const QString &stem, const QString &suffix);

// "Text Files (*.txt)|*.txt" -> "Text Files (*.txt)"; several pairs become
// Qt's ";;"-separated list.
QString qtFilter(const QString &pipeFilter);

void setResponder(Responder responder);
// Without a memory (empty functions) every dialog opens in the home folder.
void setFolderMemory(FolderMemory memory);

} // namespace FileDialogs
