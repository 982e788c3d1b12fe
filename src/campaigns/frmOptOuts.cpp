#include "campaigns/frmOptOuts.h"
#include "ui_frmOptOuts.h"

#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "data/OperatorTime.h"
#include "data/modFunctions.h"
#include "settings/Settings.h"
#include "settings/SetupStore.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QHeaderView>

namespace {

const QString Title = QStringLiteral("OPT-OUT");
const QString CsvFilter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*");

QStringList linesOf(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

} // namespace

frmOptOuts::frmOptOuts(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmOptOuts>())
{
    ui->setupUi(this);
    using Kind = QueryListModel::Kind;
    m_list = new QueryListModel({{QStringLiteral("Number"), QStringLiteral("Number"), true, Kind::Text, 120},
                                 {QStringLiteral("OptedOutAt"), QStringLiteral("Since (UTC)"), true, Kind::Text, 170},
                                 {QStringLiteral("Source"), QStringLiteral("How"), true, Kind::Text, 80},
                                 {QStringLiteral("Detail"), QStringLiteral("Detail"), true, Kind::Text}},
                                this);
    ui->grdOptOuts->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->grdOptOuts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->grdOptOuts->verticalHeader()->hide();
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmOptOuts::cmdAdd_Click);
    connect(ui->txtNumber, &QLineEdit::returnPressed, this, &frmOptOuts::cmdAdd_Click);
    connect(ui->cmdRemove, &QPushButton::clicked, this, &frmOptOuts::cmdRemove_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &frmOptOuts::cmdImport_Click);
    connect(ui->cmdExport, &QPushButton::clicked, this, &frmOptOuts::cmdExport_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmOptOuts::cmdSave_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::close);
    ui->cmdAdd->setAutoDefault(false);
    ui->cmdClose->setAutoDefault(false);
    Form_Load();
}

frmOptOuts::~frmOptOuts() = default;

void frmOptOuts::Form_Load()
{
    MessageBoxes::runShowingErrors(this, [&] {
        m_list->setQuery(QStringLiteral("SELECT Number, OptedOutAt, Source, Detail FROM OptOuts ORDER BY Number"));
        m_list->showIn(ui->grdOptOuts, QStringLiteral("Detail"));
        showCount();
        QStringList stops, lifts;
        const QHash<QString, bool> words = OptOuts::words();
        for (auto it = words.begin(); it != words.end(); ++it)
            (it.value() ? lifts : stops) << it.key();
        stops.sort();
        lifts.sort();
        ui->txtWords->setPlainText(stops.join(QLatin1Char('\n')));
        ui->txtLiftWords->setPlainText(lifts.join(QLatin1Char('\n')));
        ui->txtSenderName->setText(Marketing::senderName());
        ui->txtConfirmation->setText(Settings::value<Settings::Key::OptOutConfirmation>());
        ui->txtTimeZone->setText(Settings::value<Settings::Key::OperatorTimeZone>());
        ui->txtHolidays->setPlainText(CampaignSettings::holidaysText());
        showCountedHolidays();
    });
}

void frmOptOuts::showCountedHolidays()
{
    ui->txtCountedHolidays->setPlainText(
        CampaignSettings::countedHolidaysText(OperatorTime::current().now().date().year(), 2));
}

void frmOptOuts::showCount()
{
    const int count = m_list->rowCount();
    ui->lblCount->setText(count == 1 ? QStringLiteral("1 number on the list")
                                     : QStringLiteral("%1 numbers on the list").arg(count));
}

void frmOptOuts::refreshList()
{
    try {
        m_list->refresh();
        showCount();
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
}

void frmOptOuts::cmdAdd_Click()
{
    const QString number = ui->txtNumber->text().trimmed();
    if (OptOutList::keyOf(number).isEmpty()) {
        MessageBoxes::inform(this, Title, QStringLiteral("Type a cellphone number to add."));
        return;
    }
    try {
        if (!OptOutList::add(number, OptOutList::FromOperator))
            MessageBoxes::inform(this, Title,
                                 QStringLiteral("%1 is already on the list.").arg(OptOutList::keyOf(number)));
        ui->txtNumber->clear();
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
    refreshList();
}

void frmOptOuts::cmdRemove_Click()
{
    QStringList numbers;
    for (const QModelIndex &row : ui->grdOptOuts->selectionModel()->selectedRows())
        numbers << m_list->value(row.row(), QStringLiteral("Number")).toString();
    if (numbers.isEmpty())
        return;
    if (!MessageBoxes::ask(this, Title,
                           QStringLiteral("Take %1 off the opt-out list? Messages will go to %2 again.")
                               .arg(numbers.join(QStringLiteral(", ")),
                                    numbers.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"))))
        return;
    try {
        for (const QString &number : numbers)
            OptOutList::lift(number, OptOutList::FromOperator);
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
    refreshList();
}

void frmOptOuts::cmdImport_Click()
{
    const QString path = FileDialogs::openFileName(this, QStringLiteral("Import Opt-out List"), CsvFilter);
    if (path.isEmpty())
        return;
    OptOuts::ImportResult result;
    if (MessageBoxes::runShowingErrors(this, [&] { result = OptOuts::importCsv(path); }))
        MessageBoxes::inform(this, QStringLiteral("IMPORT"),
                             QStringLiteral("%1 numbers added, %2 already on the list, %3 lines without a number.")
                                 .arg(result.added)
                                 .arg(result.alreadyListed)
                                 .arg(result.unusable));
    refreshList();
}

void frmOptOuts::cmdExport_Click()
{
    const QString path =
        FileDialogs::saveFileName(this, QStringLiteral("Export Opt-out List"), CsvFilter,
                                  FileDialogs::datedName(QStringLiteral("opt-outs"), QStringLiteral("csv")));
    if (path.isEmpty())
        return;
    if (MessageBoxes::runShowingErrors(this, [&] { OptOuts::exportCsv(path); }))
        MessageBoxes::inform(this, QStringLiteral("DONE"), QStringLiteral("The list was written to %1.").arg(path));
}

void frmOptOuts::cmdSave_Click()
{
    QHash<QString, bool> words;
    for (const QString &word : linesOf(ui->txtWords->toPlainText()))
        words.insert(word, false);
    for (const QString &word : linesOf(ui->txtLiftWords->toPlainText()))
        words.insert(word, true);
    const bool saved = MessageBoxes::runShowingErrors(this, [&] {
        const QString zoneName = modFunctions::TrimBlanks(ui->txtTimeZone->text());
        const QTimeZone zone = SetupStore::timeZoneNamed(zoneName);
        Database::Transaction transaction;
        OptOuts::setWords(words);
        CampaignSettings::saveSenderName(ui->txtSenderName->text());
        CampaignSettings::saveHolidays(ui->txtHolidays->toPlainText());
        transaction.commit();
        Settings::setValue<Settings::Key::OptOutConfirmation>(modFunctions::TrimBlanks(ui->txtConfirmation->text()));
        Settings::setValue<Settings::Key::OperatorTimeZone>(zoneName);
        OperatorTime::setCurrent(zone);
        showCountedHolidays();
    });
    if (saved)
        MessageBoxes::inform(this, QStringLiteral("SAVED"), QStringLiteral("The words and settings were saved."));
}
