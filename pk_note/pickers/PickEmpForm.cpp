#include "PickEmpForm.h"

#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
pk_note::FormClassRegistrar reg("TPickEmpForm", [](QWidget *owner) { return new TPickEmpForm(owner); });
}

TPickEmpForm::TPickEmpForm(QWidget *owner)
    : TIdPickForm(QStringLiteral("PickEmpForm"), QStringLiteral("选择领料人"), QStringLiteral("EMPID"), owner)
{
    cdsPick->AddField(QStringLiteral("DEPARTNAME"), data::FieldType::String, 40);
    cdsPick->AddField(QStringLiteral("DEPARTCODE"), data::FieldType::String, 20);
    cdsPick->AddField(QStringLiteral("TYPENAME"), data::FieldType::String, 40);

    edCode = AddFilterEdit("edCode", QStringLiteral("编号:"), 0, 0);
    edName = AddFilterEdit("edName", QStringLiteral("姓名:"), 0, 1);
    cmbDepartment = AddFilterCombo("cmbDepartment", QStringLiteral("部门:"),
                                   QStringLiteral("SELECT Name, Code FROM departmentlth ORDER BY Code"), 1, 0);
    cmbEmpType = AddFilterCombo("cmbEmpType", QStringLiteral("类别:"),
                                QStringLiteral("select Name,Code from emptypelth where closed=0 order by code"), 1, 1);
    SetColumns({{"CODE", "编号", 70}, {"NAME", "姓名", 110}, {"DEPARTNAME", "部门", 120}, {"TYPENAME", "类别", 100},
                {"PHONE", "电话", 120}});
    InitComponents();
}

QString TPickEmpForm::BaseSql() const
{
    return QStringLiteral("select M.*,L.Name As DepartName, L.Code as DepartCode,T.Name as TypeName  from employlth M  "
                          "left join departmentlth L on M.depid=L.depid  left join emptypelth T on "
                          "M.Emptypesid=T.Emptypesid Where M.Closed = 0");
}

QStringList TPickEmpForm::Conditions() const
{
    QStringList out;
    if (const QString code = FilterText(edCode); !code.isEmpty())
        out << QStringLiteral("M.Code like '%") + EscapeQuotes(code) + QStringLiteral("%'");
    if (const QString name = FilterText(edName); !name.isEmpty())
        out << QStringLiteral("M.Name like '%") + EscapeQuotes(name) + QStringLiteral("%'");
    if (const QString dep = FilterText(cmbDepartment); !dep.isEmpty())
        out << QStringLiteral("L.Name like '%") + EscapeQuotes(dep) + QStringLiteral("%'");
    if (const QString type = FilterText(cmbEmpType); !type.isEmpty())
        out << QStringLiteral("T.Name like '%") + EscapeQuotes(type) + QStringLiteral("%'");
    return out;
}
