#include "contacts/frmSearchClients.h"

#include "ui_frmSearchClients.h"

#include "contacts/ClientHandOver.h"
#include "contacts/ContactSearch.h"
#include "data/Database.h"
#include "ui/MessageBoxes.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSqlQueryModel>

frmSearchClients::frmSearchClients(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSearchClients>()), m_results(new QSqlQueryModel(this))
{
    ui->setupUi(this);
    ui->grdResults->setModel(m_results);
    ui->grdResults->verticalHeader()->hide();
    ui->grdResults->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    ui->grdResults->installEventFilter(this);

    const std::array options{ui->optOptions_0, ui->optOptions_1, ui->optOptions_2};
    for (int i = 0; i < int(options.size()); ++i)
        connect(options.at(size_t(i)), &QRadioButton::clicked, this, [this, i] { optOptions_Click(i); });
    connect(ui->cmdSearch, &QPushButton::clicked, this, &frmSearchClients::cmdSearch_Click);
    connect(ui->txtCriteria, &QLineEdit::returnPressed, this, &frmSearchClients::cmdSearch_Click);
    connect(ui->grdResults, &QTableView::doubleClicked, this, &frmSearchClients::grdResults_DblClick);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmSearchClients::cmdClose_Click);
    ui->txtCriteria->setFocus();
}

frmSearchClients::~frmSearchClients() = default;

qint32 frmSearchClients::pick(QWidget *parent)
{
    ClientHandOver::SelectedClientID = 0;
    frmSearchClients search(parent);
    search.exec();
    return ClientHandOver::SelectedClientID;
}

void frmSearchClients::optOptions_Click(int index)
{
    const bool names = index == 0;
    ui->Frame4->setEnabled(names);
    for (QCheckBox *box : {ui->chkContact_0, ui->chkContact_1, ui->chkContact_2, ui->chkContact_3}) {
        box->setEnabled(names);
        box->setChecked(names);
    }
    ui->txtCriteria->setFocus();
}

void frmSearchClients::cmdSearch_Click()
{
    ContactSearch::Criteria criteria;
    criteria.field = ui->optOptions_1->isChecked()   ? ContactSearch::Field::EMail
                     : ui->optOptions_2->isChecked() ? ContactSearch::Field::Phones
                                                     : ContactSearch::Field::Names;
    criteria.text = ui->txtCriteria->text();
    criteria.columns = {ui->chkContact_0->isChecked(), ui->chkContact_1->isChecked(), ui->chkContact_2->isChecked(),
                        ui->chkContact_3->isChecked()};
    const ContactSearch::Statement statement = ContactSearch::statement(criteria);

    if (!MessageBoxes::runShowingErrors(this, [&] { Database::fill(*m_results, statement.sql, statement.values); })) {
        m_results->clear();
        return;
    }
    m_results->setHeaderData(1, Qt::Horizontal, QStringLiteral("Last Name"));
    m_results->setHeaderData(2, Qt::Horizontal, QStringLiteral("First Name"));
    m_results->setHeaderData(3, Qt::Horizontal, QStringLiteral("Ass No"));
    ui->grdResults->setColumnHidden(0, true);
    if (m_results->rowCount() > 0)
        ui->grdResults->selectRow(0);
}

void frmSearchClients::grdResults_DblClick()
{
    const QModelIndex current = ui->grdResults->currentIndex();
    if (!current.isValid())
        return;
    ClientHandOver::SelectedClientID = m_results->index(current.row(), 0).data().toInt();
    accept();
}

void frmSearchClients::cmdClose_Click()
{
    reject();
}

bool frmSearchClients::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->grdResults && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            grdResults_DblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
