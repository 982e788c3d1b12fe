#include "compose/ComposerBlock.h"

#include "ui_ComposerBlock.h"

#include "campaigns/SendingWindow.h"
#include "compose/BodyEdit.h"
#include "compose/MessageText.h"
#include "compose/SendAtChoice.h"
#include "compose/TemplateChooser.h"
#include "data/SmsParts.h"
#include "data/modFunctions.h"
#include "ui/MessageBoxes.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QTextCursor>

ComposerBlock::ComposerBlock(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::ComposerBlock>())
{
    ui->setupUi(this);
    // The block takes the focus in its first body, and a window's tab order
    // passes through the four bodies where the block stands.
    setFocusProxy(ui->txtBody1);
    m_bodies = {ui->txtBody1, ui->txtBody2, ui->txtBody3, ui->txtBody4};
    m_left = {ui->txtSMSLeft1, ui->txtSMSLeft2, ui->txtSMSLeft3, ui->txtSMSLeft4};
    m_parts = {ui->lblParts1, ui->lblParts2, ui->lblParts3, ui->lblParts4};
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblBodyNote"));
    m_note->setMinimumHeight(m_note->fontMetrics().height());
    ui->layBodies->addWidget(m_note, ui->layBodies->rowCount(), 0, 1, ui->layBodies->columnCount());
    addPurposeChoice();
    for (int i = 0; i < BodyCount; ++i) {
        m_bodies[i]->setVetoFlag(&m_veto);
        connect(m_bodies[i], &QPlainTextEdit::textChanged, this, [this, i] {
            bodyChanged(i);
            emit contentChanged();
        });
        connect(m_bodies[i], &BodyEdit::overflowed, this,
                [this, i](const QString &text, bool pasted) { bodyOverflowed(i, text, pasted); });
        connect(m_bodies[i], &BodyEdit::refusedWhenFull, this,
                [this, i] { setNote(i, QStringLiteral("Body %1 full").arg(i + 1)); });
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
    if (index == m_noteBody && edit->storedLength() < MessageText::BodyLimit)
        setNote(-1, {});
    QString text = modFunctions::TrimBlanks(edit->storedText());
    if (isMarketing() && !text.isEmpty())
        text = Marketing::withFooter(text, m_senderName);
    const SmsParts parts = smsParts(text);
    m_parts[index]->setText(partsText(parts));
    m_parts[index]->setToolTip(parts.unicode ? QStringLiteral("%1 UTF-16 units: sent as Unicode").arg(parts.units)
                                             : QStringLiteral("%1 GSM 7-bit characters").arg(parts.units));
}

// Typing on at the end of a full body continues at the start of the next body
// with room; a paste fills the bodies after it in order. A line break typed
// there only moves on: no message begins with one.
void ComposerBlock::bodyOverflowed(int index, const QString &text, bool pasted)
{
    QList<int> rooms;
    for (int i = index + 1; i < BodyCount; ++i)
        rooms << MessageText::BodyLimit - m_bodies.at(i)->storedLength();
    const bool lineBreak = text == QStringLiteral("\n");
    const MessageText::Spread spread = MessageText::spread(lineBreak ? QString() : text, rooms);
    int reached = -1;
    for (int i = 0; i < spread.pieces.size() && (reached < 0 || !lineBreak); ++i) {
        const bool takes = lineBreak ? rooms.at(i) > 0 : !spread.pieces.at(i).isEmpty();
        if (!takes)
            continue;
        reached = index + 1 + i;
        BodyEdit *next = m_bodies.at(reached);
        QTextCursor cursor(next->document());
        cursor.insertText(spread.pieces.at(i));
        next->setTextCursor(cursor);
    }
    if (reached >= 0) {
        m_bodies.at(reached)->setFocus();
        setNote(index, QStringLiteral("Body %1 full \u2014 continuing in Body %2").arg(index + 1).arg(reached + 1));
    } else {
        setNote(index, QStringLiteral("Body %1 full \u2014 no room left").arg(index + 1));
    }
    if (pasted && !spread.leftOver.isEmpty()) {
        constexpr int Shown = 400;
        const QString quoted =
            spread.leftOver.size() > Shown ? spread.leftOver.left(Shown) + u'\u2026' : spread.leftOver;
        MessageBoxes::inform(this, QStringLiteral("PASTE"),
                             QStringLiteral("There is no room in the bodies for the last %1 characters of the "
                                            "pasted text; they were left out:\n\n%2")
                                 .arg(MessageText::storedLength(spread.leftOver))
                                 .arg(quoted));
    }
}

void ComposerBlock::setNote(int index, const QString &text)
{
    m_noteBody = index;
    m_note->setText(text);
}

// Service (the default) or marketing: a marketing message carries the
// sender's name and the stop text, counted in the parts shown.
void ComposerBlock::addPurposeChoice()
{
    try {
        m_senderName = Marketing::senderName();
    } catch (const AppError &) {
        // shown without the name; the queueing reads it again
    }
    m_service = new QRadioButton(QStringLiteral("Ser&vice message"), this);
    m_service->setObjectName(QStringLiteral("optService"));
    m_service->setChecked(true);
    m_marketing = new QRadioButton(QStringLiteral("&Marketing message"), this);
    m_marketing->setObjectName(QStringLiteral("optMarketing"));
    m_marketing->setToolTip(QStringLiteral("Adds the sender's name and \"%1\"; sent only Mon-Fri 08:00-20:00 "
                                           "and Sat 09:00-13:00, never on Sundays or public holidays")
                                .arg(Marketing::StopText));
    auto *group = new QButtonGroup(this);
    group->addButton(m_service);
    group->addButton(m_marketing);
    // The templates on a line of their own under the bodies, so neither they
    // nor the choices beside them are squeezed in a narrow window.
    m_templates = new TemplateChooser(this);
    m_templates->setSource([this] { return templateText(); });
    connect(m_templates, &TemplateChooser::chosen, this, &ComposerBlock::fill);
    const int templatesRow = ui->layBodies->rowCount();
    ui->layBodies->addWidget(m_templates, templatesRow, 0, 1, ui->layBodies->columnCount(), Qt::AlignLeft);
    auto *row = new QHBoxLayout;
    row->addWidget(m_service);
    row->addWidget(m_marketing);
    row->addStretch();
    m_sendAt = new SendAtChoice(this);
    row->addWidget(m_sendAt);
    ui->layBodies->addLayout(row, ui->layBodies->rowCount(), 0, 1, ui->layBodies->columnCount());
    connect(m_marketing, &QRadioButton::toggled, this, [this] {
        for (int i = 0; i < BodyCount; ++i)
            bodyChanged(i);
        emit contentChanged();
    });
}

bool ComposerBlock::isMarketing() const
{
    return m_marketing && m_marketing->isChecked();
}

void ComposerBlock::setMarketing(bool marketing)
{
    (marketing ? m_marketing : m_service)->setChecked(true);
}

QueueCampaign ComposerBlock::campaign() const
{
    QueueCampaign result;
    result.marketing = isMarketing();
    result.sendAt = m_sendAt->sendAt();
    return result;
}

TemplateText ComposerBlock::templateText() const
{
    return {bodies(), isMarketing()};
}

// A template's merge fields go in as written: the queueing checks them as it
// checks typed text.
void ComposerBlock::fill(const TemplateText &text)
{
    for (int i = 0; i < BodyCount; ++i)
        setBody(i + 1, text.bodies.value(i));
    setMarketing(text.marketing);
}
