#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QCollator>
#include <QLocale>
#include <QVarLengthArray>

#include <sqlite3.h>

#include <algorithm>
#include <optional>

namespace Database {

namespace {

// SQLite's own upper() and lower() know only ASCII; names are compared
// without regard to case in every alphabet.
void caseFunction(sqlite3_context *context, int, sqlite3_value **arguments, bool upper)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const int size = sqlite3_value_bytes(arguments[0]);
    // A search runs this on four columns of every contact: ASCII, nearly
    // every value, needs no trip through QString.
    if (std::all_of(text, text + size, [](char c) { return uchar(c) < 0x80; })) {
        QVarLengthArray<char, 256> result(size);
        for (int i = 0; i < size; ++i) {
            const char c = text[i];
            result[i] = upper ? (c >= 'a' && c <= 'z' ? char(c - 32) : c) : (c >= 'A' && c <= 'Z' ? char(c + 32) : c);
        }
        sqlite3_result_text(context, result.constData(), size, SQLITE_TRANSIENT);
        return;
    }
    const QString value = QString::fromUtf8(text, size);
    const QByteArray result = (upper ? value.toUpper() : value.toLower()).toUtf8();
    sqlite3_result_text(context, result.constData(), int(result.size()), SQLITE_TRANSIENT);
}

void unicodeUpper(sqlite3_context *c, int n, sqlite3_value **v)
{
    caseFunction(c, n, v, true);
}
void unicodeLower(sqlite3_context *c, int n, sqlite3_value **v)
{
    caseFunction(c, n, v, false);
}

// Names compare in one fixed locale, so an ordering is the same on every
// machine whatever its language settings.
const QCollator &nameCollator()
{
    // One per thread: a backup checks its copy on a thread of its own while the
    // window's thread sorts names, and a collator is not safe to share.
    static thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::English, QLocale::SouthAfrica));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// Where two names differ first in letters or digits of ASCII alone (nearly
// every pair), the collator's answer is known without asking it: blanks and
// punctuation before digits, digits before letters, letters in alphabetical
// order without regard to case. Anything else is the collator's to decide.
template <typename Unit>
std::optional<int> compareAscii(const Unit *a, qsizetype lengthA, const Unit *b, qsizetype lengthB)
{
    const auto ascii = [](Unit unit) { return uint(unit) < 0x80; };
    const auto alphanumeric = [](uint c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); };
    const auto rank = [](uint c) { return c <= '9' ? int(c - '0') : 10 + int((c | 0x20) - 'a'); };
    const auto printable = [](uint c) { return c >= 0x20 && c < 0x7f; };
    const qsizetype common = std::min(lengthA, lengthB);
    for (qsizetype i = 0; i < common; ++i) {
        const uint x = uint(a[i]);
        const uint y = uint(b[i]);
        if (!ascii(a[i]) || !ascii(b[i]))
            return std::nullopt;
        if (x == y || (alphanumeric(x) && alphanumeric(y) && rank(x) == rank(y)))
            continue;
        if (alphanumeric(x) && alphanumeric(y))
            return rank(x) - rank(y);
        return std::nullopt;
    }
    if (lengthA == lengthB)
        return 0;
    const bool aLonger = lengthA > lengthB;
    const uint next = uint(aLonger ? a[common] : b[common]);
    if (!printable(next))
        return std::nullopt;
    return aLonger ? 1 : -1;
}

int collateNames(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    const auto *textA = static_cast<const unsigned char *>(a);
    const auto *textB = static_cast<const unsigned char *>(b);
    if (const std::optional<int> quick = compareAscii(textA, lengthA, textB, lengthB))
        return *quick;
    return nameCollator().compare(QString::fromUtf8(reinterpret_cast<const char *>(textA), lengthA),
                                  QString::fromUtf8(reinterpret_cast<const char *>(textB), lengthB));
}

} // namespace

void registerFunctions(const QSqlDatabase &db)
{
    if (sqlite3 *handle = handleOf(db))
        addFunctions(handle);
}

void addFunctions(sqlite3 *handle)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(handle, "upper", 1, flags, nullptr, unicodeUpper, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "lower", 1, flags, nullptr, unicodeLower, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(handle, NameCollation, SQLITE_UTF8, nullptr, collateNames, nullptr);
}

int compareNames(QStringView a, QStringView b)
{
    const auto *unitsA = reinterpret_cast<const char16_t *>(a.data());
    const auto *unitsB = reinterpret_cast<const char16_t *>(b.data());
    if (const std::optional<int> quick = compareAscii(unitsA, a.size(), unitsB, b.size()))
        return *quick;
    return nameCollator().compare(a, b);
}

} // namespace Database
