#include "SteadyReads.h"

#include "Globals.h"
#include "db/Database.h"

SteadyReads::SteadyReads() : m_books(StartupDB())
{
    if (m_books)
        m_books->holdSteady(true);
}

SteadyReads::~SteadyReads()
{
    if (m_books)
        m_books->holdSteady(false);
}

db::ResultSet SteadySelect(const QString &sql, const db::Params &params)
{
    db::Database *d = StartupDB();
    return d ? d->steadySelect(sql, params) : db::ResultSet();
}

QVariant SteadyScalar(const QString &sql, const db::Params &params)
{
    const db::ResultSet rs = SteadySelect(sql, params);
    return rs.isEmpty() || rs.rows[0].isEmpty() ? QVariant() : rs.rows[0][0];
}
