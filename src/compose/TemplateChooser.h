#pragma once

#include "compose/TemplateBook.h"

#include <QWidget>

#include <functional>

class QMenu;
class QPushButton;
class QToolButton;

// The templates of a composer: "Template" (cmdTemplate) drops down every
// template by name and fills the composer with the one chosen; "Save as
// Template..." (cmdSaveTemplate) stores what the composer holds under a new
// name. The composer says what it holds through the source it sets.
class TemplateChooser : public QWidget
{
    Q_OBJECT

public:
    explicit TemplateChooser(QWidget *parent = nullptr);

    void setSource(std::function<TemplateText()> current) { m_current = std::move(current); }
    // Fills the composer with this template, as choosing it in the list does.
    void choose(qint64 templateId);
    void cmdSaveTemplate_Click();

signals:
    void chosen(const TemplateText &text);

private:
    void fillMenu();

    QToolButton *m_choose;
    QPushButton *m_save;
    QMenu *m_menu;
    std::function<TemplateText()> m_current;
};
