#include "Moneynote.h"
#include "NoteReport.h"

#include "Lookup.h"
#include "Notepublic.h"
#include "Pub.h"
#include "TradeNote.h"
#include "UnPayorUnChangeForm.h"
#include "data/ClientDataSet.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QScopeGuard>
#include <QSet>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

using data::Field;

namespace {

constexpr double kEpsilon = 0.000001;

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

// The PayNow cell drawn as a check box: 1 ticked, anything else not.
class TickDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features |= QStyleOptionViewItem::HasCheckIndicator;
        option->checkState = index.data(Qt::EditRole).toInt() == 1 ? Qt::Checked : Qt::Unchecked;
        option->text.clear();
    }
};

} // namespace

TMoneynoteForm::TMoneynoteForm(const MoneynoteKind &kind, QWidget *owner)
    : TMDnoteForm(kind.master, kind.detail, owner), m_kind(kind)
{
    AddMasterRule(QStringLiteral("PARTNERID"), [this](Field &f) { partnerChanged(f); });
    AddMasterRule(QStringLiteral("AMOUNT"), [this](Field &f) { amountChanged(f); });
    AddMasterRule(QStringLiteral("DISC"), [this](Field &f) { discChanged(f); });
    AddMasterRule(QStringLiteral("FACTAMT"), [this](Field &f) { factAmtChanged(f); });
    AddMasterRule(QStringLiteral("SUBCODE"), [this](Field &f) { subCodeChanged(f); });
    AddMasterRule(QStringLiteral("SUBID"), [this](Field &f) { subIdChanged(f); });
    AddMasterRule(QStringLiteral("PAYTYPESID"), [this](Field &f) { payTypeChanged(f); });
    AddDetailRule(QStringLiteral("AMOUNT"), [this](Field &f) { lineAmountChanged(f); });

    // The strip above the lines: the partner's balance, the discount subject
    // and the allocation button.
    auto *strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("palSettle"));
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(12, 0, 12, 0);
    auto *balanceLabel = new QLabel(QStringLiteral("往来余额"), strip);
    balanceLabel->setObjectName(QStringLiteral("lbBalance"));
    edBalance = new QLineEdit(QStringLiteral("0.00"), strip);
    edBalance->setObjectName(QStringLiteral("edBalance"));
    edBalance->setReadOnly(true);
    edBalance->setFocusPolicy(Qt::NoFocus);
    edBalance->setAlignment(Qt::AlignRight);
    edBalance->setMaximumWidth(160);
    balanceLabel->setBuddy(edBalance);
    auto *subLabel = new QLabel(QStringLiteral("折扣科目"), strip);
    subLabel->setObjectName(QStringLiteral("lbSubCode"));
    auto *subCode = new widgets::TRqDBEdit(strip, QStringLiteral("edSubCode"));
    subCode->SetDataSource(dsMaster);
    subCode->SetDataField(QStringLiteral("SUBCODE"));
    subCode->setMaximumWidth(140);
    subLabel->setBuddy(subCode);
    btnSub = new QPushButton(QStringLiteral("..."), strip);
    btnSub->setObjectName(QStringLiteral("btnSub"));
    btnSub->setFixedWidth(28);
    btnSub->setAutoDefault(false);
    AutoApplyBtn = new QPushButton(AutoCaption(), strip);
    AutoApplyBtn->setObjectName(QStringLiteral("AutoApplyBtn"));
    AutoApplyBtn->setAutoDefault(false);
    row->addWidget(balanceLabel);
    row->addWidget(edBalance);
    row->addSpacing(24);
    row->addWidget(subLabel);
    row->addWidget(subCode);
    row->addWidget(btnSub);
    row->addStretch(1);
    row->addWidget(AutoApplyBtn);
    CenterLayout()->insertWidget(0, strip);
    const bool band = discountSubjectShown();
    for (QWidget *w : std::initializer_list<QWidget *>{subLabel, subCode, btnSub})
        w->setVisible(band);
    const bool seesDebt = GetUPrivilegeItem(550, 1);
    balanceLabel->setVisible(seesDebt);
    edBalance->setVisible(seesDebt);

    auto guarded = [this](void (TMoneynoteForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
    };
    connect(AutoApplyBtn, &QPushButton::clicked, this, guarded(&TMoneynoteForm::AutoApplyBtnClick));
    connect(btnSub, &QPushButton::clicked, this, guarded(&TMoneynoteForm::btnSubClick));
    m_tick = new TickDelegate(ItemGrid);
    connect(ItemGrid, &QAbstractItemView::clicked, this, [this, guarded](const QModelIndex &index) {
        if (Field *f = ItemGrid->FieldOfColumn(index.column());
            f && f->FieldName().compare(QLatin1String("PAYNOW"), Qt::CaseInsensitive) == 0)
            guarded(&TMoneynoteForm::PayNowClick)();
    });
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
}

