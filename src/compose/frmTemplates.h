#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmTemplates;
}

// "Message Templates": the saved messages by name on the left; the one
// selected on the right, its name, four bodies and marketing choice, to change
// and save. New starts a template, Delete removes the one selected.
class frmTemplates : public QDialog
{
    Q_OBJECT

public:
    explicit frmTemplates(QWidget *parent = nullptr);
    ~frmTemplates() override;

    void Form_Load();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdClose_Click();

    // Closing by any way offers to save changes first.
    void done(int result) override;

private:
    // Lists the templates again and selects this one (none: the first).
    void showList(qint64 selectId);
    void showTemplate(qint64 templateId);
    void listChanged();
    // Unsaved changes are saved or let go as the operator says. They stay on
    // Cancel, or when saving failed.
    enum class Settled { Unchanged, Saved, Stay };
    Settled settleChanges();
    bool save();

    std::unique_ptr<Ui::frmTemplates> ui;
    qint64 m_id = 0; // 0: a new template not saved yet
    bool m_changed = false;
    bool m_showing = false; // the window itself is filling the fields or the list
};
