#pragma once

#include "compose/TemplateBook.h"
#include "outbox/OutboxWriter.h"

#include <QStringList>
#include <QWidget>

#include <memory>

namespace Ui {
class ComposerBlock;
}
class BodyEdit;
class QLabel;
class QLineEdit;
class QRadioButton;
class SendAtChoice;
class TemplateChooser;

// The four message bodies of the queueing windows, each with the count of
// characters still free and the SMS parts it will take, and the keystroke
// veto the four bodies share. Text that does not fit into a body goes on into
// the bodies after it (each stays a message of its own), and a note under the
// bodies says so.
class ComposerBlock : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BodyCount = 4;

    explicit ComposerBlock(QWidget *parent = nullptr);
    ~ComposerBlock() override;

    // Bodies 1 to 4 as stored (line breaks as CR LF), untrimmed.
    QStringList bodies() const;
    // Body 1 to 4.
    BodyEdit *body(int number) const;
    void setBody(int number, const QString &text);

    // Marketing or service (the default), as chosen.
    bool isMarketing() const;
    void setMarketing(bool marketing);
    // What a queueing action of this block is: marketing or service, and
    // when it is sent (at the next run, or at the chosen time).
    QueueCampaign campaign() const;
    SendAtChoice *sendAtChoice() const { return m_sendAt; }

    // The bodies and the marketing choice, as a template keeps them.
    TemplateText templateText() const;
    void fill(const TemplateText &text);
    TemplateChooser *templateChooser() const { return m_templates; }

signals:
    // A body or the marketing choice changed.
    void contentChanged();

private:
    void bodyChanged(int index);
    void bodyOverflowed(int index, const QString &text, bool pasted);
    // The note about a full body; index -1 clears it.
    void setNote(int index, const QString &text);
    void addPurposeChoice();

    std::unique_ptr<Ui::ComposerBlock> ui;
    bool m_veto = false;
    QList<BodyEdit *> m_bodies;
    QList<QLineEdit *> m_left;
    QList<QLabel *> m_parts;
    QLabel *m_note = nullptr;
    int m_noteBody = -1;
    QRadioButton *m_service = nullptr;
    QRadioButton *m_marketing = nullptr;
    SendAtChoice *m_sendAt = nullptr;
    TemplateChooser *m_templates = nullptr;
    QString m_senderName;
};
