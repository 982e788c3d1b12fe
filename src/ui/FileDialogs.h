#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every file and folder dialog of the program goes through here, so that a
// test can give the path the operator would have chosen (or cancel).
namespace FileDialogs {

enum class Kind { Open, Save, Folder };

struct Asked
{
    Kind kind = Kind::Open;
    QString title;
    QString filter;    // in Qt's form: "Text Files (*.txt)"
    QString directory; // initial folder or file name
};

// Gives the chosen path, or an empty text when the operator cancelled.
using Responder = std::function<QString(const Asked &)>;

// Filters are given as "Description (*.ext)|*.ext|..." pairs, the way the
// windows state them; they are shown in Qt's form.
QString openFileName(QWidget *parent, const QString &title, const QString &filter,
                     const QString &directory = {});
// A name chosen without any suffix gets `defaultSuffix` ("csv" -> "name.csv").
QString saveFileName(QWidget *parent, const QString &title, const QString &filter,
                     const QString &directory = {}, const QString &defaultSuffix = {});
QString existingDirectory(QWidget *parent, const QString &title, const QString &directory = {});

// "Text Files (*.txt)|*.txt" -> "Text Files (*.txt)"; several pairs become
// Qt's ";;"-separated list.
QString qtFilter(const QString &pipeFilter);

void setResponder(Responder responder);

} // namespace FileDialogs
