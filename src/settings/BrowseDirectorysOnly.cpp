#include "settings/BrowseDirectorysOnly.h"

#include "ui/FileDialogs.h"

namespace BrowseDirectorysOnly {

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder)
{
    return FileDialogs::existingDirectory(owner, title, initialFolder);
}

} // namespace BrowseDirectorysOnly
