#pragma once

#include <QString>

// Telephone numbers as libphonenumber reads them, written the ways people
// write them ("082 123 4567", "+27 (0)82 123 4567", "0027821234567",
// "0821234567 (cell)"), read as South African unless they say otherwise.
class PhoneNumbers
{
public:
    // The region a number without a country code belongs to.
    static inline const QString DefaultRegion = QStringLiteral("ZA");

    enum class Verdict {
        Valid,     // a cellphone number of the default region
        Invalid,   // no telephone number at all, or not one that exists
        NotMobile, // a landline, toll-free, shared-cost or other such number
        Foreign,   // a number of another country
    };

    // How the number's length compares with the numbers it should be like:
    // cellphone numbers for the default region, that country's numbers for
    // another.
    enum class Length { Fits, TooShort, TooLong };

    struct Reading
    {
        QString key; // E.164 ("+27821234567"); empty when unreadable
        Verdict verdict = Verdict::Invalid;
        Length length = Length::Fits;
    };

    static Reading read(const QString &number);

    // The number in E.164 form, one key for every way of writing it; empty
    // when the text cannot be read as a telephone number.
    static QString e164Key(const QString &number) { return read(number).key; }
    static Verdict judge(const QString &number) { return read(number).verdict; }
    // The key one person's number has however it is written (the opt-out
    // list's): the E.164 form; empty for a text with fewer than three digits
    // or for a sender name ("BANK", "MTN": letters other than a remark in
    // brackets after the number), to which nothing is ever sent.
    static QString personKey(const QString &number);
    // The key kept beside a stored number (SMSSend.NumberKey,
    // SMSReplies.NumberKey), by which one person's conversation is found: its
    // personKey(), or for a sender name the text without surrounding blanks;
    // a null QString (NULL) for an empty text.
    static QString storedKey(const QString &number);

private:
    // The E.164 key of a number written in one of the plain forms of the
    // default region ("0821234567", "27 82 123 4567", "+27-82-123-4567");
    // empty for every other text.
    static QString plainKey(const QString &number);
};
