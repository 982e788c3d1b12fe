#pragma once

#include "data/PhoneNumbers.h"

#include <QString>

// The destination number as the gateway takes it: the national form of a
// South African cellphone number (+27 82 123 4567, 27821234567 and
// 082 123 4567 all give 0821234567). The gateway delivers only to South
// African numbers written so, and reads any other text as one: a number that
// is no valid cellphone number of the country (PhoneNumbers' judgement) gets
// no gateway form, and its verdict says why.
struct GatewayNumber
{
    PhoneNumbers::Verdict verdict = PhoneNumbers::Verdict::Invalid;
    QString number; // empty unless the verdict is Valid

    bool sendable() const { return verdict == PhoneNumbers::Verdict::Valid; }
    // Why a row with this number is not posted (FailReasons); empty when it is sendable.
    QString failReason() const;
};

GatewayNumber NormaliseNumber(const QString &number);
