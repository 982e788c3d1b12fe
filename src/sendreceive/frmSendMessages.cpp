#include "sendreceive/frmSendMessages.h"

#include "ui_frmSendMessages.h"

#include "data/AppError.h"
#include "sendreceive/SendReceiveRules.h"

#include <QDateTime>

frmSendMessages::frmSendMessages(QWidget *parent)
    : SendReceiveWindow(parent), ui(std::make_unique<Ui::frmSendMessages>()),
      m_sender(*this, {QStringLiteral("Done checking credits"), QStringLiteral("Ready ...")})
{
    ui->setupUi(this);
    setUp(ui->lblStatus, {ui->cmdSend, ui->cmdCancel});
    QFont creditsFont = ui->lblCredits->font();
    creditsFont.setBold(true);
    ui->lblCredits->setFont(creditsFont);
    ui->lblLeft->setFont(creditsFont);
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 6);
    connect(ui->cmdCheckCredits, &QPushButton::clicked, this, &frmSendMessages::cmdCheckCredits_Click);
    connect(ui->cmdSend, &QPushButton::clicked, this, &frmSendMessages::cmdSend_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSendMessages::cmdCancel_Click);
    Form_Load();
}

frmSendMessages::~frmSendMessages() = default;

void frmSendMessages::Form_Load()
{
    try {
        m_left = m_sender.CountQueued();
    } catch (const AppError &error) {
        showError(error);
    }
    if (m_left > 0)
        ui->lblLeft->setText(SendReceive::leftText(m_left, m_left));
}

void frmSendMessages::cmdCheckCredits_Click()
{
    // Unlike the main window's button, the account is not checked first.
    whileRunning([this] {
        try {
            m_sender.RefreshCredits();
            return true;
        } catch (const AppError &error) {
            // The log keeps what failed: the gateway's words or its status.
            logSend(QStringLiteral("Check Credits failed: ") + error.description());
            setStatus(QStringLiteral("ERROR"));
            return false;
        }
    });
}

void frmSendMessages::cmdSend_Click()
{
    whileRunning([this] {
        m_leftBeforeRun = m_left;
        RunSummary summary;
        m_sender.reportTo(&summary);
        const bool done = m_sender.SendOutbox();
        m_sender.reportTo(nullptr);
        // The run's last status names only its last step; the summary is
        // the run's result, kept in the log too.
        if (!summary.isEmpty()) {
            const QString text = summary.text(QStringLiteral("Ready ..."));
            setStatus(text);
            logSend(text);
        }
        return done;
    });
}

void frmSendMessages::cmdCancel_Click()
{
    close();
}

QString frmSendMessages::creditsText() const
{
    return ui->lblCredits->text();
}

void frmSendMessages::setCreditsText(const QString &text)
{
    ui->lblCredits->setText(text);
    ui->lblCredits->repaint();
}

void frmSendMessages::setProgress(int done, int total)
{
    if (total <= 0)
        return;
    m_left = std::max<qint64>(m_leftBeforeRun - done, 0);
    ui->lblLeft->setText(SendReceive::leftText(m_left, total));
    ui->lblLeft->repaint();
}

void frmSendMessages::logSend(const QString &event)
{
    const int row = ui->grdList->rowCount();
    ui->grdList->insertRow(row);
    ui->grdList->setItem(row, 0, new QTableWidgetItem(SendReceive::logLine(QDateTime::currentDateTime(), event)));
    ui->grdList->scrollToBottom();
    ui->grdList->repaint();
}
