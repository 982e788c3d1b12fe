#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmSearchClients;
}
class QSqlQueryModel;

// "Search In Contacts": finds contacts by name, e-mail or telephone and hands
// the one picked back in ClientHandOver::SelectedClientID (left as the opener set it
// when nothing is picked).
class frmSearchClients : public QDialog
{
    Q_OBJECT

public:
    explicit frmSearchClients(QWidget *parent = nullptr);
    ~frmSearchClients() override;

    // Resets the hand-over, shows the window modally and gives the contact
    // picked, or 0 when none was.
    static qint32 pick(QWidget *parent);

    void optOptions_Click(int index);
    void cmdSearch_Click();
    void grdResults_DblClick();
    void cmdClose_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::frmSearchClients> ui;
    QSqlQueryModel *m_results;
};
