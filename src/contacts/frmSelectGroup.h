#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ui {
class frmSelectGroup;
}

// "Select a Group": imports customers from a Pastel customer file into the
// contacts, optionally linking each to a group, or exports contacts (all, or
// one group's members) to a comma-delimited file. The opener sets ActionType
// ("IMPORT" or "EXPORT") and FileFormat ("PASTEL" or "CSV") before showing it.
class frmSelectGroup : public QDialog
{
    Q_OBJECT

public:
    explicit frmSelectGroup(QWidget *parent = nullptr);
    ~frmSelectGroup() override;

    QString ActionType;
    QString FileFormat;

    void Form_Load();
    void cmdSelect_Click();
    void Command1_Click();
    void cmdAdd_Click();
    void cmdCancel_Click();

    void ImportPastelFile();
    void ExportCSVFile();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString action() const;
    QString format() const;
    void loadGroups();
    void dispatch();
    qint64 chosenGroup() const;
    // Progress texts are shown at most ten times a second; a long loop would
    // otherwise spend its time repainting the label.
    void showProgress(const QString &text, bool now);
    void listRefused();

    std::unique_ptr<Ui::frmSelectGroup> ui;
    bool UseGroup = false;
    bool m_loaded = false;
    QElapsedTimer m_lastShown;
    QStringList m_refused;
};
