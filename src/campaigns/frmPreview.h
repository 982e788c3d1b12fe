#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmPreview;
}
namespace MessagePreview {
struct Preview;
}

// Shows what each recipient would get, row by row, with the totals.
class frmPreview : public QDialog
{
    Q_OBJECT

public:
    explicit frmPreview(const MessagePreview::Preview &preview, QWidget *parent = nullptr);
    ~frmPreview() override;

private:
    std::unique_ptr<Ui::frmPreview> ui;
};
