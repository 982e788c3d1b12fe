#pragma once

#include "compose/TemplateBook.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmSaveTemplate;
}

// "Save as Template": asks a name and stores a composer's bodies under it. A
// blank or taken name is refused and the window stays open with it.
class frmSaveTemplate : public QDialog
{
    Q_OBJECT

public:
    frmSaveTemplate(TemplateText text, QWidget *parent = nullptr);
    ~frmSaveTemplate() override;

    void cmdSave_Click();
    void cmdCancel_Click();
    // The new template's identifier once saved, else 0.
    qint64 savedId() const { return m_saved; }

private:
    std::unique_ptr<Ui::frmSaveTemplate> ui;
    TemplateText m_text;
    qint64 m_saved = 0;
};
