#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAddGroups;
}

// "Add Group": creates a group under a name no other group has.
class frmAddGroups : public QDialog
{
    Q_OBJECT

public:
    explicit frmAddGroups(QWidget *parent = nullptr);
    ~frmAddGroups() override;

    void cmdSave_Click();
    void cmdCancel_Click();

private:
    std::unique_ptr<Ui::frmAddGroups> ui;
};
