#pragma once

#include <QString>
#include <exception>

// The one error type of the program: a number, a description and the part of
// the program that raised it. Windows show it as "number - description".
class AppError : public std::exception
{
public:
    AppError(qint64 number, QString description, QString source = {}, QString state = {})
        : m_number(number), m_description(std::move(description)), m_source(std::move(source)),
          m_state(std::move(state)), m_what(text().toUtf8())
    {}

    qint64 number() const { return m_number; }
    const QString &description() const { return m_description; }
    const QString &source() const { return m_source; }
    // The database server's own code for the error (PostgreSQL's SQLSTATE,
    // "23505"); empty for every other error.
    const QString &state() const { return m_state; }

    // "number - description", the text of the ERROR message box.
    QString text() const { return QString::number(m_number) + QStringLiteral(" - ") + m_description; }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_description;
    QString m_source;
    QString m_state;
    QByteArray m_what;
};
