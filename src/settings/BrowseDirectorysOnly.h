#pragma once

#include <QString>

class QWidget;

// The folder dialog of the setup window.
namespace BrowseDirectorysOnly {

// Asks for a folder, modal to owner, opening at initialFolder when it is there
// (otherwise where the file dialogs open). Gives the chosen folder's path, or
// an empty text when the operator cancelled.
QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder);

} // namespace BrowseDirectorysOnly
