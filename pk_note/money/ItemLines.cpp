#include "ItemLines.h"

#include "MDnote.h"
#include "Notepublic.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <functional>

using data::Field;

namespace moneylines {

namespace {

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

void putLine(TMDnoteForm &form, const char *name, const QVariant &value)
{
    data::ClientDataSet *d = form.DetailDataSet();
    if (d->State() != data::DataSetState::Edit && d->State() != data::DataSetState::Insert)
        d->Edit();
    SetFieldValueSilent(form.DetailField(QString::fromLatin1(name)), value);
}

void itemChanged(TMDnoteForm &form, Field &field, int)
{
    const QVariant name = field.IsNull() ? QVariant()
                                         : scalarOf(QStringLiteral("select IENAME from ietypelth where IETYPESID=")
                                                    + QString::number(field.AsInteger()));
    putLine(form, "IENAME", name);
}

void itemNameTyped(TMDnoteForm &form, Field &field, int stype)
{
    const QString text = field.AsString().trimmed();
    if (text.isEmpty()) {
        putLine(form, "IETYPESID", QVariant());
        return;
    }
    AutoQuery q = CreateAutoQuery(QStringLiteral("select IETYPESID, IENAME from ietypelth where stype=")
                                  + QString::number(stype) + QStringLiteral(" and (CODE=") + QuotedStr(text)
                                  + QStringLiteral(" or IENAME=") + QuotedStr(text) + QStringLiteral(")"));
    if (q->IsEmpty()) {
        putLine(form, "IETYPESID", QVariant());
        putLine(form, "IENAME", QVariant());
        ShowError((stype == 0 ? QStringLiteral("费用项目[") : QStringLiteral("收入项目[")) + text
                  + QStringLiteral("]不存在."));
        return;
    }
    putLine(form, "IETYPESID", q->FieldByName(QStringLiteral("IETYPESID")).Value());
    putLine(form, "IENAME", q->FieldByName(QStringLiteral("IENAME")).Value());
}

void amountChanged(TMDnoteForm &, Field &field, int)
{
    if (!field.IsNull())
        SetFieldValueSilent(&field, FormatAmount(field.AsFloat()));
}

using LineRule = std::function<void(TMDnoteForm &, Field &, int)>;

const QHash<QString, LineRule> &lineRules()
{
    static const QHash<QString, LineRule> rules = {
        {QStringLiteral("IETYPESID"), itemChanged},
        {QStringLiteral("IENAME"), itemNameTyped},
        {QStringLiteral("AMOUNT"), amountChanged},
    };
    return rules;
}

} // namespace

void PayTypeChanged(TMDnoteForm &form, Field &payType)
{
    const QVariant account = payType.IsNull()
                                 ? QVariant()
                                 : scalarOf(QStringLiteral("select AccountID from paymethodlth where paytypesid=")
                                            + QString::number(payType.AsInteger()));
    SetFieldValue(form.MasterField(QStringLiteral("ACCOUNTID")), account);
}

void LineFieldChange(TMDnoteForm &form, Field &field, int stype)
{
    const auto it = lineRules().constFind(field.FieldName().toUpper());
    if (it != lineRules().constEnd())
        it.value()(form, field, stype);
}

bool ValidateLine(TMDnoteForm &form)
{
    if (form.DetailValue(QStringLiteral("IETYPESID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请输入费用项目."));
        return false;
    }
    if (!(form.DetailValue(QStringLiteral("AMOUNT"), 0).toDouble() > 0)) {
        ShowError(QStringLiteral("金额必须大于零."));
        return false;
    }
    return true;
}

bool HasLines(TMDnoteForm &form)
{
    data::ClientDataSet *d = form.DetailDataSet();
    if (d->Active() && !d->IsEmpty())
        return true;
    ShowError(QStringLiteral("单据没有发生业务,不能保存."));
    return false;
}

bool ValidateMaster(TMDnoteForm &form)
{
    // The audit posts to the account: a note without one could never be audited.
    if (form.MasterValue(QStringLiteral("PAYTYPESID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请选择结算方式."));
        return false;
    }
    if (form.MasterValue(QStringLiteral("ACCOUNTID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请选择结算帐户."));
        return false;
    }
    return true;
}

bool PickItem(TMDnoteForm &form, int stype)
{
    QDialog dialog(&form);
    dialog.setObjectName(QStringLiteral("ItemPickForm"));
    dialog.setWindowTitle(stype == 0 ? QStringLiteral("选择费用项目") : QStringLiteral("选择收入项目"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *table = new QTableWidget(&dialog);
    table->setObjectName(QStringLiteral("ItemList"));
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("编号"), QStringLiteral("名称")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    AutoQuery q = CreateAutoQuery(QStringLiteral("select IETYPESID, CODE, IENAME from ietypelth where stype=")
                                  + QString::number(stype) + QStringLiteral(" and Closed=0 order by CODE"));
    const qint64 current = form.DetailValue(QStringLiteral("IETYPESID"), 0).toLongLong();
    for (int row = 0; !q->Eof(); q->Next(), ++row) {
        table->insertRow(row);
        auto *code = new QTableWidgetItem(q->FieldByName(QStringLiteral("CODE")).AsString());
        code->setData(Qt::UserRole, q->FieldByName(QStringLiteral("IETYPESID")).Value());
        table->setItem(row, 0, code);
        table->setItem(row, 1, new QTableWidgetItem(q->FieldByName(QStringLiteral("IENAME")).AsString()));
        if (q->FieldByName(QStringLiteral("IETYPESID")).AsInteger() == current)
            table->selectRow(row);
    }
    if (table->currentRow() < 0 && table->rowCount() > 0)
        table->selectRow(0);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(table, &QTableWidget::cellDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(320, 360);
    if (ShowModal(&dialog) != QDialog::Accepted || table->currentRow() < 0)
        return false;
    const QVariant id = table->item(table->currentRow(), 0)->data(Qt::UserRole);
    data::ClientDataSet *d = form.DetailDataSet();
    if (d->IsEmpty())
        d->Append();
    else if (d->State() == data::DataSetState::Browse)
        d->Edit();
    SetFieldValue(form.DetailField(QStringLiteral("IETYPESID")), id);
    return true;
}

} // namespace moneylines
