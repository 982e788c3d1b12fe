#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAddEditClients;
}
class QLineEdit;
class QSqlQueryModel;

// "Add Contacts" / "Update Contacts": adds contacts one after another, or
// changes the one LoadDetails found. Every save ends in add mode and sets
// ClientHandOver::SavedClientID.
class frmAddEditClients : public QDialog
{
    Q_OBJECT

public:
    explicit frmAddEditClients(QWidget *parent = nullptr);
    ~frmAddEditClients() override;

    void LoadDetails(qint32 ID);
    void ClearFields();

    void Form_Load();
    void cmdSave_Click();
    void cmdCancel_Click();
    // A town the operator chose: fills a blank postal code, formats the town.
    void cboTown_Click(int row);
    void txtCellphone_LostFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Each edited column of Clients with its box; the town is the combo's text.
    QList<std::pair<QString, QLineEdit *>> boxes() const;
    // What eventFilter() watches: the cellphone box, the town box and its list.
    QList<QObject *> watchedByForm() const;

    std::unique_ptr<Ui::frmAddEditClients> ui;
    QSqlQueryModel *m_towns;
    // The next activation of the town box is the operator's pick.
    bool m_townPicked = false;
};
