#pragma once

#include "compose/TemplateBook.h"

#include <QDialog>

#include <functional>
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

    // Runs a write of a template under the busy pointer. A refused name is
    // shown in a box of its own ("EXIST", "NAME"), any other error as the
    // ERROR box. True when it was stored.
    static bool storeShowingRefusals(QWidget *parent, const std::function<void()> &store);

private:
    std::unique_ptr<Ui::frmSaveTemplate> ui;
    TemplateText m_text;
    qint64 m_saved = 0;
};
