#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace FileDialogs {

namespace {
Responder &responder()
{
    static Responder installed;
    return installed;
}

QString ask(QWidget *parent, const Asked &asked)
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

QString openFileName(QWidget *parent, const QString &title, const QString &filter,
                     const QString &directory)
{
    return ask(parent, Asked{Kind::Open, title, qtFilter(filter), directory});
}

QString saveFileName(QWidget *parent, const QString &title, const QString &filter,
                     const QString &directory, const QString &defaultSuffix)
{
    const QString chosen = ask(parent, Asked{Kind::Save, title, qtFilter(filter), directory});
    if (chosen.isEmpty() || defaultSuffix.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + QLatin1Char('.') + defaultSuffix;
}

QString existingDirectory(QWidget *parent, const QString &title, const QString &directory)
{
    return ask(parent, Asked{Kind::Folder, title, {}, directory});
}

void setResponder(Responder installed)
{
    responder() = std::move(installed);
}

} // namespace FileDialogs
