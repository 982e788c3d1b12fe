#include "groups/frmEditGroupsListContacts.h"

#include "ui_frmEditGroupsListContacts.h"

#include "groups/GroupBook.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QHeaderView>
#include <QSet>

namespace {

using Kind = QueryListModel::Kind;

// The picker's list with its check column showing the window's own marks.
// The marks live here, not in the contacts' rows: two operators picking at
// once on a shared database never see or clear each other's.
class PickerModel : public QueryListModel
{
public:
    explicit PickerModel(QObject *parent)
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
            parent)
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::CheckStateRole && index.column() == SelectedColumn)
            return m_marked.contains(clientOf(index.row())) ? Qt::Checked : Qt::Unchecked;
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
        if (value.toInt() == Qt::Checked)
            m_marked.insert(clientId);
        else
            m_marked.remove(clientId);
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }

    const QSet<qint64> &marked() const { return m_marked; }
    void setMarked(QSet<qint64> marked)
    {
        m_marked = std::move(marked);
        if (rowCount() > 0)
            emit dataChanged(index(0, SelectedColumn), index(rowCount() - 1, SelectedColumn), {Qt::CheckStateRole});
    }

private:
    static constexpr int SelectedColumn = 0;

    qint64 clientOf(int row) const { return value(row, QStringLiteral("ClientID")).toLongLong(); }

    QSet<qint64> m_marked;
};

} // namespace

frmEditGroupsListContacts::frmEditGroupsListContacts(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmEditGroupsListContacts>()), m_contacts(new PickerModel(this))
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

QList<qint64> frmEditGroupsListContacts::marked() const
{
    const QSet<qint64> &marks = static_cast<const PickerModel *>(m_contacts)->marked();
    return {marks.cbegin(), marks.cend()};
}

void frmEditGroupsListContacts::markAll(bool selected)
{
    auto *picker = static_cast<PickerModel *>(m_contacts);
    if (!selected) {
        picker->setMarked({});
        return;
    }
    MessageBoxes::runShowingErrors(this, [&] {
        const QList<qint64> everyone = GroupBook::withMobile();
        picker->setMarked({everyone.cbegin(), everyone.cend()});
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
