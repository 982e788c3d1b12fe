#pragma once

#include "settings/SetupStore.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLineEdit;

namespace Ui {
class frmSetup;
}

// "Setup": the gateway account, the database (a file or a server address with
// its password, and where that password is kept), the gateway hosts and how
// fast a send run may post.
class frmSetup : public QDialog
{
    Q_OBJECT

public:
    // Without the account the window serves a start-up whose database cannot
    // be opened: only the settings are shown and stored, and the account is
    // read from the chosen database when start-up goes on.
    explicit frmSetup(QWidget *parent = nullptr, bool withAccount = true);
    ~frmSetup() override;

    void Form_Load();
    void cmdBrowse_Click();
    void cmdSave_Click();
    void cmdCancel_Click();

    // What the boxes hold now, as typed.
    SetupStore::Values typed() const;

private:
    void showDatabasePassword();
    void pairShowBox(QCheckBox *show, QLineEdit *password);

    std::unique_ptr<Ui::frmSetup> ui;
    bool m_withAccount;
};
