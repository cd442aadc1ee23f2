#include "UnPayorUnChangeForm.h"

#include "PackageWindows.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TUnPayorUnChangeForm", [](QWidget *owner) { return new TUnPayorUnChangeForm(owner); });

const QString kSelected = QStringLiteral("SELECTED");

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

struct Column {
    const char *field, *title;
    int width;
    bool amount = false;
};
const Column kColumns[] = {
    {"Selected", "选择", 40},
    {"notename", "单据类型", 80},
    {"noteCode", "单据编号", 140},
    {"noteDate", "单据日期", 90},
    {"Total", "单据金额", 100, true},
    {"referamt", "已结算金额", 100, true},
    {"Totalunpaid", "未结算金额", 100, true},
    {"TERMDAYS", "付款期限", 70},
};

void setSelected(data::ClientDataSet *ds, int value, data::Field *field = nullptr)
{
    ds->Edit();
    (field ? field : ds->FieldByName(kSelected))->SetValue(value);
    ds->Post();
}

} // namespace

QString TUnPayorUnChangeForm::NotesSql(int noteType)
{
    QString table, name;
    if (noteType == 4) {
        table = QStringLiteral("purchasepth");
        name = QStringLiteral("采购开单");
    } else if (noteType == 14) {
        table = QStringLiteral("salesth");
        name = QStringLiteral("销售开单");
    } else {
        return {};
    }
    // Opening balances (negative ids) show as such; opening returns are left out.
    return QStringLiteral("select 0 as Selected, case when noteID<0 then '期初' else '") + name
           + QStringLiteral("' end as notename, noteID, ") + QString::number(noteType)
           + QStringLiteral(" as noteType, noteCode, partnerID, noteDate, amount as Total, referamt, "
                            "round(Amount-referamt,6) as Totalunpaid, shoperateid, TERMDAYS from ")
           + table
           + QStringLiteral(" WHERE partnerid=:partnerid and notestate=1 "
                            "AND abs(round(amount-referamt,6))>=0.0001 "
                            "and (shoperateid is null or shoperateid=0) "
                            "and (not (noteid<0 and notekind=2)) order by noteDate, noteID");
}

TUnPayorUnChangeForm::TUnPayorUnChangeForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("UnPayorUnChangeForm"));
    setWindowTitle(QStringLiteral("请选择单据"));
    qryNotes = new data::ClientDataSet(StartupDB(), this);
    qryNotes->setObjectName(QStringLiteral("qryNotes"));
    qryNotes->AddField(QStringLiteral("noteDate"), data::FieldType::Date);
    dsNotes = new data::DataSource(qryNotes, this);
    dsNotes->setObjectName(QStringLiteral("dsNotes"));
    dsNotes->SetAutoEdit(false);

    NoteGrid = new widgets::TRqDBGrid(this, QStringLiteral("NoteGrid"));
    NoteGrid->SetReadOnly(true);
    NoteGrid->setPalette(NoteGrid->property("pkEditPalette").value<QPalette>());
    NoteGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NoteGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NoteGrid->SetAllowAppend(false);
    NoteGrid->SetAllowDelete(false);
    NoteGrid->SetDataSource(dsNotes);
    NoteGrid->installEventFilter(this);
    m_tick = new TickDelegate(this);

    auto button = [this](const char *name, const char *text) {
        auto *b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false); // Enter is OK from anywhere
        return b;
    };
    btnView = button("btnView", "查看单据");
    btnAll = button("btnAll", "全选");
    btnNone = button("btnNone", "全清");
    OkBtn = button("OkBtn", "确定");
    CancelBtn = button("CancelBtn", "取消");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(btnView);
    bottom->addWidget(btnAll);
    bottom->addWidget(btnNone);
    bottom->addStretch();
    bottom->addWidget(OkBtn);
    bottom->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(NoteGrid, 1);
    layout->addLayout(bottom);

    connect(btnView, &QPushButton::clicked, this, &TUnPayorUnChangeForm::btnViewClick);
    connect(btnAll, &QPushButton::clicked, this, [this] { SelectAll(true); });
    connect(btnNone, &QPushButton::clicked, this, [this] { SelectAll(false); });
    connect(OkBtn, &QPushButton::clicked, this, &TUnPayorUnChangeForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TUnPayorUnChangeForm::CancelBtnClick);
    connect(NoteGrid, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (NoteGrid->Column(index.column()).FieldName.compare(kSelected, Qt::CaseInsensitive) == 0)
            ToggleCurrent();
    });
    resize(840, 420);
}