QString TMoneynoteForm::AutoCaption() const
{
    return NoteType() == 61 ? QStringLiteral("自动付款") : QStringLiteral("自动收款");
}

bool TMoneynoteForm::discountSubjectShown() const { return LookupSysParam(QStringLiteral("IsBand")).toInt() != 0; }

// ============================================================ new notes

void TMoneynoteForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TMDnoteForm::InitNewNote(dataSet);
    for (const auto &[name, value] : {std::pair{"AMOUNT", 0}, {"FACTAMT", 0}, {"DISC", 100}, {"NOTEKIND", 2}})
        SetFieldValueSilent(MasterField(QString::fromLatin1(name)), value);
    if (AutoApplyBtn)
        AutoApplyBtn->setText(AutoCaption());
}

// ============================================================ master rules

void TMoneynoteForm::partnerChanged(Field &field)
{
    const qint64 partner = asId(field.Value());
    if (partner != 0) {
        AutoQuery q = CreateAutoQuery(QStringLiteral("select Translateto, TranslateType, scamt, EMPID, DEPID, CONTACTOR, "
                                                     "PHONE, CREDITDAY  from partnerlth where partnerid=")
                                      + QString::number(partner));
        static const char *const map[][2] = {{"NOTETO", "Translateto"}, {"TRANSLATETYPE", "TranslateType"},
                                             {"SCAMT", "scamt"},        {"EMPID", "EMPID"},
                                             {"DEPID", "DEPID"},        {"CONTACTOR", "CONTACTOR"},
                                             {"CONTACTPHONE", "PHONE"}, {"TERMDAYS", "CREDITDAY"}};
        if (!q->IsEmpty())
            for (const auto &m : map)
                if (Field *f = MasterField(QString::fromLatin1(m[0])))
                    SetFieldValue(f, q->FieldByName(QString::fromLatin1(m[1])).Value());
    }
    showBalance();
}

void TMoneynoteForm::showBalance()
{
    const qint64 partner = asId(MasterValue(QStringLiteral("PARTNERID")));
    if (edBalance)
        edBalance->setText(partner == 0 ? QStringLiteral("0.00") : trade::BalanceText(trade::ReadPartner(partner).balance));
}

void TMoneynoteForm::amountChanged(Field &field)
{
    const double amount = FormatAmount(field.AsFloat());
    SetFieldValueSilent(&field, amount);
    SetFieldValueSilent(MasterField(QStringLiteral("FACTAMT")),
                        FormatAmount(amount * MasterValue(QStringLiteral("DISC"), 100).toDouble() * 0.01));
}

void TMoneynoteForm::discChanged(Field &field)
{
    const double disc = field.AsFloat();
    const double amount = MasterValue(QStringLiteral("AMOUNT"), 0).toDouble();
    if (disc > 100 || disc < 0) {
        ShowError(disc > 100 ? QStringLiteral("折扣不能大于100%.") : QStringLiteral("折扣不能小于0%."));
        SetFieldValueSilent(&field, 100);
        SetFieldValueSilent(MasterField(QStringLiteral("FACTAMT")), amount);
    } else {
        SetFieldValueSilent(MasterField(QStringLiteral("FACTAMT")), FormatAmount(amount * disc * 0.01));
    }
    UpdateControlStates(QStringLiteral("DISC"));
}

void TMoneynoteForm::factAmtChanged(Field &field)
{
    const double fact = FormatAmount(field.AsFloat());
    SetFieldValueSilent(&field, fact);
    const double amount = MasterValue(QStringLiteral("AMOUNT"), 0).toDouble();
    const double disc = std::fabs(amount) < kEpsilon ? (std::fabs(fact) < kEpsilon ? 100 : INFINITY) : fact / amount * 100;
    if (disc > 100 + kEpsilon) {
        ShowError(QStringLiteral("折扣不能大于100%."));
        // The paid amount goes back to what the discount gives.
        SetFieldValueSilent(&field, FormatAmount(amount * MasterValue(QStringLiteral("DISC"), 100).toDouble() * 0.01));
        return;
    }
    SetFieldValueSilent(MasterField(QStringLiteral("DISC")), disc);
    UpdateControlStates(QStringLiteral("DISC"));
}

