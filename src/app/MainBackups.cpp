#include "app/MainBackups.h"

#include "app/MainLists.h"
#include "app/modMain.h"
#include "data/AppError.h"
#include "data/Backups.h"
#include "data/Database.h"
#include "data/OperatorTime.h"
#include "settings/RunningSetup.h"
#include "settings/SetupStore.h"
#include "ui/BusyPointer.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QThread>

#include <algorithm>
#include <memory>

MainBackups::MainBackups(QWidget *window, QLabel *panel, MainLists &lists)
    : m_window(window), m_lists(lists), m_panel(panel)
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &MainBackups::startDaily);
}

MainBackups::~MainBackups()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void MainBackups::showProblem(const QString &problem)
{
    if (problem.isEmpty()) {
        m_panel->clear();
        m_panel->hide();
        return;
    }
    const QString text = QStringLiteral("Backup failed: ") + problem.simplified();
    m_panel->setToolTip(text);
    m_panel->setText(m_panel->fontMetrics().elidedText(text, Qt::ElideRight, 420));
    m_panel->show();
}

void MainBackups::startDaily()
{
    // Again a minute after the office's next midnight.
    const OperatorTime office = OperatorTime::current();
    const QDateTime now = office.now();
    m_next.start(int(std::clamp<qint64>(now.msecsTo(office.instant(now.date().addDays(1), QTime(0, 1))), 60 * 1000,
                                        25 * 60 * 60 * 1000)));
    if (m_thread || Database::engine() != Database::Engine::SQLite)
        return;
    const QString source = Database::path();
    const QString folder = Backups::folder();
    Backups::Kept kept;
    try {
        kept = SetupStore::backupsKept();
        if (!Backups::dailyDue(source, folder, now))
            return;
    } catch (const AppError &error) {
        showProblem(error.description());
        return;
    }
    auto problem = std::make_shared<QString>();
    m_thread = QThread::create([source, folder, now, kept, problem] {
        try {
            Backups::takeDaily(source, folder, now, kept);
        } catch (const AppError &error) {
            *problem = error.description();
        }
    });
    connect(m_thread, &QThread::finished, this, [this, problem] {
        m_thread->deleteLater();
        m_thread = nullptr;
        showProblem(*problem);
        emit dailyDone();
    });
    m_thread->start(QThread::LowPriority);
}

void MainBackups::backUp()
{
    if (Database::engine() == Database::Engine::SQLite) {
        backUpTo(QStringLiteral("Tellwave Databases (*.db)|*.db"), QFileInfo(Database::path()).completeBaseName(),
                 QStringLiteral("db"), [](const QString &target) {
                     Backups::copy(Database::path(), target);
                     return QStringLiteral("The database was backed up to %1.\n\nThe copy was checked and is sound.")
                         .arg(target);
                 });
        return;
    }
    if (Backups::pgDumpProgram().isEmpty()) {
        MessageBoxes::inform(
            m_window, QStringLiteral("BACKUP"),
            QStringLiteral("The database is on a PostgreSQL server, and pg_dump is not installed on this "
                           "computer.\n\nInstall the PostgreSQL client programs (the postgresql-client "
                           "package) to back it up from here, or have it backed up on the server."));
        return;
    }
    backUpTo(QStringLiteral("PostgreSQL Dumps (*.dump)|*.dump"),
             Database::partOf(Database::connectionString(), QStringLiteral("Database")), QStringLiteral("dump"),
             [](const QString &target) {
                 const QString command =
                     Backups::dumpServer(Database::connectionString(), Database::password(), target);
                 return QStringLiteral("The database was backed up to %1.\n\nTo restore it, while no one uses the "
                                       "program, run:\n\n%2")
                     .arg(target, command);
             });
}

void MainBackups::backUpTo(const QString &filter, const QString &stem, const QString &suffix,
                           const std::function<QString(const QString &target)> &write)
{
    const QString target = FileDialogs::saveFileName(m_window, QStringLiteral("Back Up Now"), filter,
                                                     FileDialogs::datedName(stem, suffix), suffix);
    if (target.isEmpty())
        return;
    QString done;
    const bool written = MessageBoxes::runShowingErrors(m_window, [&] {
        try {
            done = write(target);
        } catch (const AppError &error) {
            showProblem(error.description()); // the status bar says so too
            throw;
        }
    });
    if (!written)
        return;
    showProblem({});
    MessageBoxes::inform(m_window, QStringLiteral("BACKUP"), done);
}

bool MainBackups::restoreConfirmed(const QString &chosen)
{
    Backups::Facts facts;
    try {
        const BusyPointer busy;
        facts = Backups::inspect(chosen);
    } catch (const AppError &error) {
        // Not the database's error: the file chosen is not a backup it can use.
        MessageBoxes::show(m_window, QStringLiteral("RESTORE"), error.description(), QMessageBox::Critical);
        return false;
    }
    const QLocale locale;
    const QString when = facts.takenAt.time() == QTime(0, 0)
                             ? locale.toString(facts.takenAt.date(), QStringLiteral("d MMMM yyyy"))
                             : locale.toString(facts.takenAt, QStringLiteral("d MMMM yyyy, HH:mm"));
    return MessageBoxes::ask(
        m_window, QStringLiteral("RESTORE"),
        QStringLiteral("Restore the database from the backup of %1?\n\n%2\n\nIt holds %3 contacts, "
                       "%4 groups, %5 outbox messages and %6 replies.\n\nEverything written since "
                       "then is replaced; the database as it is now is kept beside it.")
            .arg(when, chosen, locale.toString(facts.contacts), locale.toString(facts.groups),
                 locale.toString(facts.outbox), locale.toString(facts.replies)));
}

void MainBackups::restore()
{
    if (Database::engine() == Database::Engine::PostgreSQL) {
        MessageBoxes::inform(m_window, QStringLiteral("RESTORE"),
                             QStringLiteral("The database is on a PostgreSQL server: a backup made with Back Up Now is "
                                            "restored on the server with pg_restore, while no one uses the program "
                                            "(Back Up Now shows the command)."));
        return;
    }
    if (m_lists.refusedWhileRunning())
        return;
    const QString chosen =
        FileDialogs::openFileName(m_window, QStringLiteral("Restore from Backup"),
                                  QStringLiteral("Tellwave Databases (*.db)|*.db|All Files (*)|*"), Backups::folder());
    if (chosen.isEmpty() || !restoreConfirmed(chosen))
        return;
    if (m_thread)
        m_thread->wait();
    QString kept;
    const bool replaced = MessageBoxes::runShowingErrors(m_window, [&] {
        try {
            kept = Backups::restore(chosen, Database::path(), OperatorTime::current().now());
            modMain::LoadSetup();
            RunningSetup::useGatewayHost(modMain::ChooseGatewayHost(RunningSetup::gatewayUsername()));
        } catch (const AppError &) {
            // Whatever the database is now, the lists show it before the error.
            m_lists.refreshInbox();
            m_lists.refreshOutbox();
            throw;
        }
    });
    if (!replaced)
        return;
    m_lists.refreshInbox();
    m_lists.refreshOutbox();
    emit restored();
    MessageBoxes::inform(m_window, QStringLiteral("RESTORE"),
                         QStringLiteral("The database was restored from %1.\n\nThe database as it was before is kept "
                                        "as %2.")
                             .arg(chosen, kept));
}
