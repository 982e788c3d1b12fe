#pragma once

#include <QStringList>
#include <QTableWidget>

// The list of typed numbers: one column "Number", always an empty row at the
// end to type the next number into; Enter moves on to the next row.
class NumberGrid : public QTableWidget
{
    Q_OBJECT

public:
    explicit NumberGrid(QWidget *parent = nullptr);

    // The cells of every row except the empty entry row at the end, as typed.
    QStringList numbers() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void keepEntryRow();
    void moveToNextRow();
    QString cellText(int row) const;
};
