#include "compose/ComposerBlock.h"

#include "ui_ComposerBlock.h"

#include "compose/BodyEdit.h"
#include "compose/MessageText.h"
#include "compose/SmsParts.h"
#include "data/modFunctions.h"

ComposerBlock::ComposerBlock(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::ComposerBlock>())
{
    ui->setupUi(this);
    // The block takes the focus in its first body, and a window's tab order
    // passes through the four bodies where the block stands.
    setFocusProxy(ui->txtBody1);
    m_bodies = {ui->txtBody1, ui->txtBody2, ui->txtBody3, ui->txtBody4};
    m_left = {ui->txtSMSLeft1, ui->txtSMSLeft2, ui->txtSMSLeft3, ui->txtSMSLeft4};
    m_parts = {ui->lblParts1, ui->lblParts2, ui->lblParts3, ui->lblParts4};
    for (int i = 0; i < BodyCount; ++i) {
        m_bodies[i]->setVetoFlag(&m_veto);
        connect(m_bodies[i], &QPlainTextEdit::textChanged, this, [this, i] { bodyChanged(i); });
        bodyChanged(i);
    }
}

ComposerBlock::~ComposerBlock() = default;

QStringList ComposerBlock::bodies() const
{
    QStringList result;
    for (const BodyEdit *body : m_bodies)
        result << body->storedText();
    return result;
}

BodyEdit *ComposerBlock::body(int number) const
{
    return m_bodies.value(number - 1);
}

void ComposerBlock::setBody(int number, const QString &text)
{
    if (BodyEdit *edit = body(number))
        edit->setStoredText(text);
}

void ComposerBlock::bodyChanged(int index)
{
    const BodyEdit *edit = m_bodies.at(index);
    m_left[index]->setText(QString::number(MessageText::BodyLimit - edit->storedLength()));
    const SmsParts parts = smsParts(modFunctions::TrimBlanks(edit->storedText()));
    m_parts[index]->setText(partsText(parts));
    m_parts[index]->setToolTip(parts.unicode
                                   ? QStringLiteral("%1 UTF-16 units: sent as Unicode").arg(parts.units)
                                   : QStringLiteral("%1 GSM 7-bit characters").arg(parts.units));
}
