#pragma once

#include "data/SmsParts.h"

#include <QList>
#include <QString>
#include <QStringList>

// What each addressee of a group, or the one of the send-to-contact window, would get: every body with its merge fields
// filled and, for marketing, the footer; its encoding and parts, and whether
// the addressee's data pushed it into Unicode or an extra part.
namespace MessagePreview {

struct Row
{
    QString name;
    QString number;
    QString text;
    SmsParts parts;
    bool pushed = false; // more parts, or Unicode, than the body with its fallbacks
    QString note;        // "opted out: left out", "unresolved: {FirstName}"
    // What libphonenumber makes of the number when it is no cellphone's:
    // "invalid number" or "not a cellphone number"; empty otherwise.
    QString numberNote;
};

struct Preview
{
    QList<Row> rows;
    int messages = 0;   // rows that would be queued
    int totalParts = 0; // of those rows
    int pushed = 0;
    int leftOut = 0;    // opted-out addressees
    int unresolved = 0; // rows that would stop the queueing
    int badNumbers = 0; // addressees whose number has a numberNote
};

Preview forGroup(qint64 groupId, const QStringList &bodies, bool marketing);
// The same for one number, a contact's (clientId) or one typed by hand (0).
Preview forContact(qint64 clientId, const QString &number, const QStringList &bodies, bool marketing);

} // namespace MessagePreview
