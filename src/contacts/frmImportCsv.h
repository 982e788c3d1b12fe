#pragma once

#include "contacts/CsvImport.h"
#include "data/CsvReader.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class frmImportCsv;
}
class QComboBox;

// "Import Contacts from CSV": the first rows of a delimited file with a
// field chosen above each column, what to do with numbers the address book
// already has, and the group the contacts join; lines not imported are
// listed with their line number and why.
class frmImportCsv : public QDialog
{
    Q_OBJECT

public:
    explicit frmImportCsv(QWidget *parent = nullptr);
    ~frmImportCsv() override;

    // Asks for a file and shows it; false when the operator cancelled or the
    // file cannot be read (which was said).
    bool cmdBrowse_Click();
    void chkHeading_Click();
    void cmdImport_Click();
    void cmdCancel_Click();

    // The field chosen for each column (empty: ignored).
    CsvImport::Mapping mapping() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void loadGroups();
    void showFile();
    void fieldChosen(int column);
    void countDuplicates();
    CsvImport::Duplicates duplicateChoice() const;
    void setBusy(bool busy);
    QComboBox *fieldBox(int column) const;

    std::unique_ptr<Ui::frmImportCsv> ui;
    std::optional<CsvReader> m_reader;
    qint64 m_lines = 0;
    bool m_importing = false;
    bool m_cancelAsked = false;
    bool m_filling = false;
    bool m_duplicates = false; // the file has numbers already there
};
