#include "groups/frmEditGroupsListContacts.h"

#include "ui_frmEditGroupsListContacts.h"

#include "data/AppError.h"
#include "groups/GroupBook.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QHash>
#include <QHeaderView>

namespace {

using Kind = QueryListModel::Kind;

// The picker's list with its check column written straight to the contact's
// row. What was ticked since the list was last read is kept beside it, so a
// tick shows at once without reading thousands of rows again.
class PickerModel : public QueryListModel
{
public:
    PickerModel(QWidget *window, QObject *parent)
        : QueryListModel(
              {
                  {QStringLiteral("Selected"), QStringLiteral("Selected"), true, Kind::Check, 70},
                  {QStringLiteral("Mobile"), QStringLiteral("Mobile"), true, Kind::Text, 110},
                  {QStringLiteral("LastName"), QStringLiteral("LastName"), true, Kind::Text, 130},
                  {QStringLiteral("FirstName"), QStringLiteral("FirstName"), true, Kind::Text, 110},
                  {QStringLiteral("Initials"), QStringLiteral("Initials"), true, Kind::Text, 60},
                  {QStringLiteral("Salute"), QStringLiteral("Salute"), true, Kind::Text, 60},
                  {QStringLiteral("EnrollerAssNo"), QStringLiteral("EnrollerAssNo"), true, Kind::Text, 100},
                  {QStringLiteral("TelWork"), QStringLiteral("TelWork"), true, Kind::Text, 100},
                  {QStringLiteral("EMail"), QStringLiteral("EMail")},
                  {QStringLiteral("ClientID"), QStringLiteral("ClientID"), false},
              },
              parent),
          m_window(window)
    {
        connect(this, &QAbstractItemModel::modelReset, this, [this] { m_ticked.clear(); });
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::CheckStateRole && index.column() == SelectedColumn) {
            const auto ticked = m_ticked.constFind(clientOf(index.row()));
            if (ticked != m_ticked.constEnd())
                return *ticked ? Qt::Checked : Qt::Unchecked;
        }
        return QueryListModel::data(index, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags result = QueryListModel::flags(index);
        if (index.isValid() && index.column() == SelectedColumn)
            result |= Qt::ItemIsUserCheckable;
        return result;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::CheckStateRole || index.column() != SelectedColumn)
            return false;
        const qint64 clientId = clientOf(index.row());
        const bool selected = value.toInt() == Qt::Checked;
        try {
            GroupBook::setSelected(clientId, selected);
        } catch (const AppError &error) {
            MessageBoxes::showError(m_window, error);
            return false;
        }
        m_ticked.insert(clientId, selected);
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

private:
    static constexpr int SelectedColumn = 0;

    qint64 clientOf(int row) const { return value(row, QStringLiteral("ClientID")).toLongLong(); }

    QWidget *m_window;
    QHash<qint64, bool> m_ticked;
};

} // namespace

frmEditGroupsListContacts::frmEditGroupsListContacts(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmEditGroupsListContacts>()), m_contacts(new PickerModel(this, this))
{
    ui->setupUi(this);
    ui->grdClients->verticalHeader()->hide();
    ui->grdClients->verticalHeader()->setDefaultSectionSize(ui->grdClients->fontMetrics().height() + 8);
    connect(ui->cmdAll, &QPushButton::clicked, this, &frmEditGroupsListContacts::cmdAll_Click);
    connect(ui->cmdNone, &QPushButton::clicked, this, &frmEditGroupsListContacts::cmdNone_Click);
    Form_Load();
}

frmEditGroupsListContacts::~frmEditGroupsListContacts() = default;

void frmEditGroupsListContacts::Form_Load()
{
    MessageBoxes::runShowingErrors(this, [&] {
        m_contacts->setQuery(GroupBook::pickerStatement());
        ui->lblCount->setText(QString::number(GroupBook::pickerCount()));
    });
    m_contacts->showIn(ui->grdClients, QStringLiteral("EMail"));
}

void frmEditGroupsListContacts::markAll(bool selected)
{
    MessageBoxes::runShowingErrors(this, [&] {
        GroupBook::markAll(selected);
        m_contacts->refresh();
    });
}

void frmEditGroupsListContacts::cmdAll_Click()
{
    markAll(true);
}

void frmEditGroupsListContacts::cmdNone_Click()
{
    markAll(false);
}