void TMoneynoteForm::subCodeChanged(Field &field)
{
    const QString code = field.AsString().trimmed();
    if (code.isEmpty()) {
        SetFieldValueSilent(MasterField(QStringLiteral("SUBID")), QVariant());
        return;
    }
    const QVariant id = scalarOf(QStringLiteral("select subjectid from subjectalth where ISDETAIL=1 and SUBCODE='") + code
                                 + QStringLiteral("'"));
    if (id.isNull()) {
        SetFieldValueSilent(MasterField(QStringLiteral("SUBID")), QVariant());
        SetFieldValueSilent(&field, QVariant());
        ShowError(QStringLiteral("输入的科目不存在或不是明细科目."));
        return;
    }
    SetFieldValueSilent(MasterField(QStringLiteral("SUBID")), id);
}

void TMoneynoteForm::subIdChanged(Field &field)
{
    const QVariant code = field.IsNull() ? QVariant()
                                         : scalarOf(QStringLiteral("select SUBCODE from subjectalth where ISDETAIL=1 and subjectid=")
                                                    + QString::number(field.AsInteger()));
    SetFieldValueSilent(MasterField(QStringLiteral("SUBCODE")), code);
}

void TMoneynoteForm::payTypeChanged(Field &field)
{
    const QVariant account = field.IsNull()
                                 ? QVariant()
                                 : scalarOf(QStringLiteral("select AccountID from paymethodlth where paytypesid=")
                                            + QString::number(field.AsInteger()));
    SetFieldValue(MasterField(QStringLiteral("ACCOUNTID")), account);
}

void TMoneynoteForm::lineAmountChanged(Field &field)
{
    if (!field.IsNull())
        SetFieldValueSilent(&field, FormatAmount(field.AsFloat()));
    if (!m_bAllocating)
        applyLineTotal();
}

void TMoneynoteForm::applyLineTotal()
{
    Field *lineAmount = DetailField(QStringLiteral("AMOUNT"));
    if (!lineAmount)
        return;
    const double total = FormatAmount(cdsDetail->Total(lineAmount->Index()));
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    // What is paid can't exceed what is settled: a smaller settled amount
    // (none typed yet, say) grows to the lines' total.
    Field *amount = MasterField(QStringLiteral("AMOUNT"));
    if (std::fabs(amount->AsFloat()) < std::fabs(total) - kEpsilon)
        SetFieldValueSilent(amount, total);
    SetFieldValue(MasterField(QStringLiteral("FACTAMT")), total);
}

// ============================================================ lines

void TMoneynoteForm::setLine(const char *name, const QVariant &value)
{
    if (cdsDetail->State() == data::DataSetState::Browse)
        cdsDetail->Edit();
    SetFieldValue(DetailField(QString::fromLatin1(name)), value);
}

void TMoneynoteForm::AutoApplyBtnClick()
{
    if (!cdsDetail->Active() || cdsDetail->IsEmpty() || ReadOnly())
        return;
    cdsDetail->CheckBrowseMode();
    const bool clearing = AutoApplyBtn->text() == QString::fromUtf8(kClearAll);
    const double masterAmount = MasterValue(QStringLiteral("AMOUNT"), 0).toDouble();
    double applied = 0;
    bool exhausted = false;
    {
        const DetailUpdate update(*this);
        // The paid amount follows the lines once, after the walk.
        m_bAllocating = true;
        const auto done = qScopeGuard([this] { m_bAllocating = false; });
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            const double open = DetailValue(QStringLiteral("SHOULDPAYAMT"), 0).toDouble();
            double amount = 0;
            if (!clearing && !exhausted) {
                if (std::fabs(masterAmount) < kEpsilon) {
                    amount = open;
                } else if (masterAmount - applied > open) {
                    amount = open;
                } else {
                    amount = masterAmount - applied;
                    exhausted = true;
                }
            }
            amount = FormatAmount(amount);
            setLine("AMOUNT", amount);
            setLine("PAYNOW", std::fabs(amount) > kEpsilon ? 1 : 0);
            cdsDetail->Post();
            applied += amount;
        }
    }
    applyLineTotal();
    cdsDetail->First();
    AutoApplyBtn->setText(clearing ? AutoCaption() : QString::fromUtf8(kClearAll));
}

