#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmImport;
}
class DebitOrderModel;
class SendAtChoice;
struct TemplateText;

// "Importer": a debit-order list loaded from a text file, checked in a
// coloured grid and queued as one message per account.
class frmImport : public QDialog
{
    Q_OBJECT

public:
    // Where the message text is kept in the settings store.
    static const QString SettingsKey;
    static const QString MessageValue;

    explicit frmImport(QWidget *parent = nullptr);
    ~frmImport() override;

    void Form_Load();
    void cmdBrowse_Click();
    void LoadFile(const QString &path);
    void cmdImport_Click();
    void cmdClose_Click();

    // Closing by any way stores the message text first.
    void done(int result) override;

private:
    QString messageText() const;
    void storeMessage();
    void useTemplate(const TemplateText &text);

    std::unique_ptr<Ui::frmImport> ui;
    DebitOrderModel *m_model = nullptr;
    SendAtChoice *m_sendAt = nullptr;
};
