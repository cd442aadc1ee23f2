// The company's own system parameters, which printed notes show in their
// title and footer: new books get them empty, to be filled in by the user.

#include "notedb.h"

namespace notedb {

void ensureCompanyParameters(db::Database &database)
{
    static const struct {
        int id;
        const char *name, *remark;
    } parameters[] = {{1001, "CompanyName", "公司名称"}, {1002, "TaxNo", "纳税登记号"},
                      {1003, "Address", "公司地址"},     {1004, "Tel", "公司电话"},
                      {1005, "Bank", "开户银行"},        {1006, "BankNo", "银行帐号"}};
    for (const auto &p : parameters) {
        const QString name = QString::fromLatin1(p.name);
        if (database.scalar(QStringLiteral("select count(*) from sysparamamth where PARAMNAME = :n"), {{QStringLiteral("n"), name}})
                .toInt()
            > 0)
            continue;
        database.exec(QStringLiteral("insert into sysparamamth (PARAMID, PARAMNAME, DATAVALUE, REMARK) values (:i, :n, '', :r)"),
                      {{QStringLiteral("i"), p.id}, {QStringLiteral("n"), name}, {QStringLiteral("r"), QString::fromUtf8(p.remark)}});
    }
}

} // namespace notedb
