#include "ui/FileDialogs.h"

#include "data/AppError.h"
#include "data/OperatorTime.h"
#include "ui/MessageBoxes.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace FileDialogs {

namespace {
Responder &responder()
{
    static Responder installed;
    return installed;
}

FolderMemory &memory()
{
    static FolderMemory installed;
    return installed;
}

QString show(QWidget *parent, const Asked &asked)
{
    if (const Responder &answer = responder())
        return answer(asked);
    switch (asked.kind) {
    case Kind::Open:
        return QFileDialog::getOpenFileName(parent, asked.title, asked.directory, asked.filter);
    case Kind::Save:
        // The caller asks its own question about a file that is there.
        return QFileDialog::getSaveFileName(parent, asked.title, asked.directory, asked.filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    case Kind::Folder:
        return QFileDialog::getExistingDirectory(parent, asked.title, asked.directory);
    }
    return {};
}

// The folder kept from the last choice; nothing when it cannot be read, which
// has then been said: a folder that cannot be read is not taken for none.
std::optional<QString> keptFolder(QWidget *parent)
{
    if (!memory().recall)
        return QString();
    try {
        return memory().recall();
    } catch (const AppError &error) {
        MessageBoxes::showError(parent, error);
        return std::nullopt;
    }
}

QString ask(QWidget *parent, Asked asked, const QString &suggestedName, const QString &preferred)
{
    const std::optional<QString> kept = keptFolder(parent);
    if (!kept)
        return {};
    QString folder = QDir::homePath();
    if (!preferred.isEmpty() && QFileInfo(preferred).isDir())
        folder = preferred;
    else if (!kept->isEmpty() && QFileInfo(*kept).isDir())
        folder = *kept;
    asked.directory = suggestedName.isEmpty() ? folder : QDir(folder).filePath(suggestedName);

    const QString chosen = show(parent, asked);
    if (chosen.trimmed().isEmpty() || !memory().keep)
        return chosen;
    const QFileInfo path(chosen.trimmed());
    const QString chosenFolder =
        QDir::cleanPath(asked.kind == Kind::Folder ? path.absoluteFilePath() : path.absolutePath());
    if (chosenFolder != *kept) {
        try {
            memory().keep(chosenFolder);
        } catch (const AppError &error) {
            // The choice stands; only the next dialog opens elsewhere.
            MessageBoxes::showError(parent, error);
        }
    }
    return chosen;
}
} // namespace

QString qtFilter(const QString &pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString patterns = parts.at(i + 1).trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << (description.contains(QLatin1Char('('))
                        ? description
                        : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    if (filters.isEmpty() && !pipeFilter.trimmed().isEmpty())
        filters << pipeFilter.trimmed();
    return filters.join(QStringLiteral(";;"));
}

QString openFileName(QWidget *parent, const QString &title, const QString &filter, const QString &preferred)
{
    return ask(parent, Asked{Kind::Open, title, qtFilter(filter), {}}, {}, preferred);
}

QString saveFileName(QWidget *parent, const QString &title, const QString &filter, const QString &suggestedName,
                     const QString &defaultSuffix)
{
    QString chosen = ask(parent, Asked{Kind::Save, title, qtFilter(filter), {}}, suggestedName, {});
    if (chosen.trimmed().isEmpty())
        return {};
    if (!defaultSuffix.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QLatin1Char('.') + defaultSuffix;
    if (QFileInfo::exists(chosen)
        && !MessageBoxes::ask(parent, QStringLiteral("EXIST"),
                              QStringLiteral("The file name you specified already exist. Do you want to "
                                             "overwrite this file?")))
        return {};
    return chosen;
}

QString existingDirectory(QWidget *parent, const QString &title, const QString &preferred)
{
    return ask(parent, Asked{Kind::Folder, title, {}, {}}, {}, preferred);
}

QString datedName(const QString &stem, const QString &suffix)
{
    return stem + QLatin1Char('-') + OperatorTime::current().now().date().toString(Qt::ISODate) + QLatin1Char('.')
           + suffix;
}

void setResponder(Responder installed)
{
    responder() = std::move(installed);
}

void setFolderMemory(FolderMemory installed)
{
    memory() = std::move(installed);
}

} // namespace FileDialogs
