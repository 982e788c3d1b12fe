#include "conversations/frmConversation.h"

#include "ui_frmConversation.h"

#include "data/AppError.h"
#include "ui/MessageBoxes.h"

frmConversation::frmConversation(const QString &number, const QString &who, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmConversation>())
{
    ui->setupUi(this);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::close);
    const QString person = who.trimmed().isEmpty()
                               ? number.trimmed()
                               : who.trimmed() + QStringLiteral(" (") + number.trimmed() + QLatin1Char(')');
    ui->lblWho->setText(person);
    ui->grdConversation->showConversation(number);
    const qsizetype count = ui->grdConversation->conversation().messages().size();
    ui->lblCount->setText(count == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(count));
}

frmConversation::~frmConversation() = default;

ConversationView *frmConversation::view() const
{
    return ui->grdConversation;
}

void frmConversation::open(const QString &number, const QString &who, QWidget *parent)
{
    if (number.trimmed().isEmpty()) {
        MessageBoxes::inform(parent, QStringLiteral("NO NUMBER"),
                             QStringLiteral("There is no number to show a conversation for."));
        return;
    }
    std::unique_ptr<frmConversation> window;
    if (!MessageBoxes::runShowingErrors(parent,
                                        [&] { window = std::make_unique<frmConversation>(number, who, parent); }))
        return;
    window->exec();
}
