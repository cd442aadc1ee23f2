#include "PickBuildingForm.h"

#include "Pub.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace {
pk_note::FormClassRegistrar reg("TPickBuildingForm", [](QWidget *owner) { return new TPickBuildingForm(owner); });
}

TPickBuildingForm::TPickBuildingForm(QWidget *owner)
    : TMasterPickForm(QStringLiteral("PickBuildingForm"), QStringLiteral("选择仓库"), QStringLiteral("BUILDINGID"), owner)
{
    edCode = AddFilterEdit("edCode", QStringLiteral("仓库编号:"), 0, 0);
    edName = AddFilterEdit("edName", QStringLiteral("仓库名称:"), 0, 1);
    SetColumns({{"CODE", "编号", 70}, {"NAME", "名称", 140}, {"LOCATION", "地址", 240}, {"REMARK", "备注", 140}});
    InitComponents();
}

void TPickBuildingForm::SetFilterText(const QString &text)
{
    ClearFilters();
    {
        const QSignalBlocker quiet(edCode);
        edCode->setText(text);
    }
    RefreshList();
}

QString TPickBuildingForm::BaseSql() const
{
    return QStringLiteral("select * from storelth where 1=1 and (shoperateid is null or shoperateid=0)");
}

QStringList TPickBuildingForm::Conditions() const
{
    QStringList out;
    if (const QString code = FilterText(edCode); !code.isEmpty())
        out << QStringLiteral("Code like '") + EscapeQuotes(code) + QStringLiteral("%'");
    if (const QString name = FilterText(edName); !name.isEmpty())
        out << QStringLiteral("Name like '") + EscapeQuotes(name) + QStringLiteral("%'");
    return out;
}

bool TPickBuildingForm::AcceptCurrent()
{
    m_selected = CurrentId();
    if (m_selected == 0) {
        ShowError(QStringLiteral("你选择的仓库不存在."));
        return false;
    }
    return true;
}
