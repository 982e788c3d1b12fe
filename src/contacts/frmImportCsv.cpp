#include "contacts/frmImportCsv.h"

#include "ui_frmImportCsv.h"

#include "data/AppError.h"
#include "groups/GroupBook.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>
#include <limits>

namespace {

// Rows of the file shown under the field choices.
constexpr int PreviewRows = 20;

QString counted(qint64 count, const QString &one, const QString &many)
{
    return count == 1 ? one : many.arg(count);
}

} // namespace

frmImportCsv::frmImportCsv(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmImportCsv>())
{
    ui->setupUi(this);
    ui->prgImport->setVisible(false);
    ui->chkHeading->setEnabled(false);
    ui->cmdImport->setEnabled(false);
    ui->grdRefused->horizontalHeader()->setStretchLastSection(true);
    ui->grdRefused->verticalHeader()->hide();
    ui->grdPreview->horizontalHeader()->setDefaultSectionSize(150);
    for (QTableWidget *grid : {ui->grdPreview, ui->grdRefused}) {
        grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 10);
    }

    connect(ui->cmdBrowse, &QPushButton::clicked, this, &frmImportCsv::cmdBrowse_Click);
    connect(ui->chkHeading, &QCheckBox::clicked, this, &frmImportCsv::chkHeading_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &frmImportCsv::cmdImport_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmImportCsv::cmdCancel_Click);
    loadGroups();
}

frmImportCsv::~frmImportCsv() = default;

void frmImportCsv::loadGroups()
{
    ui->cboGroups->clear();
    ui->cboGroups->addItem(QStringLiteral("(none)"), qint64(0));
    MessageBoxes::runShowingErrors(this, [&] {
        for (const GroupBook::Group &group : GroupBook::list())
            ui->cboGroups->addItem(group.name, group.groupId);
    });
}

bool frmImportCsv::cmdBrowse_Click()
{
    const QString path = FileDialogs::openFileName(
        this, QStringLiteral("SELECT CSV FILE"),
        QStringLiteral("Comma Delimited File (*.csv)|*.csv|Text File (*.txt)|*.txt|All Files (*)|*"));
    if (path.trimmed().isEmpty())
        return false;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            m_reader.emplace(CsvReader::fromFile(
                path, [](const QString &cell) { return !CsvImport::fieldForHeading(cell).isEmpty(); }));
        }))
        return false;
    ui->txtFile->setText(path);
    ui->grdRefused->setRowCount(0);
    ui->lblStatus->setText(QStringLiteral("Ready ..."));
    showFile();
    return true;
}

void frmImportCsv::chkHeading_Click()
{
    if (!m_reader)
        return;
    m_reader->setHasHeading(ui->chkHeading->isChecked());
    showFile();
}

QComboBox *frmImportCsv::fieldBox(int column) const
{
    return qobject_cast<QComboBox *>(ui->grdPreview->cellWidget(0, column));
}

