// placeholder until the settings store lands
#include "settings/cRegistry.h"
cRegistry::cRegistry() = default;
QString cRegistry::Machine() const { return m_machine; }
void cRegistry::setMachine(const QString &name) { m_machine = name; }
bool cRegistry::KeyExists() const { return false; }
bool cRegistry::CreateKey() { return false; }
bool cRegistry::DeleteKey() { return false; }
bool cRegistry::DeleteValue() { return false; }
QVariant cRegistry::Value() { return m_default; }
void cRegistry::setValue(const QVariant &) {}
bool cRegistry::EnumerateValues(QStringList &, int &) const { return false; }
bool cRegistry::EnumerateSections(QStringList &, int &) const { return false; }
void cRegistry::CreateEXEAssociation(const QString &, const QString &, const QString &, const QString &, const QString &, bool, const QString &, bool, const QString &, bool, const QString &, qint32) {}
void cRegistry::CreateAdditionalEXEAssociations(const QString &, const QStringList &) {}
qint32 cRegistry::ValueType() const { return m_valueType; }
void cRegistry::setValueType(qint32 t) { m_valueType = t; }
qint32 cRegistry::ClassKey() const { return m_classKey; }
void cRegistry::setClassKey(qint32 r) { m_classKey = r; }
QString cRegistry::SectionKey() const { return m_sectionKey; }
void cRegistry::setSectionKey(const QString &p) { m_sectionKey = p; }
QString cRegistry::ValueKey() const { return m_valueKey; }
void cRegistry::setValueKey(const QString &n) { m_valueKey = n; }
QVariant cRegistry::ValueEx(qint32, const QString &, const QString &, qint32, const QVariant &d) { return d; }
void cRegistry::setValueEx(qint32, const QString &, const QString &, qint32, const QVariant &, const QVariant &) {}
QVariant cRegistry::Default() const { return m_default; }
void cRegistry::setDefault(const QVariant &v) { m_default = v; }
QString cRegistry::hivePath() { return {}; }