void TMoneynoteForm::PayNowClick()
{
    if (ReadOnly() || !CanEditNote() || !cdsDetail->Active() || cdsDetail->IsEmpty())
        return;
    if (asId(DetailValue(QStringLiteral("REFERNOTEID"))) == 0)
        return;
    const bool unpaid = std::fabs(DetailValue(QStringLiteral("AMOUNT"), 0).toDouble()) < kEpsilon;
    const double amount = unpaid ? DetailValue(QStringLiteral("SHOULDPAYAMT"), 0).toDouble() : 0;
    setLine("AMOUNT", amount);
    setLine("PAYNOW", unpaid ? 1 : 0);
    cdsDetail->Post();
}

int TMoneynoteForm::AddSettledNotes(data::ClientDataSet &rows)
{
    if (ReadOnly() || !cdsDetail->Active())
        return 0;
    cdsDetail->CheckBrowseMode();
    // Fields by name once: a thousand notes are a thousand rows.
    const auto from = [&rows](const char *name) { return rows.FindField(QString::fromLatin1(name)); };
    Field *selected = from("Selected"), *type = from("noteType"), *id = from("noteID"), *code = from("noteCode"),
          *date = from("noteDate"), *total = from("Total"), *refer = from("referamt"), *open = from("Totalunpaid");
    if (!selected || !type || !id)
        return 0;
    const auto to = [this](const char *name) { return DetailField(QString::fromLatin1(name)); };
    Field *lineType = to("REFERNOTETYPE"), *lineId = to("REFERNOTEID"), *lineCode = to("NOTECODE"),
          *lineDate = to("NOTEDATE"), *lineTotal = to("TOTAL"), *lineRefer = to("REFERAMT"),
          *lineOpen = to("SHOULDPAYAMT"), *lineAmount = to("AMOUNT"), *linePayNow = to("PAYNOW");
    const auto value = [](Field *f) { return f ? f->Value() : QVariant(); };
    // The notes on the payment already, read in place.
    QSet<QPair<int, qint64>> onNote;
    for (int r = 0; r < cdsDetail->RecordCount(); ++r)
        onNote.insert({cdsDetail->ValueAt(r, lineType->Index()).toInt(), asId(cdsDetail->ValueAt(r, lineId->Index()))});
    const QVariant opening = m_kind.settledType == 14 ? QStringLiteral("期初应收") : QStringLiteral("期初应付");
    int added = 0;
    const DetailUpdate update(*this);
    for (rows.First(); !rows.Eof(); rows.Next()) {
        if (selected->AsInteger() != 1)
            continue;
        const QPair<int, qint64> key{int(type->AsInteger()), asId(id->Value())};
        if (onNote.contains(key))
            continue;
        onNote.insert(key);
        cdsDetail->Append();
        SetFieldValueSilent(lineType, key.first);
        SetFieldValueSilent(lineId, key.second);
        SetFieldValueSilent(lineCode, key.second < 0 ? opening : value(code));
        SetFieldValueSilent(lineDate, value(date));
        SetFieldValueSilent(lineTotal, value(total));
        SetFieldValueSilent(lineRefer, value(refer));
        SetFieldValueSilent(lineOpen, value(open));
        SetFieldValueSilent(lineAmount, 0);
        SetFieldValueSilent(linePayNow, 0);
        cdsDetail->Post();
        ++added;
    }
    return added;
}

void TMoneynoteForm::SelectSourceNote()
{
    if (!CanEditNote())
        return;
    const qint64 partner = asId(MasterValue(QStringLiteral("PARTNERID")));
    if (partner == 0) {
        ShowError(QStringLiteral("请先选择往来单位."));
        return;
    }
    TUnPayorUnChangeForm dialog(this);
    if (!dialog.OpenNotes(m_kind.settledType, partner))
        return;
    if (ShowModal(&dialog) != 1)
        return;
    AddSettledNotes(*dialog.Notes());
}