void frmImportCsv::showFile()
{
    CsvReader &reader = *m_reader;
    const QString delimiter = reader.delimiter() == u','   ? QStringLiteral("comma")
                              : reader.delimiter() == u';' ? QStringLiteral("semicolon")
                                                           : QStringLiteral("tab");
    ui->lblRead->setText(
        QStringLiteral("Read as %1, %2-delimited.").arg(TextFiles::nameOf(reader.encoding()), delimiter));
    ui->chkHeading->setEnabled(true);
    ui->chkHeading->setChecked(reader.hasHeading());

    QList<CsvReader::Record> rows;
    reader.rewind();
    CsvReader::Record record;
    qsizetype columns = reader.heading().size();
    while (rows.size() < PreviewRows && reader.next(record)) {
        rows.append(record);
        columns = std::max(columns, record.cells.size());
    }
    reader.rewind();

    std::optional<CsvImport::Mapping> mapping;
    MessageBoxes::runShowingErrors(this, [&] { mapping = CsvImport::rememberedMapping(reader.heading()); });
    if (!mapping)
        mapping = CsvImport::automaticMapping(reader.heading(), rows.isEmpty() ? QStringList() : rows.first().cells);

    m_filling = true;
    QTableWidget *grid = ui->grdPreview;
    grid->clear();
    grid->setColumnCount(int(columns));
    grid->setRowCount(int(rows.size()) + 1);
    QStringList headings;
    for (int c = 0; c < int(columns); ++c) {
        const QString heading = reader.heading().value(c);
        headings.append(heading.isEmpty() ? QStringLiteral("Column %1").arg(c + 1) : heading);
        auto *box = new QComboBox(grid);
        box->setObjectName(QStringLiteral("cboField_%1").arg(c));
        box->addItem(QStringLiteral("(ignore)"), QString());
        for (const CsvImport::Field &field : CsvImport::fields())
            box->addItem(field.label, field.column);
        box->setCurrentIndex(std::max(0, box->findData(mapping->value(c))));
        connect(box, &QComboBox::currentIndexChanged, this, [this, c] { fieldChosen(c); });
        grid->setCellWidget(0, c, box);
    }
    grid->setHorizontalHeaderLabels(headings);
    QStringList lines{QStringLiteral("Field")};
    for (int r = 0; r < int(rows.size()); ++r) {
        const CsvReader::Record &row = rows.at(r);
        lines.append(QString::number(row.line));
        if (!row.error.isEmpty()) {
            grid->setItem(r + 1, 0, new QTableWidgetItem(row.error));
            if (columns > 1)
                grid->setSpan(r + 1, 0, 1, int(columns));
            continue;
        }
        for (int c = 0; c < int(row.cells.size()); ++c) {
            // A line break inside a cell is shown as a blank, the row stays one line high.
            QString text = row.cells.at(c);
            text.replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\n'), QLatin1Char(' '));
            grid->setItem(r + 1, c, new QTableWidgetItem(text));
        }
    }
    grid->setVerticalHeaderLabels(lines);
    m_filling = false;
    countDuplicates();
}

void frmImportCsv::fieldChosen(int column)
{
    if (m_filling)
        return;
    const QString field = fieldBox(column)->currentData().toString();
    // A field is filled from one column: the one chosen last.
    m_filling = true;
    for (int c = 0; c < ui->grdPreview->columnCount(); ++c) {
        if (c != column && !field.isEmpty() && fieldBox(c)->currentData().toString() == field)
            fieldBox(c)->setCurrentIndex(0);
    }
    m_filling = false;
    countDuplicates();
}

CsvImport::Mapping frmImportCsv::mapping() const
{
    CsvImport::Mapping chosen;
    for (int c = 0; c < ui->grdPreview->columnCount(); ++c)
        chosen.append(fieldBox(c) ? fieldBox(c)->currentData().toString() : QString());
    return chosen;
}

void frmImportCsv::countDuplicates()
{
    CsvImport::DuplicateCount count;
    const CsvImport::Mapping chosen = mapping();
    const bool found =
        MessageBoxes::runShowingErrors(this, [&] { count = CsvImport::countDuplicates(*m_reader, chosen); });
    m_lines = count.lines;
    QString text;
    if (!found)
        text = QStringLiteral("The address book could not be read.");
    else if (!chosen.contains(QStringLiteral("Mobile")))
        text = QStringLiteral("No column is the cellphone number, so no contact can be found twice.");
    else if (count.total() == 0)
        text = counted(count.lines, QStringLiteral("1 line"), QStringLiteral("%1 lines"))
               + QStringLiteral(", none with a cellphone number the address book or an earlier line already has.");
    else
        text = counted(count.lines, QStringLiteral("1 line: "), QStringLiteral("%1 lines: "))
               + counted(count.inBook, QStringLiteral("1 has a number already in the address book, "),
                         QStringLiteral("%1 have a number already in the address book, "))
               + counted(count.inFile, QStringLiteral("1 repeats a number of an earlier line."),
                         QStringLiteral("%1 repeat a number of an earlier line."));
    ui->lblDuplicates->setText(text);
    m_duplicates = found && count.total() > 0;
    ui->fraDuplicates->setEnabled(m_duplicates);
    ui->cmdImport->setEnabled(found && count.lines > 0);
}

CsvImport::Duplicates frmImportCsv::duplicateChoice() const
{
    if (ui->optUpdate->isChecked())
        return CsvImport::Duplicates::Update;
    if (ui->optAdd->isChecked())
        return CsvImport::Duplicates::Add;
    return CsvImport::Duplicates::Skip;
}

