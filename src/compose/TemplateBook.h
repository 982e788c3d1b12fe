#pragma once

#include "data/AppError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a template fills into a composer: the four bodies (line breaks as
// CR LF, as stored) and whether the message is marketing.
struct TemplateText
{
    QStringList bodies; // always four
    bool marketing = false;
};

struct MessageTemplate
{
    qint64 id = 0;
    QString name;
    TemplateText text;
};

// A template's name was refused: blank, or taken by another template. The
// title is the message box's ("EXIST" for a taken name, "NAME" for a blank one).
class TemplateNameRefused : public AppError
{
public:
    TemplateNameRefused(QString title, const QString &text);
    const QString &title() const { return m_title; }

private:
    QString m_title;
};

// The message templates: the one module that reads and writes the Templates
// table. Names are unique with blanks around them removed and in any case (as
// group names are) and are stored exactly as typed. Every write checks that it
// changed the row it meant to; errors are thrown as AppError.
namespace TemplateBook {

inline constexpr int BodyCount = 4;

// Every template, ordered by name as people read names.
QList<MessageTemplate> list();
std::optional<MessageTemplate> find(qint64 templateId);

// Whether another template than `except` already has this name, blanks around
// it removed and in any case.
bool nameTaken(const QString &name, qint64 except = 0);

// A new template under the name as typed; gives its identifier. Throws
// TemplateNameRefused for a blank or taken name.
qint64 add(const QString &name, const TemplateText &text);
// Throws TemplateNameRefused for a blank name or one another template has.
void rename(qint64 templateId, const QString &name);
void setText(qint64 templateId, const TemplateText &text);
// The name and the text together: both or neither.
void save(qint64 templateId, const QString &name, const TemplateText &text);
void remove(qint64 templateId);

} // namespace TemplateBook