bool TMoneynoteForm::LoadForSource(int sourceNoteType, qint64 sourceNoteId)
{
    const QString name = QString::fromUtf8(m_kind.settledName);
    AutoQuery q = CreateAutoQuery(QStringLiteral("select * from ") + QString::fromLatin1(m_kind.settledTable)
                                  + QStringLiteral(" where noteid=") + QString::number(sourceNoteId)
                                  + QStringLiteral(" and abs(referamt)<abs(amount)"));
    if (sourceNoteType != m_kind.settledType || q->IsEmpty()) {
        ShowError(QStringLiteral("无法定位") + name + QStringLiteral("(原因:单据不存在和已结算完毕)."));
        return false;
    }
    if (q->FieldByName(QStringLiteral("NOTESTATE")).AsInteger() != 1) {
        ShowError(name + QStringLiteral("没有审核或已经被作废,无法生成收付款单."));
        return false;
    }
    if (!AppendBlankNote())
        return false;
    const qint64 cpartner = asId(q->FieldByName(QStringLiteral("CPARTNERID")).Value());
    // The partner the note's debt was booked to.
    SetFieldValue(MasterField(QStringLiteral("PARTNERID")),
                  cpartner != 0 ? QVariant(cpartner) : q->FieldByName(QStringLiteral("PARTNERID")).Value());
    SetFieldValueSilent(MasterField(QStringLiteral("NOTEKIND")), 2);
    const double total = q->FieldByName(QStringLiteral("AMOUNT")).AsFloat();
    const double refer = q->FieldByName(QStringLiteral("REFERAMT")).AsFloat();
    {
        const DetailUpdate update(*this);
        AppendDetailLine();
        SetFieldValueSilent(DetailField(QStringLiteral("REFERNOTETYPE")), sourceNoteType);
        SetFieldValueSilent(DetailField(QStringLiteral("REFERNOTEID")), sourceNoteId);
        SetFieldValueSilent(DetailField(QStringLiteral("NOTECODE")), q->FieldByName(QStringLiteral("NOTECODE")).Value());
        SetFieldValueSilent(DetailField(QStringLiteral("NOTEDATE")), q->FieldByName(QStringLiteral("NOTEDATE")).Value());
        SetFieldValueSilent(DetailField(QStringLiteral("TOTAL")), total);
        SetFieldValueSilent(DetailField(QStringLiteral("REFERAMT")), refer);
        SetFieldValueSilent(DetailField(QStringLiteral("SHOULDPAYAMT")), FormatAmount(total - refer));
        SetFieldValueSilent(DetailField(QStringLiteral("PAYNOW")), 1);
        SetFieldValue(DetailField(QStringLiteral("AMOUNT")), FormatAmount(total - refer));
        cdsDetail->Post();
    }
    return true;
}

// ============================================================ checks

bool TMoneynoteForm::ValidateNote()
{
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 2).toInt();
    if (kind == 1 && std::fabs(MasterValue(QStringLiteral("AMOUNT"), 0).toDouble()) < kEpsilon) {
        ShowError(QStringLiteral("预付金额不能等于零."));
        return false;
    }
    if (asId(MasterValue(QStringLiteral("PAYTYPESID"))) == 0) {
        ShowError(QStringLiteral("请选择结算方式."));
        return false;
    }
    if (asId(MasterValue(QStringLiteral("ACCOUNTID"))) == 0) {
        ShowError(QStringLiteral("请选择结算帐户."));
        return false;
    }
    if (kind == 2 && discountSubjectShown() && MasterValue(QStringLiteral("DISC"), 100).toDouble() < 100 - kEpsilon
        && asId(MasterValue(QStringLiteral("SUBID"))) == 0) {
        ShowError(QStringLiteral("字段:[折扣科目]不能为空."));
        return false;
    }
    cdsDetail->CheckBrowseMode();
    bool business = false;
    QString refusal;
    {
        const DetailUpdate update(*this);
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next())
            business |= std::fabs(DetailValue(QStringLiteral("AMOUNT"), 0).toDouble()) > kEpsilon;
        if (kind != 1 && !business) {
            refusal = QStringLiteral("单据没有发生业务,不能保存.");
        } else {
            // The amount settled now has the sign of the note it settles.
            for (cdsDetail->First(); !cdsDetail->Eof() && refusal.isEmpty(); cdsDetail->Next()) {
                const double total = DetailValue(QStringLiteral("TOTAL"), 0).toDouble();
                const double amount = DetailValue(QStringLiteral("AMOUNT"), 0).toDouble();
                const QString code = DetailValue(QStringLiteral("NOTECODE")).toString();
                if (total > 0 && amount < 0)
                    refusal = QStringLiteral("单据[") + code + QStringLiteral("]的本次收付款不能小于零.");
                else if (total < 0 && amount > 0)
                    refusal = QStringLiteral("单据[") + code + QStringLiteral("]的本次收付款不能大于零.");
            }
        }
    }
    if (!refusal.isEmpty()) {
        ShowError(refusal);
        return false;
    }
    return TMDnoteForm::ValidateNote();
}

