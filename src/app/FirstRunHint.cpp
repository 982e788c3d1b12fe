#include "app/FirstRunHint.h"

#include "settings/RunningSetup.h"

#include <QAbstractItemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

FirstRunHint::FirstRunHint(const QAbstractItemModel *outbox, QWidget *parent)
    : QFrame(parent), m_outbox(outbox), m_text(new QLabel(this)), m_button(new QPushButton(this))
{
    setObjectName(QStringLiteral("fraFirstRun"));
    m_text->setObjectName(QStringLiteral("lblFirstRun"));
    m_button->setObjectName(QStringLiteral("cmdFirstRun"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::RichText);
    // Palette colours, so the panel suits a light and a dark theme alike.
    setStyleSheet(QStringLiteral("QFrame#fraFirstRun { border: 2px solid palette(highlight); border-radius: 6px;"
                                 " background: palette(alternate-base); }"
                                 " QLabel#lblFirstRun { border: none; background: transparent; }"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(12);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_step == FirstRun::Step::SetAccount)
            emit setupWanted();
        else if (m_step == FirstRun::Step::QueueMessage)
            emit composeWanted();
    });
    connect(outbox, &QAbstractItemModel::modelReset, this, &FirstRunHint::refresh);
    connect(outbox, &QAbstractItemModel::rowsInserted, this, &FirstRunHint::refresh);
    connect(outbox, &QAbstractItemModel::rowsRemoved, this, &FirstRunHint::refresh);
    refresh();
}

void FirstRunHint::refresh()
{
    m_step = FirstRun::nextStep(RunningSetup::gatewayUsername(), m_outbox->rowCount());
    m_text->setText(FirstRun::hintText(m_step));
    m_button->setText(FirstRun::buttonCaption(m_step));
    setVisible(m_step != FirstRun::Step::None);
}
