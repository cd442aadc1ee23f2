#include "ItemNoteForm.h"

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

using data::Field;

namespace {

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

void roundAmount(Field &field)
{
    if (!field.IsNull())
        SetFieldValueSilent(&field, FormatAmount(field.AsFloat()));
}

} // namespace

TItemNoteForm::TItemNoteForm(const ItemNoteKind &kind, QWidget *owner)
    : TMDnoteForm(kind.master, kind.detail, owner), m_itemType(kind.itemType),
      m_itemCaption(QString::fromUtf8(kind.itemCaption))
{
    AddMasterRule(QStringLiteral("PAYTYPESID"), [this](Field &f) { payTypeChanged(f); });
    if (kind.partnerBringsEmployee)
        AddMasterRule(QStringLiteral("PARTNERID"), [this](Field &f) { partnerChanged(f); });
    AddDetailRule(QStringLiteral("IETYPESID"), [this](Field &f) { itemChanged(f); });
    AddDetailRule(QStringLiteral("IENAME"), [this](Field &f) { itemNameTyped(f); });
    AddDetailRule(QStringLiteral("AMOUNT"), roundAmount);
    AddColumnButton(QStringLiteral("IENAME"), [this] { PickItem(); });
    // The remark takes whatever width the window has left.
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
}

void TItemNoteForm::partnerChanged(Field &field)
{
    if (field.IsNull())
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select EMPID, DEPID from partnerlth where partnerid=")
                                  + QString::number(field.AsInteger()));
    if (q->IsEmpty())
        return;
    // The employee first: its own department rule runs, the customer's wins.
    SetFieldValue(MasterField(QStringLiteral("EMPID")), q->FieldByName(QStringLiteral("EMPID")).Value());
    SetFieldValue(MasterField(QStringLiteral("DEPID")), q->FieldByName(QStringLiteral("DEPID")).Value());
}

void TItemNoteForm::payTypeChanged(Field &payType)
{
    const QVariant account = payType.IsNull()
                                 ? QVariant()
                                 : scalarOf(QStringLiteral("select AccountID from paymethodlth where paytypesid=")
                                            + QString::number(payType.AsInteger()));
    SetFieldValue(MasterField(QStringLiteral("ACCOUNTID")), account);
}

void TItemNoteForm::putLine(const char *name, const QVariant &value)
{
    if (cdsDetail->State() != data::DataSetState::Edit && cdsDetail->State() != data::DataSetState::Insert)
        cdsDetail->Edit();
    SetFieldValueSilent(DetailField(QString::fromLatin1(name)), value);
}

void TItemNoteForm::itemChanged(Field &field)
{
    const QVariant name = field.IsNull() ? QVariant()
                                         : scalarOf(QStringLiteral("select IENAME from ietypelth where IETYPESID=")
                                                    + QString::number(field.AsInteger()));
    putLine("IENAME", name);
}

void TItemNoteForm::itemNameTyped(Field &field)
{
    const QString text = field.AsString().trimmed();
    if (text.isEmpty()) {
        putLine("IETYPESID", QVariant());
        return;
    }
    // A closed item is as unknown as a misspelt one: the picker hides both.
    AutoQuery q = CreateAutoQuery(QStringLiteral("select IETYPESID, IENAME from ietypelth where stype=")
                                  + QString::number(m_itemType) + QStringLiteral(" and Closed=0 and (CODE=")
                                  + QuotedStr(text) + QStringLiteral(" or IENAME=") + QuotedStr(text)
                                  + QStringLiteral(")"));
    if (q->IsEmpty()) {
        putLine("IETYPESID", QVariant());
        putLine("IENAME", QVariant());
        ShowError(m_itemCaption + QStringLiteral("[") + text + QStringLiteral("]不存在."));
        return;
    }
    putLine("IETYPESID", q->FieldByName(QStringLiteral("IETYPESID")).Value());
    putLine("IENAME", q->FieldByName(QStringLiteral("IENAME")).Value());
}

bool TItemNoteForm::ValidateDetailLine()
{
    if (DetailValue(QStringLiteral("IETYPESID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请输入费用项目."));
        return false;
    }
    if (!(DetailValue(QStringLiteral("AMOUNT"), 0).toDouble() > 0)) {
        ShowError(QStringLiteral("金额必须大于零."));
        return false;
    }
    return true;
}

bool TItemNoteForm::ValidateDetailLines()
{
    if (!cdsDetail->Active() || cdsDetail->IsEmpty()) {
        ShowError(QStringLiteral("单据没有发生业务,不能保存."));
        return false;
    }
    return TMDnoteForm::ValidateDetailLines();
}

bool TItemNoteForm::ValidateNote()
{
    if (!TMDnoteForm::ValidateNote())
        return false;
    // The audit posts to the account: a note without one could never be audited.
    if (MasterValue(QStringLiteral("PAYTYPESID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请选择结算方式."));
        return false;
    }
    if (MasterValue(QStringLiteral("ACCOUNTID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请选择结算帐户."));
        return false;
    }
    return true;
}

bool TItemNoteForm::PickItem()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ItemPickForm"));
    dialog.setWindowTitle(QStringLiteral("选择") + m_itemCaption);
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
                                  + QString::number(m_itemType) + QStringLiteral(" and Closed=0 order by CODE"));
    const qint64 current = DetailValue(QStringLiteral("IETYPESID"), 0).toLongLong();
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
    if (cdsDetail->IsEmpty())
        cdsDetail->Append();
    else if (cdsDetail->State() == data::DataSetState::Browse)
        cdsDetail->Edit();
    SetFieldValue(DetailField(QStringLiteral("IETYPESID")), id);
    return true;
}
