#include "NotepublicFixture.h"

#include "NumberingFunctions.h"


namespace notepublictest {

void NotepublicTest::SetUp()
{
    // The layer installs registered functions when it opens a connection.
    notedb::registerNumberingFunctions();
    SessionTest::SetUp();
}

void NotepublicTest::insertNote(const QString &table, qint64 id, const QString &code, const QString &date)
{
    QStringList columns{QStringLiteral("NOTEID"), QStringLiteral("NOTECODE"), QStringLiteral("NOTEDATE")};
    QStringList values{QStringLiteral(":id"), QStringLiteral(":code"), QStringLiteral(":date")};
    // The columns that need a value: not null and without a default.
    const db::ResultSet info =
        m_db->isPostgres()
            ? m_db->select(QStringLiteral("select column_name, case when is_nullable = 'NO' then 1 else 0 end, column_default "
                                          "from information_schema.columns where table_schema = current_schema() "
                                          "and table_name = lower(:t)"),
                           {{QStringLiteral("t"), table}})
            : m_db->select(QStringLiteral("select name, \"notnull\", dflt_value from pragma_table_info(:t)"),
                           {{QStringLiteral("t"), table}});
    for (const auto &row : info.rows) {
        const QString name = row[0].toString();
        const bool required = row[1].toInt() != 0;
        const bool hasDefault = !row[2].isNull();
        if (required && !hasDefault && !columns.contains(name, Qt::CaseInsensitive)) {
            columns << name;
            values << QStringLiteral("0");
        }
    }
    sql(QStringLiteral("insert into ") + table + QStringLiteral(" (") + columns.join(u',') + QStringLiteral(") values (")
            + values.join(u',') + u')',
        {{QStringLiteral("id"), id}, {QStringLiteral("code"), code}, {QStringLiteral("date"), date}});
}

void NotepublicTest::setRule(int noteType, const QVariant &head, const QVariant &sepa, const QVariant &mode,
                             const QVariant &code)
{
    sql(QStringLiteral("update notetypelth set HEAD=:h, SEPA=:s, MODE=:m, CODE=:c where ID=:id"),
        {{QStringLiteral("h"), head}, {QStringLiteral("s"), sepa}, {QStringLiteral("m"), mode},
         {QStringLiteral("c"), code}, {QStringLiteral("id"), noteType}});
}

} // namespace notepublictest