void frmImportCsv::setBusy(bool busy)
{
    m_importing = busy;
    for (QWidget *control :
         std::initializer_list<QWidget *>{ui->cmdBrowse, ui->chkHeading, ui->grdPreview, ui->cboGroups, ui->cmdImport})
        control->setEnabled(!busy);
    ui->fraDuplicates->setEnabled(!busy && m_duplicates);
    ui->prgImport->setVisible(busy);
}

void frmImportCsv::cmdImport_Click()
{
    if (!m_reader || m_importing)
        return;
    const CsvImport::Mapping chosen = mapping();
    if (std::all_of(chosen.cbegin(), chosen.cend(), [](const QString &field) { return field.isEmpty(); })) {
        MessageBoxes::inform(this, QStringLiteral("IMPORT"),
                             QStringLiteral("Choose the contact field of at least one column."));
        return;
    }
    MessageBoxes::runShowingErrors(this, [&] { CsvImport::rememberMapping(m_reader->heading(), chosen); });

    ui->grdRefused->setRowCount(0);
    m_cancelAsked = false;
    setBusy(true);
    ui->prgImport->setRange(0, int(std::min<qint64>(m_lines, std::numeric_limits<int>::max())));
    ui->prgImport->setValue(0);
    ui->lblStatus->setText(QStringLiteral("Importing ..."));
    CsvImport::Result result;
    std::optional<AppError> failed;
    try {
        result = CsvImport::import(*m_reader, chosen, duplicateChoice(), ui->cboGroups->currentData().toLongLong(),
                                   [this](qint64 lines) {
                                       ui->prgImport->setValue(int(std::min<qint64>(lines, ui->prgImport->maximum())));
                                       QCoreApplication::processEvents();
                                       return !m_cancelAsked;
                                   });
    } catch (const AppError &error) {
        failed = error;
    }
    setBusy(false);

    ui->grdRefused->setRowCount(int(result.refused.size()));
    for (int row = 0; row < int(result.refused.size()); ++row) {
        auto *line = new QTableWidgetItem(QString::number(result.refused.at(row).line));
        line->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        ui->grdRefused->setItem(row, 0, line);
        ui->grdRefused->setItem(row, 1, new QTableWidgetItem(result.refused.at(row).reason));
    }
    if (failed) {
        ui->lblStatus->setText(QStringLiteral("ERROR"));
        MessageBoxes::showError(this, *failed);
        return;
    }
    // The window stays open when lines were refused: another import of the
    // file meets the contacts this one added.
    if (!result.cancelled && !result.refused.isEmpty())
        countDuplicates();
    if (result.cancelled) {
        ui->grdRefused->setRowCount(0);
        ui->lblStatus->setText(QStringLiteral("Cancelled ..."));
        MessageBoxes::inform(this, QStringLiteral("IMPORT"),
                             QStringLiteral("The import was cancelled. Nothing was stored."));
        return;
    }
    QStringList parts{counted(result.added, QStringLiteral("1 contact added"), QStringLiteral("%1 contacts added")),
                      counted(result.updated, QStringLiteral("1 updated"), QStringLiteral("%1 updated"))};
    if (result.skipped > 0)
        parts.append(
            counted(result.skipped, QStringLiteral("1 duplicate skipped"), QStringLiteral("%1 duplicates skipped")));
    if (!result.refused.isEmpty())
        parts.append(counted(qint64(result.refused.size()),
                             QStringLiteral("1 line not imported (listed under Lines Not Imported)"),
                             QStringLiteral("%1 lines not imported (listed under Lines Not Imported)")));
    const QString done = parts.join(QStringLiteral(", ")) + QLatin1Char('.');
    ui->lblStatus->setText(QStringLiteral("Done. Ready ..."));
    MessageBoxes::inform(this, QStringLiteral("IMPORT"), done);
    // With lines to read the window stays open.
    if (result.refused.isEmpty())
        accept();
}

void frmImportCsv::cmdCancel_Click()
{
    if (m_importing) {
        m_cancelAsked = true;
        return;
    }
    reject();
}

void frmImportCsv::closeEvent(QCloseEvent *event)
{
    // Closing while importing cancels it; the window closes once it is rolled back.
    if (m_importing) {
        m_cancelAsked = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmImportCsv::keyPressEvent(QKeyEvent *event)
{
    if (m_importing && event->key() == Qt::Key_Escape) {
        m_cancelAsked = true;
        return;
    }
    QDialog::keyPressEvent(event);
}
