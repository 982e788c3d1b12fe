#pragma once

#include <QString>
#include <QVariantList>

#include <array>

// The contact search's statement: which contacts match a criteria text in the
// name columns, the e-mail address or the four telephone columns. Every value
// is bound, so a quote in the criteria is an ordinary character.
namespace ContactSearch {

enum class Field { Names, EMail, Phones };

// The name columns the name search can look in, in the order of its boxes.
enum NameColumn { Salute, Initials, FirstName, LastName };
inline constexpr int NameColumnCount = 4;

struct Criteria
{
    Field field = Field::Names;
    QString text;
    std::array<bool, NameColumnCount> columns{true, true, true, true};
};

struct Statement
{
    QString sql;
    QVariantList values;
};

// SearchID (the ClientID), Column1 (LastName), Column2 (FirstName), Column3
// (AssNo) of the matching contacts, ordered by last name.
//
// Names: the text is split at every single blank into words (two blanks give
// an empty word); a contact matches when any checked column contains any word.
// No words or no checked column: every contact. E-mail and telephones: the
// whole text is one search text. Search texts lose their leading blanks only
// and are compared without regard to case. An empty search text matches every
// non-empty value of its column.
Statement statement(const Criteria &criteria);

} // namespace ContactSearch
