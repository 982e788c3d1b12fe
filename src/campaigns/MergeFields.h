#pragma once

#include "outbox/OutboxWriter.h"

#include "data/AppError.h"

#include <QHash>
#include <QString>
#include <QStringList>

// Merge fields in a message body: {FirstName}, {LastName}, {AssNo} or any
// other column of the contact, with a fallback for an empty value:
// {FirstName|Customer}. Field names are not case-sensitive.
namespace MergeFields {

struct Resolved
{
    QString text;
    QStringList unresolved; // fields without a value and without a fallback, as written
};

bool hasFields(const QString &body);
// Fills the fields from `values` (keys in lower case). A field with no value
// (empty once trimmed) takes its fallback; without one it is unresolved and
// left in the text as written.
Resolved resolve(const QString &body, const QHash<QString, QString> &values);

// The values of a contact's fields, keyed by lower-case column name; empty
// for no contact.
QHash<QString, QString> contactValues(qint64 clientId);

} // namespace MergeFields

// A queueing action stopped before anything was queued: a merge field of a
// body has no value for an addressee.
class UnresolvedField : public NothingQueued
{
public:
    UnresolvedField(const QString &fields, const QString &addressee);
};
