#include "PickpartnerForm.h"

#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

const PartnerPickKind kSuppliers{
    "PickpartnerForm", "选择供应商",
    "Where IsVendor = 1 and M.Closed = 0 and partnerID > 0 and (shoperateid is null or shoperateid=0)", false};
// Head-office lists keep the shops' own partners out, clients as suppliers.
const PartnerPickKind kClients{
    "PickClientForm", "选择客户",
    "Where IsClient = 1 and M.Closed = 0 and partnerID > 0 and (shoperateid is null or shoperateid=0)", true};

// "1": the client picker lists only the clients of the operator's own employees.
const QString kOwnClientsParam = QStringLiteral("OnlyOwnClient");

pk_note::FormClassRegistrar regSuppliers("TPickpartnerForm",
                                         [](QWidget *owner) { return new TPickpartnerForm(owner); });
pk_note::FormClassRegistrar regClients("TPickClientForm", [](QWidget *owner) { return new TPickClientForm(owner); });

// An amount box holds a number or nothing; the number goes into the statement as its decimal text.
QString amountText(const QLineEdit *edit)
{
    bool ok = false;
    const double value = edit->text().trimmed().toDouble(&ok);
    return ok ? QString::number(value, 'f', 6) : QString();
}

} // namespace

TPartnerPickForm::TPartnerPickForm(const PartnerPickKind &kind, QWidget *owner)
    : TIdPickForm(QString::fromLatin1(kind.formName), QString::fromUtf8(kind.caption), QStringLiteral("PARTNERID"),
                      owner),
      m_kind(kind), m_showBalance(GetUPrivilegeItem(550, 1))
{
    cdsPick->AddField(QStringLiteral("CASH"), data::FieldType::Float);
    cdsPick->AddField(QStringLiteral("AREANAME"), data::FieldType::String, 40);
    cdsPick->AddField(QStringLiteral("LCODE"), data::FieldType::String, 20);
    cdsPick->FieldByName(QStringLiteral("CASH"))->SetDisplayFormat(QStringLiteral("#0.00"));

    edCode = AddFilterEdit("edCode", QStringLiteral("编号:"), 0, 0);
    edName = AddFilterEdit("edName", QStringLiteral("名称:"), 0, 1);
    cmbArea = AddFilterCombo("cmbArea", QStringLiteral("地区:"),
                             QStringLiteral("SELECT Name, LCode FROM arealth ORDER BY LCode"), 0, 2);
    edMinAmt = AddFilterEdit("edMinAmt", QStringLiteral("余额从:"), 1, 0);
    edMaxAmt = AddFilterEdit("edMaxAmt", QStringLiteral("至:"), 1, 1);
    const QRegularExpression amount(QStringLiteral(R"(-?\d{0,13}(\.\d{0,6})?)"));
    edMinAmt->setValidator(new QRegularExpressionValidator(amount, edMinAmt));
    edMaxAmt->setValidator(new QRegularExpressionValidator(amount, edMaxAmt));
    SetFilterVisible(edMinAmt, m_showBalance);
    SetFilterVisible(edMaxAmt, m_showBalance);

    if (m_showBalance)
        SetColumns({{"CODE", "编号", 80}, {"NAME", "名称", 200}, {"AREANAME", "地区", 100}, {"CASH", "余额", 110}});
    else
        SetColumns({{"CODE", "编号", 80}, {"NAME", "名称", 200}, {"AREANAME", "地区", 100}});
    InitComponents();
}

QString TPartnerPickForm::BaseSql() const
{
    QString sql = QStringLiteral("select M.*,Balance-SurAmt As Cash,A.Name as AreaName,A.LCode from partnerlth  M "
                                 "left join arealth A on M.AreaID=A.AreaID ")
        + QString::fromLatin1(m_kind.where);
    if (m_kind.ownClients && LookupSysParam(kOwnClientsParam).trimmed() == QLatin1String("1"))
        sql += QStringLiteral(" and EmpID in (Select EmpID from Employlth where OperaterID = ")
            + QString::number(g_iUserID) + u')';
    return sql;
}

QStringList TPartnerPickForm::Conditions() const
{
    QStringList out;
    if (const QString code = FilterText(edCode); !code.isEmpty())
        out << QStringLiteral("M.Code like '%") + EscapeQuotes(code) + QStringLiteral("%'");
    if (const QString name = FilterText(edName); !name.isEmpty())
        out << QStringLiteral("M.Name like '%") + EscapeQuotes(name) + QStringLiteral("%'");
    if (const QString area = FilterText(cmbArea); !area.isEmpty())
        out << QStringLiteral("A.Name like '%") + EscapeQuotes(area) + QStringLiteral("%'");
    // Without the right the amounts are neither shown nor used.
    if (m_showBalance) {
        if (const QString min = amountText(edMinAmt); !min.isEmpty())
            out << QStringLiteral("Balance-SurAmt>=") + min;
        if (const QString max = amountText(edMaxAmt); !max.isEmpty())
            out << QStringLiteral("Balance-SurAmt<=") + max;
    }
    return out;
}

TPickpartnerForm::TPickpartnerForm(QWidget *owner) : TPartnerPickForm(kSuppliers, owner) {}

TPickClientForm::TPickClientForm(QWidget *owner) : TPartnerPickForm(kClients, owner) {}
