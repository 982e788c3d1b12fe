// placeholder until the text routines land
#include "data/modFunctions.h"
namespace modFunctions {
QString ProperCase(const QString &t) { return t; }
QString LowerCaseWords(const QString &t, const QStringList &) { return t; }
QString CleanString(const QString &t) { return t; }
QString StripLineBreaks(const QString &t) { return t; }
double LeadingNumber(const QString &t) { return t.trimmed().toDouble(); }
QString DecimalText(double v) { return QString::number(v, 'g', 15); }
QString TrimBlanks(const QString &t) { return t.trimmed(); }
}
