#pragma once
// The error raised by the host services for misuse (a conversion that cannot
// succeed, a missing parameter, no open books). Database failures keep their
// own type, db::DbError.

#include <QString>

#include <stdexcept>

class PubError : public std::runtime_error {
public:
    explicit PubError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};