void TMoneynoteForm::PrepareSave()
{
    TBasenoteForm::PrepareSave();
    cdsDetail->CheckBrowseMode();
}

void TMoneynoteForm::ApplyChangeLogs(int action)
{
    TBasenoteForm::ApplyChangeLogs(action);
    if (!cdsDetail->Active())
        return;
    if (action == 2) {
        cdsDetail->Cancel();
        cdsDetail->CancelUpdates();
        return;
    }
    cdsDetail->CheckBrowseMode();
    if (cdsDetail->ChangeCount() > 0 && cdsDetail->ApplyUpdates(0) > 0)
        throw PubError(QStringLiteral("保存失败."));
}

// ============================================================ display

void TMoneynoteForm::ShowNote()
{
    TMDnoteForm::ShowNote();
    const int payNow = ItemGrid->ColumnOfField(QStringLiteral("PAYNOW"));
    if (payNow >= 0 && ItemGrid->itemDelegateForColumn(payNow) != m_tick)
        ItemGrid->setItemDelegateForColumn(payNow, m_tick);
    showBalance();
    if (AutoApplyBtn)
        AutoApplyBtn->setText(AutoCaption());
}

void TMoneynoteForm::UpdateControlStates(const QString &fieldName)
{
    TMDnoteForm::UpdateControlStates(fieldName);
    const bool editable = !ReadOnly() && MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 0;
    if (AutoApplyBtn)
        AutoApplyBtn->setEnabled(editable);
    const bool discounted = MasterValue(QStringLiteral("DISC"), 100).toDouble() < 100 - kEpsilon;
    if (btnSub)
        btnSub->setEnabled(editable && discounted);
    if (auto *sub = findChild<widgets::TRqDBEdit *>(QStringLiteral("edSubCode")))
        sub->SetReadOnly(!(editable && discounted));
}

void TMoneynoteForm::btnSubClick()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SubjectPickForm"));
    dialog.setWindowTitle(QStringLiteral("选择折扣科目"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *table = new QTableWidget(&dialog);
    table->setObjectName(QStringLiteral("SubjectList"));
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("科目编号"), QStringLiteral("科目名称")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    AutoQuery q = CreateAutoQuery(
        QStringLiteral("select SUBJECTID, SUBCODE, NAME from subjectalth where ISDETAIL=1 and Closed=0 order by SUBCODE"));
    for (int row = 0; !q->Eof(); q->Next(), ++row) {
        table->insertRow(row);
        auto *code = new QTableWidgetItem(q->FieldByName(QStringLiteral("SUBCODE")).AsString());
        code->setData(Qt::UserRole, q->FieldByName(QStringLiteral("SUBJECTID")).Value());
        table->setItem(row, 0, code);
        table->setItem(row, 1, new QTableWidgetItem(q->FieldByName(QStringLiteral("NAME")).AsString()));
    }
    if (table->rowCount() > 0)
        table->selectRow(0);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(table, &QTableWidget::cellDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(360, 360);
    if (ShowModal(&dialog) != QDialog::Accepted || table->currentRow() < 0)
        return;
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValue(MasterField(QStringLiteral("SUBID")), table->item(table->currentRow(), 0)->data(Qt::UserRole));
}

QHash<QString, QVariant> TMoneynoteForm::ReportVariables()
{
    // The name of a master key as its list shows it.
    auto name = [this](const char *field, const char *source) {
        const QVariant key = MasterValue(QString::fromLatin1(field));
        pub::LookupTable *list = FindLookupDataSource(QString::fromLatin1(source));
        const int row = key.isNull() || !list ? -1 : list->rowOfKey(key);
        return row < 0 ? QVariant(QString()) : list->value(row, QStringLiteral("NAME"));
    };
    return {{QStringLiteral("M.MPARTNERID"), name("PARTNERID", "dspartner")},
            {QStringLiteral("M.MNOTEKIND"), name("NOTEKIND", "dsPayKind")},
            {QStringLiteral("M.MPAYTYPESID"), name("PAYTYPESID", "dsPayMethod")},
            {QStringLiteral("M.MACCOUNTID"), name("ACCOUNTID", "dsAccount")}};
}

void TMoneynoteForm::SetReportVariables(TCorvanReportStyle *report)
{
    TMDnoteForm::SetReportVariables(report);
    report->SetVariables(ReportVariables());
}
