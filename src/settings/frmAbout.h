#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}

// Who supplies the program and how to pay for it.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    // The supplier's contact block and banking block, one line each.
    static QStringList contactLines();
    static QStringList bankingLines();

private:
    void Form_Load();
    void cmdClose_Click();

    std::unique_ptr<Ui::frmAbout> ui;
};
