#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmListClients;
}
class ContactListModel;
class QAction;
class QMenu;

// "List of Contacts": every contact, shaded by its cellphone number, with
// add, edit, delete, F4 search, header sorting, the two clean-up commands
// and the import and export.
class frmListClients : public QDialog
{
    Q_OBJECT

public:
    explicit frmListClients(QWidget *parent = nullptr);
    ~frmListClients() override;

    QString SortClause() const;

    void Form_Load();
    void Form_KeyDown();
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdClose_Click();
    void grdList_HeadClick(int column);
    void mnuImportPastel_Click();
    void mnuImportCsv_Click();
    void mnuExportCSV_Click();
    void mnuUpdateNames_Click();
    void mnuUpdateSpaces_Click();
    // Conversation... (the list's context menu): the thread with the
    // current contact's cellphone number.
    void grdList_Conversation();

private:
    void buildMenus();
    // Runs the list's statement again; the current row goes to `row` (kept in range).
    void reload(int row);
    // Makes the contact's first row current; the first row when it is not listed.
    void locate(qint64 clientId);
    void setCurrentRow(int row);
    int currentRow() const;
    void showCount();
    void cleanUp(qint64 (*command)());

    std::unique_ptr<Ui::frmListClients> ui;
    ContactListModel *m_model;
    QMenu *mnuImport = nullptr;
    QMenu *mnuExport = nullptr;
    QMenu *mnuUpdate = nullptr;
    QAction *mnuImportPastel = nullptr;
    QAction *mnuImportCsv = nullptr;
    QAction *mnuExportCSV = nullptr;
    QAction *mnuUpdateSpaces = nullptr;
    QAction *mnuUpdateNames = nullptr;
};