bool TUnPayorUnChangeForm::OpenNotes(int noteType, qint64 partnerId)
{
    const QString sql = NotesSql(noteType);
    if (sql.isEmpty()) {
        ShowError(QStringLiteral("无法辨识的单据类型."));
        return false;
    }
    qryNotes->Close();
    qryNotes->SetCommandText(sql);
    qryNotes->Params().clear();
    qryNotes->SetParam(QStringLiteral("partnerid"), partnerId);
    try {
        qryNotes->Open();
    } catch (const std::exception &e) {
        qryNotes->Close();
        ShowError(e);
        return false;
    }
    NoteGrid->ClearColumns();
    for (const Column &c : kColumns) {
        data::Field *f = qryNotes->FindField(QString::fromLatin1(c.field));
        if (!f)
            continue;
        // The amounts, whatever type the engine gave the computed ones.
        if (f->DataType() == data::FieldType::Float || c.amount)
            f->SetDisplayFormat(QStringLiteral("#0.00"));
        NoteGrid->AddColumn(f->FieldName(), QString::fromUtf8(c.title), c.width).ReadOnly = true;
    }
    NoteGrid->ColumnsChanged();
    NoteGrid->horizontalHeader()->setStretchLastSection(true);
    NoteGrid->setItemDelegateForColumn(NoteGrid->ColumnOfField(kSelected), m_tick);
    return true;
}

void TUnPayorUnChangeForm::SelectAll(bool selected)
{
    if (!qryNotes->Active() || qryNotes->IsEmpty())
        return;
    const data::Bookmark at = qryNotes->GetBookmark();
    qryNotes->DisableControls();
    data::Field *field = qryNotes->FieldByName(kSelected);
    for (qryNotes->First(); !qryNotes->Eof(); qryNotes->Next())
        setSelected(qryNotes, selected ? 1 : 0, field);
    qryNotes->GotoBookmark(at);
    qryNotes->EnableControls();
}

void TUnPayorUnChangeForm::ToggleCurrent()
{
    if (!qryNotes->Active() || qryNotes->IsEmpty())
        return;
    setSelected(qryNotes, qryNotes->FieldByName(kSelected)->AsInteger() == 1 ? 0 : 1);
}

void TUnPayorUnChangeForm::btnViewClick()
{
    if (!qryNotes->Active() || qryNotes->IsEmpty())
        return;
    QnParams params;
    params.AddValue(QStringLiteral("NOTEID"), qryNotes->FieldByName(QStringLiteral("noteID"))->AsInteger());
    params.AddValue(QStringLiteral("NOTETYPE"), qryNotes->FieldByName(QStringLiteral("noteType"))->AsInteger());
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &params);
}

void TUnPayorUnChangeForm::OkBtnClick()
{
    qryNotes->CheckBrowseMode();
    done(1);
}

void TUnPayorUnChangeForm::CancelBtnClick() { done(2); }

bool TUnPayorUnChangeForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == NoteGrid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Space: ToggleCurrent(); return true;
            case Qt::Key_Return:
            case Qt::Key_Enter: OkBtnClick(); return true;
            case Qt::Key_Escape: CancelBtnClick(); return true;
            default: break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUnPayorUnChangeForm::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        OkBtnClick();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        CancelBtnClick();
        return;
    }
    QDialog::keyPressEvent(event);
}
