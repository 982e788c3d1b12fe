#pragma once

#include <QString>

// How many SMS parts a message needs on the air, for the operator's
// information. GSM 7-bit default alphabet: 160 septets in one part, 153 per
// part once split; the extension characters take two septets. Any character
// outside the basic set and its extension makes the message Unicode: 70
// UTF-16 code units in one part, 67 per part once split.
struct SmsParts
{
    int parts = 0; // 0 for an empty message
    bool unicode = false;
    int units = 0; // septets (GSM) or UTF-16 code units (Unicode)
};

SmsParts smsParts(const QString &message);

// "1 SMS", "3 SMS", "2 SMS · Unicode".
QString partsText(const SmsParts &parts);

// Septets a character takes in the GSM 7-bit alphabet: 1 for the basic set,
// 2 for the extension table, 0 when it has no GSM form.
int gsmSeptets(QChar c);
