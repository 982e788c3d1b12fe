#include "contacts/frmSelectGroup.h"

#include "ui_frmSelectGroup.h"

#include "contacts/ContactExport.h"
#include "contacts/CustomerImport.h"
#include "data/modFunctions.h"
#include "groups/GroupBook.h"
#include "groups/frmAddGroups.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QHeaderView>

frmSelectGroup::frmSelectGroup(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmSelectGroup>())
{
    ui->setupUi(this);
    ui->grdList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);

    connect(ui->cmdSelect, &QPushButton::clicked, this, &frmSelectGroup::cmdSelect_Click);
    connect(ui->Command1, &QPushButton::clicked, this, &frmSelectGroup::Command1_Click);
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmSelectGroup::cmdAdd_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSelectGroup::cmdCancel_Click);
}

frmSelectGroup::~frmSelectGroup() = default;

QString frmSelectGroup::action() const
{
    return ActionType.trimmed().toUpper();
}

QString frmSelectGroup::format() const
{
    return FileFormat.trimmed().toUpper();
}

void frmSelectGroup::showEvent(QShowEvent *event)
{
    // The opener sets ActionType and FileFormat between construction and
    // showing, so the window reads them when it first appears.
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    QDialog::showEvent(event);
}

void frmSelectGroup::Form_Load()
{
    if (action() == QStringLiteral("EXPORT")) {
        ui->cmdAdd->setVisible(false);
        ui->Command1->setText(QStringLiteral("All Contacts"));
        ui->lblList->setText(QStringLiteral("Contacts not exported"));
    }
    loadGroups();
}

void frmSelectGroup::loadGroups()
{
    ui->cboGroups->clear();
    MessageBoxes::runShowingErrors(this, [&] {
        for (const GroupBook::Group &group : GroupBook::list())
            ui->cboGroups->addItem(group.name, group.groupId);
    });
    ui->cboGroups->setCurrentIndex(-1);
}

qint64 frmSelectGroup::chosenGroup() const
{
    const int index = ui->cboGroups->currentIndex();
    return index < 0 ? 0 : ui->cboGroups->itemData(index).toLongLong();
}

void frmSelectGroup::cmdSelect_Click()
{
    if (ui->cboGroups->currentIndex() < 0 || modFunctions::TrimBlanks(ui->cboGroups->currentText()).isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("INFO"),
                             QStringLiteral("To use this option you have to select a group, otherwise use the "
                                            "WITHOUT GROUP option."));
        return;
    }
    UseGroup = true;
    dispatch();
}

void frmSelectGroup::Command1_Click()
{
    UseGroup = false;
    dispatch();
}

void frmSelectGroup::cmdAdd_Click()
{
    frmAddGroups addGroup(this);
    addGroup.exec();
    const qint64 chosen = chosenGroup();
    loadGroups();
    if (chosen != 0)
        ui->cboGroups->setCurrentIndex(ui->cboGroups->findData(chosen));
}

void frmSelectGroup::cmdCancel_Click()
{
    reject();
}

void frmSelectGroup::dispatch()
{
    if (action() == QStringLiteral("EXPORT") && format() == QStringLiteral("CSV"))
        ExportCSVFile();
    else if (action() == QStringLiteral("IMPORT") && format() == QStringLiteral("PASTEL"))
        ImportPastelFile();
}

void frmSelectGroup::showProgress(const QString &text, bool now)
{
    if (!now && m_lastShown.isValid() && m_lastShown.elapsed() < 100)
        return;
    ui->lblStatus->setText(text);
    ui->lblStatus->repaint();
    m_lastShown.start();
}

void frmSelectGroup::listRefused()
{
    ui->grdList->setRowCount(int(m_refused.size()));
    for (int row = 0; row < int(m_refused.size()); ++row)
        ui->grdList->setItem(row, 0, new QTableWidgetItem(m_refused.at(row)));
}

void frmSelectGroup::ImportPastelFile()
{
    const QString path = FileDialogs::openFileName(this, QStringLiteral("SELECT PASTEL FILE"),
                                                   QStringLiteral("Text File (*.txt)|*.txt"));
    if (modFunctions::TrimBlanks(path).isEmpty())
        return;

    m_refused.clear();
    ui->grdList->setRowCount(0);
    m_lastShown.invalidate();
    const auto imported = [](qint64 count) {
        return QStringLiteral("Imported ") + QString::number(count) + QStringLiteral(" contacts ...");
    };
    CustomerImport::Imported result;
    const bool ran = MessageBoxes::runShowingErrors(this, [&] {
        result = CustomerImport::importFile(
            path, UseGroup ? chosenGroup() : 0, [&](qint64 count) { showProgress(imported(count), false); },
            [this](const QString &text) { m_refused.append(text); });
    });
    listRefused();
    if (!ran) {
        showProgress(QStringLiteral("ERROR"), true);
        return;
    }
    showProgress(imported(result.contacts), true);

    const QString done = QStringLiteral("Done Import Contacts From Pastel File");
    if (result.refused.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("INFO"), done);
        accept();
        return;
    }
    // The window stays open so that the refused lines can be read.
    const qsizetype refused = result.refused.size();
    const QString stored = result.contacts == 1 ? QStringLiteral("1 contact was imported; ")
                                                : QStringLiteral("%1 contacts were imported; ").arg(result.contacts);
    const QString listed =
        refused == 1 ? QStringLiteral("1 line was refused and is listed under Contacts Not Imported.")
                     : QStringLiteral("%1 lines were refused and are listed under Contacts Not Imported.").arg(refused);
    MessageBoxes::inform(this, QStringLiteral("INFO"), done + QStringLiteral("\n\n") + stored + listed);
}

void frmSelectGroup::ExportCSVFile()
{
    const QString path = FileDialogs::saveFileName(
        this, QStringLiteral("SELECT CSV FILE NAME AND LOCATION"), QStringLiteral("Comma Delimited File (*.csv)|*.csv"),
        FileDialogs::datedName(QStringLiteral("contacts"), QStringLiteral("csv")), QStringLiteral("csv"));
    if (path.isEmpty())
        return;

    m_lastShown.invalidate();
    const auto exported = [](qint64 count) {
        return QStringLiteral("Exported ") + QString::number(count) + QStringLiteral(" contacts ...");
    };
    qint64 count = 0;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            count = ContactExport::exportTo(path, UseGroup ? chosenGroup() : 0,
                                            [&](qint64 written) { showProgress(exported(written), false); });
        })) {
        showProgress(QStringLiteral("ERROR"), true);
        return;
    }
    if (count > 0)
        showProgress(exported(count), true);
    MessageBoxes::inform(this, QStringLiteral("INFO"),
                         QStringLiteral("Done exporting ") + QString::number(count) + QStringLiteral(" contacts."));
}
