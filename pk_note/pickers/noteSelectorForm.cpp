#include "noteSelectorForm.h"

#include "Basenote.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TnoteSelectorForm", [](QWidget *owner) { return new TnoteSelectorForm(owner); });

const QString kSelected = QStringLiteral("SELECTED");

QString S(const char *text) { return QString::fromUtf8(text); }

// The SELECTED cell drawn as a check box: 1 ticked, anything else not.
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

// ---- the source kinds each target document accepts ----

SelectorBranch branch(int type, const char *when, const char *master, const char *detail, const char *masterCond,
                      const char *lineCond, const char *openCond, const char *sumQty)
{
    SelectorBranch b;
    b.noteType = type;
    b.offeredWhen = S(when);
    b.masterTable = S(master);
    b.detailTable = S(detail);
    b.masterCondition = S(masterCond);
    b.lineCondition = S(lineCond);
    b.openCondition = S(openCond);
    b.sumQty = S(sumQty);
    return b;
}

// Remaining quantity of a line that carries only what was turned in.
const char *const kAbsRemain = "abs(b.Quantity)-abs(b.ReferQty)";
const char *const kAbsOpen = "abs(b.Quantity)>abs(b.ReferQty)";

SelectorBranch stockDocs(const char *when, int kind, const char *types, const char *referTypes)
{
    SelectorBranch b = branch(21, when, "iostoreith", "iostoreithDetail", "", "", "", kAbsRemain);
    b.masterCondition = QStringLiteral("m.noteKind=%1 and m.noteType in (%2)").arg(kind).arg(S(types));
    if (*referTypes)
        b.lineCondition = QStringLiteral("isnull(b.RefernoteType,0) in (%1)").arg(S(referTypes));
    b.openCondition = S(kAbsOpen);
    b.storeOnMaster = true; // the lines of a stock document have no store of their own
    return b;
}

SelectorBranch sales(SelectorBranch b)
{
    b.salesMaster = true;
    return b;
}

SelectorBranch requested(SelectorBranch b)
{
    // The remainder is offered as the quantity, the price as the tax price.
    b.quantity = b.sumQty;
    b.taxPrice = QStringLiteral("b.price");
    return b;
}

const QHash<QString, QVector<SelectorBranch>> &declaredBranches()
{
    static const QHash<QString, QVector<SelectorBranch>> branches{
        {QStringLiteral("TPNORDERFORM"),
         {requested(branch(5, "5=:noteType", "Repurchase", "RepurchaseDetail", "", "b.quantity>Isnull(b.ReferQty,0)", "",
                           "b.quantity-Isnull(b.ReferQty,0)"))}},
        {QStringLiteral("TPVALUEFORM"),
         {branch(2, "2=:noteType", "orderpth", "orderpthDetail", "isnull(m.Closed,0)=0", "isnull(b.Closed,0)=0",
                 "abs(b.Quantity)>abs(b.ReferQty+b.buyqty)", "abs(b.quantity)-abs(b.ReferQty+b.buyqty)"),
          branch(3, "3=:noteType", "valuepth", "valuepthDetail", "m.noteKind=1", kAbsOpen, "", kAbsRemain),
          stockDocs("21=:noteType", 1, "3,4", "0,2")}},
        {QStringLiteral("TPBUYFORM"),
         {branch(2, "2=:noteType", "orderpth", "orderpthDetail", "isnull(m.Closed,0)=0", "isnull(b.Closed,0)=0",
                 "b.Quantity>(b.ReferQty+b.buyqty)", "b.quantity-b.ReferQty-b.buyqty"),
          branch(3, "3=:noteType", "valuepth", "valuepthDetail", "m.noteKind=1", kAbsOpen, "", kAbsRemain),
          branch(4, "(4=:noteType or 22=:noteType)", "purchasepth", "purchasepthDetail", "m.noteKind<>2", kAbsOpen, "",
                 kAbsRemain),
          stockDocs("21=:noteType", 1, "3,4", ""), stockDocs("(4=:noteType or 22=:noteType)", 2, "3,4", "")}},
        {QStringLiteral("TSNORDERFORM"),
         // Offered for source type 11, as the sales order asks; the rows are
         // quotations (15), so the lines taken refer to the quotation itself.
         {requested(branch(15, "11=:noteType", "s_price", "S_PriceDetail", "", "b.quantity>Isnull(b.ReferQty,0)", "",
                           "b.quantity-Isnull(b.ReferQty,0)"))}},
        {QStringLiteral("TSALEFORM"),
         {sales(branch(12, "12=:noteType", "ordersth", "ordersthDetail", "", "",
                       "b.Quantity>(b.ReferQty+isnull(b.saleqty,0))", "b.quantity-b.ReferQty-isnull(b.saleqty,0)")),
          sales(branch(13, "13=:noteType", "DeputeMarketsth", "DeputeMarketsthDetail", "m.noteKind=1",
                       "abs(b.Quantity)>abs(b.ReferQty)+abs(b.BalQty)", "",
                       "abs(b.Quantity)-abs(b.ReferQty)-abs(b.BalQty)")),
          sales(branch(14, "(14=:noteType or 21=:noteType)", "salesth", "salesthDetail", "m.noteKind<>2", kAbsOpen, "",
                       kAbsRemain)),
          stockDocs("22=:noteType", 2, "13,14", "0,12"), stockDocs("(14=:noteType or 21=:noteType)", 1, "13,14", "0,12")}},
        {QStringLiteral("TDEPUTEMARKETFORM"),
         {sales(branch(12, "12=:noteType", "ordersth", "ordersthDetail", "", "", "abs(b.Quantity)>(b.ReferQty+b.saleQty)",
                       "abs(b.quantity)-abs(b.ReferQty+b.saleqty)")),
          sales(branch(13, "13=:noteType", "DeputeMarketsth", "DeputeMarketsthDetail", "m.noteKind=1",
                       "abs(b.Quantity)>abs(b.ReferQty)+abs(b.BalQty)", "",
                       "abs(b.Quantity)-abs(b.ReferQty)-abs(b.BalQty)")),
          stockDocs("22=:noteType", 2, "13,14", "")}},
    };
    return branches;
}

// The target classes and the object names of their two data sets.
struct PairName {
    const char *cls, *master, *detail;
    bool sales;
};
const PairName kPairNames[] = {
    {"TPNORDERFORM", "qryPNOrderM", "qryPNOrderD", false}, {"TPVALUEFORM", "qryPValueM", "qryPValueD", false},
    {"TPBUYFORM", "qryPBuyM", "qryPBuyD", false},          {"TSNORDERFORM", "qrySNOrderM", "qrySNOrderD", true},
    {"TSALEFORM", "qrySaleM", "qrySaleD", true},          {"TDEPUTEMARKETFORM", "qryDeputeMarketM", "qryDeputeMarketD", true},
};

QVector<SelectorColumn> masterColumns(bool sales)
{
    QVector<SelectorColumn> c{{kSelected, S("选择"), 40},        {QStringLiteral("NOTECODE"), S("单据编号"), 130},
                              {QStringLiteral("NOTEDATE"), S("单据日期"), 90}, {QStringLiteral("AMOUNT"), S("金额"), 90}};
    if (sales)
        c << SelectorColumn{QStringLiteral("CONTRACTNO"), S("客户订单号"), 110};
    c << SelectorColumn{QStringLiteral("REMARK"), S("备注"), 200};
    return c;
}

QVector<SelectorColumn> detailColumns(bool sales)
{
    QVector<SelectorColumn> c{
        {kSelected, S("选择"), 40},
        {QStringLiteral("NOTECODE"), S("单据编号"), 120},
        {QStringLiteral("COMMODITYNAME"), S("货品名称"), 140},
        {QStringLiteral("SPEC"), S("规格"), 90},
        {QStringLiteral("BUILDINGNAME"), S("仓库"), 90},
        {QStringLiteral("QUANTITY"), S("数量"), 70},
        {QStringLiteral("REFERQTY"), S("已引用数量"), 75},
        {QStringLiteral("SUMQTY"), S("未引用数量"), 75},
        {QStringLiteral("PRICE"), S("单价"), 75},
        {QStringLiteral("TAXPRICE"), S("含税单价"), 75},
        {QStringLiteral("DISC"), S("折扣%"), 55},
        {QStringLiteral("TAXRATE"), S("税率%"), 55},
        {QStringLiteral("AMOUNT"), S("金额"), 85},
        {QStringLiteral("BCODE"), S("批号"), 90},
    };
    if (sales)
        c << SelectorColumn{QStringLiteral("REMARK"), S("备注"), 150};
    return c;
}

// Stock in/out notes take their sources from the database's own procedures.
SelectorQueryPair storePair()
{
    SelectorQueryPair p;
    p.masterName = QStringLiteral("qryIIStoreM");
    p.detailName = QStringLiteral("qryIIStoreD");
    p.masterSql = QStringLiteral("exec Store_SelectM :inoteKind, :sequence, :SelectType, :partnerID, :BuildingID");
    p.detailSql = QStringLiteral("exec Store_SelectD :inoteKind, :sequence, :SelectType, :partnerID, :BuildingID");
    p.params = {QStringLiteral("inoteKind"), QStringLiteral("sequence"), QStringLiteral("SelectType"),
                QStringLiteral("partnerID"), QStringLiteral("BuildingID")};
    p.masterColumns = masterColumns(false);
    p.detailColumns = detailColumns(false);
    return p;
}

QHash<QString, SelectorQueryPair> &pairs()
{
    static QHash<QString, SelectorQueryPair> all = [] {
        QHash<QString, SelectorQueryPair> h;
        for (const PairName &n : kPairNames) {
            const QString cls = QString::fromLatin1(n.cls);
            h.insert(cls, TnoteSelectorForm::ComposePair(QString::fromLatin1(n.master), QString::fromLatin1(n.detail),
                                                         declaredBranches().value(cls), n.sales));
        }
        h.insert(QStringLiteral("TIIOBUILDINGFORM"), storePair());
        return h;
    }();
    return all;
}

// Audited head-office documents of the partner (0: any partner) from this branch.
QString documentConditions(const SelectorBranch &b)
{
    QString where = b.offeredWhen + QStringLiteral(" and m.noteState=1 and (m.Shoperateid is null or m.shoperateid=0)"
                                                   " and (isnull(:partnerID,0)=0 or m.partnerID=:partnerID)");
    if (!b.masterCondition.isEmpty())
        where += QStringLiteral(" and ") + b.masterCondition;
    return where;
}

QString lineConditions(const SelectorBranch &b)
{
    QString where;
    if (!b.lineCondition.isEmpty())
        where += QStringLiteral(" and ") + b.lineCondition;
    if (!b.openCondition.isEmpty())
        where += QStringLiteral(" and (") + b.openCondition + QStringLiteral(" or 1=:showall)");
    return where;
}

} // namespace

// ---- query pairs ----

SelectorQueryPair TnoteSelectorForm::ComposePair(const QString &masterName, const QString &detailName,
                                                 const QVector<SelectorBranch> &branches, bool sales)
{
    SelectorQueryPair p;
    p.masterName = masterName;
    p.detailName = detailName;
    p.params = {QStringLiteral("noteType"), QStringLiteral("partnerID"), QStringLiteral("showall")};
    p.masterColumns = masterColumns(sales);
    p.detailColumns = detailColumns(sales);
    QStringList masters, details;
    for (const SelectorBranch &b : branches) {
        const QString type = QString::number(b.noteType);
        QString m = QStringLiteral("select 0 as Selected, ") + type
                    + QStringLiteral(" as notetype, m.noteid as noteid, m.notecode, m.notedate, m.amount, m.remark");
        if (sales)
            m += b.salesMaster ? QStringLiteral(", m.IsFill, m.CONTRACTNO")
                               : QStringLiteral(", 0 as IsFill, null as CONTRACTNO");
        m += QStringLiteral(" from ") + b.masterTable + QStringLiteral(" m where ") + documentConditions(b)
             + QStringLiteral(" and exists (select 1 from ") + b.detailTable
             + QStringLiteral(" b where b.noteid=m.noteid") + lineConditions(b) + QStringLiteral(")");
        masters << m;

        const QString store = b.storeOnMaster ? QStringLiteral("m.BuildingID") : QStringLiteral("b.BuildingID");
        QString d = QStringLiteral("select 0 as Selected, ") + type + QStringLiteral(" as notetype, b.noteid as noteid, b.ITEMSNO as ITEMSNO, ")
                    + store + QStringLiteral(" as BUILDINGID, b.COMMODITYID, ") + b.quantity
                    + QStringLiteral(" as quantity, b.ReferQty, ") + b.taxPrice
                    + QStringLiteral(" as TaxPrice, b.price, b.AMOUNT, b.DISC, b.TaxRate, g.Name as Commodityname, "
                                     "g.Spec, s.Name as BuildingName, m.noteCode, b.Bturnnoteid, b.bcode, b.productday, "
                                     "b.validday, ")
                    + b.sumQty + QStringLiteral(" as SumQty, b.RefernoteID");
        if (sales)
            d += QStringLiteral(", b.APrice, b.Remark");
        d += QStringLiteral(" from ") + b.detailTable + QStringLiteral(" b join ") + b.masterTable
             + QStringLiteral(" m on m.noteid=b.noteid left join Commoditylth g on g.CommodityID=b.CommodityID "
                              "left join storelth s on s.BuildingID=")
             + store + QStringLiteral(" where ") + documentConditions(b) + lineConditions(b);
        details << d;

        for (const QString &t : {b.masterTable, b.detailTable})
            if (!p.tables.contains(t, Qt::CaseInsensitive))
                p.tables << t;
    }
    p.tables << QStringLiteral("Commoditylth") << QStringLiteral("storelth");
    p.masterSql = masters.join(QStringLiteral(" union all ")) + QStringLiteral(" order by notetype, noteid");
    p.detailSql = details.join(QStringLiteral(" union all ")) + QStringLiteral(" order by notetype, noteid, ITEMSNO");
    return p;
}

void TnoteSelectorForm::RegisterQueryPair(const QString &className, const SelectorQueryPair &pair)
{
    pairs().insert(className.toUpper(), pair);
}

const SelectorQueryPair *TnoteSelectorForm::QueryPair(const QString &className)
{
    auto &all = pairs();
    auto it = all.constFind(className.toUpper());
    return it == all.constEnd() ? nullptr : &it.value();
}

QStringList TnoteSelectorForm::QueryPairClasses()
{
    QStringList names = pairs().keys();
    names.sort();
    return names;
}

QVector<SelectorBranch> TnoteSelectorForm::Branches(const QString &className)
{
    return declaredBranches().value(className.toUpper());
}

// ---- the window ----

TnoteSelectorForm::TnoteSelectorForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("noteSelectorForm"));
    setWindowTitle(QStringLiteral("请选择单据"));

    auto makeSet = [this](const char *name, data::DataSource *&source) {
        auto *ds = new data::ClientDataSet(StartupDB(), this);
        ds->setObjectName(QString::fromLatin1(name));
        source = new data::DataSource(ds, this);
        source->SetAutoEdit(false);
        return ds;
    };
    qryMaster = makeSet("qryMaster", dsMaster);
    qryDetail = makeSet("qryDetail", dsDetail);
    dsMaster->setObjectName(QStringLiteral("dsMaster"));
    dsDetail->setObjectName(QStringLiteral("dsDetail"));
    // Dates of documents are days; the statements give them as text.
    qryMaster->AddField(QStringLiteral("NOTEDATE"), data::FieldType::Date);

    auto makeGrid = [this](const char *name, data::DataSource *source) {
        auto *grid = new widgets::TRqDBGrid(this, QString::fromLatin1(name));
        grid->SetReadOnly(true);
        // A list to choose from, not a locked note: keep the normal colours.
        grid->setPalette(grid->property("pkEditPalette").value<QPalette>());
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->SetAllowAppend(false);
        grid->SetAllowDelete(false);
        grid->SetDataSource(source);
        grid->installEventFilter(this);
        return grid;
    };
    MasterGrid = makeGrid("MasterGrid", dsMaster);
    DetailGrid = makeGrid("DetailGrid", dsDetail);

    chkShowAll = new QCheckBox(QStringLiteral("显示已引用数量大于订单数量的记录"), this);
    chkShowAll->setObjectName(QStringLiteral("chkShowAll"));
    chkSplit = new QCheckBox(QStringLiteral("根据批次被引用数量自动拆分"), this);
    chkSplit->setObjectName(QStringLiteral("chkSplit"));
    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    for (QPushButton *b : {OkBtn, CancelBtn})
        b->setAutoDefault(false); // Enter is OK from anywhere, handled below

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(MasterGrid);
    split->addWidget(DetailGrid);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(chkShowAll);
    bottom->addWidget(chkSplit);
    bottom->addStretch();
    bottom->addWidget(OkBtn);
    bottom->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    setTabOrder(MasterGrid, DetailGrid);
    setTabOrder(DetailGrid, chkShowAll);
    setTabOrder(chkShowAll, chkSplit);
    setTabOrder(chkSplit, OkBtn);
    setTabOrder(OkBtn, CancelBtn);

    connect(chkShowAll, &QCheckBox::toggled, this, &TnoteSelectorForm::ApplyShowAll);
    connect(OkBtn, &QPushButton::clicked, this, &TnoteSelectorForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TnoteSelectorForm::CancelBtnClick);
    connect(MasterGrid, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (MasterGrid->Column(index.column()).FieldName.compare(kSelected, Qt::CaseInsensitive) == 0)
            ToggleDocument();
    });
    connect(DetailGrid, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (DetailGrid->Column(index.column()).FieldName.compare(kSelected, Qt::CaseInsensitive) == 0)
            ToggleLine();
    });
    qryMaster->AfterScroll = [this](data::ClientDataSet &) { locateDetail(); };
    m_tick = new TickDelegate(this);

    QSize size(1000, 600);
    if (const QScreen *s = screen())
        size = size.boundedTo(s->availableGeometry().size() - QSize(40, 60));
    resize(size);

    if (owner && dynamic_cast<TBasenoteForm *>(owner))
        SetDocument(owner);
}

QString TnoteSelectorForm::documentClass(const QWidget *note)
{
    const QString cls = QString::fromLatin1(note->metaObject()->className()).toUpper();
    // A kind without a meta-object of its own is known by its registered
    // class name: "T" + its form name.
    static const QStringList framework{QStringLiteral("TBASENOTEFORM"), QStringLiteral("TMDNOTEFORM"),
                                       QStringLiteral("TCOMMODITYNOTEFORM"), QStringLiteral("TMONEYNOTEFORM")};
    if (framework.contains(cls) && !note->objectName().isEmpty())
        return (QStringLiteral("T") + note->objectName()).toUpper();
    return cls;
}

bool TnoteSelectorForm::SetDocument(QWidget *note)
{
    if (!note) {
        ShowError(QStringLiteral("单据选择: 没有打开它的单据"));
        return false;
    }
    return SetTargetClass(documentClass(note));
}

bool TnoteSelectorForm::SetTargetClass(const QString &className)
{
    qryDetail->Close();
    qryMaster->Close();
    const SelectorQueryPair *pair = QueryPair(className);
    if (!pair) {
        m_class.clear();
        ShowError(QStringLiteral("单据选择: 未知的单据类型 ") + className);
        return false;
    }
    m_class = className.toUpper();
    // The sale and the stock in/out note speak of sold quantities; the sale
    // offers the box only when its sources follow the sales sequence.
    const bool sold = m_class == QLatin1String("TSALEFORM") || m_class == QLatin1String("TIIOBUILDINGFORM");
    chkShowAll->setText(sold ? QStringLiteral("显示已销售数量大于订单数量的记录")
                             : QStringLiteral("显示已引用数量大于订单数量的记录"));
    chkShowAll->setVisible(m_class != QLatin1String("TSALEFORM") || LookupSysParam(QStringLiteral("IsSSequence")) == QLatin1String("1"));
    qryMaster->setObjectName(pair->masterName);
    qryDetail->setObjectName(pair->detailName);
    qryMaster->SetCommandText(pair->masterSql);
    qryDetail->SetCommandText(pair->detailSql);
    return true;
}

bool TnoteSelectorForm::OpenSelection(const QVariantList &params)
{
    const SelectorQueryPair *pair = QueryPair(m_class);
    if (!pair) {
        ShowError(QStringLiteral("单据选择: 未知的单据类型 ") + m_class);
        return false;
    }
    qryDetail->Close();
    qryMaster->Close();
    for (data::ClientDataSet *ds : {qryMaster, qryDetail}) {
        ds->Params().clear();
        // Values in the order of the names; a missing value is null.
        for (int i = 0; i < pair->params.size(); ++i)
            ds->SetParam(pair->params[i], i < params.size() ? params[i] : QVariant());
    }
    try {
        qryDetail->Open();
        qryMaster->Open();
    } catch (const std::exception &e) {
        qryMaster->Close();
        qryDetail->Close();
        ShowError(e);
        return false;
    }
    setupColumns(MasterGrid, qryMaster, pair->masterColumns);
    setupColumns(DetailGrid, qryDetail, pair->detailColumns);
    ApplyShowAll();
    return true;
}

void TnoteSelectorForm::setupColumns(widgets::TRqDBGrid *grid, data::ClientDataSet *ds,
                                     const QVector<SelectorColumn> &columns)
{
    grid->ClearColumns();
    for (const SelectorColumn &c : columns) {
        data::Field *f = ds->FindField(c.field);
        if (!f)
            continue; // a procedure may leave a column out
        if (f->DataType() == data::FieldType::Float)
            f->SetDisplayFormat(c.field.contains(QStringLiteral("PRICE"), Qt::CaseInsensitive)
                                    ? QStringLiteral("#0.########")
                                    : QStringLiteral("#0.####"));
        grid->AddColumn(f->FieldName(), c.title, c.width).ReadOnly = true;
    }
    grid->ColumnsChanged();
    grid->horizontalHeader()->setStretchLastSection(true);
    const int tick = grid->ColumnOfField(kSelected);
    if (tick >= 0)
        grid->setItemDelegateForColumn(tick, m_tick);
}

bool TnoteSelectorForm::SplitByBatch() const { return chkSplit->isChecked(); }

void TnoteSelectorForm::ApplyShowAll()
{
    if (!qryDetail->Active())
        return;
    qryDetail->SetFilter(QStringLiteral("SumQty>0"));
    qryDetail->SetFiltered(!chkShowAll->isChecked());
    locateDetail();
}

void TnoteSelectorForm::locateDetail()
{
    if (!qryMaster->Active() || qryMaster->IsEmpty() || !qryDetail->Active() || qryDetail->ControlsDisabled())
        return;
    qryDetail->Locate(QStringLiteral("noteType;noteId"),
                      {qryMaster->FieldByName(QStringLiteral("noteType"))->Value(),
                       qryMaster->FieldByName(QStringLiteral("noteId"))->Value()});
}

namespace {

int flipped(data::ClientDataSet *ds)
{
    return ds->FieldByName(kSelected)->AsInteger() == 1 ? 0 : 1;
}

void setSelected(data::ClientDataSet *ds, int value)
{
    ds->Edit();
    ds->FieldByName(kSelected)->SetValue(value);
    ds->Post();
}

} // namespace

void TnoteSelectorForm::ToggleDocument()
{
    if (!qryMaster->Active() || qryMaster->IsEmpty())
        return;
    const int value = flipped(qryMaster);
    setSelected(qryMaster, value);
    if (!qryDetail->Active())
        return;
    const QVariant type = qryMaster->FieldByName(QStringLiteral("noteType"))->Value();
    const QVariant id = qryMaster->FieldByName(QStringLiteral("noteId"))->Value();
    data::Field *lineType = qryDetail->FieldByName(QStringLiteral("noteType"));
    data::Field *lineId = qryDetail->FieldByName(QStringLiteral("noteId"));
    // The grid is detached while the lines are walked, so it is redrawn once.
    qryDetail->DisableControls();
    dsDetail->SetEnabled(false);
    try {
        for (qryDetail->First(); !qryDetail->Eof(); qryDetail->Next())
            if (lineType->AsInteger() == type.toLongLong() && lineId->AsInteger() == id.toLongLong())
                setSelected(qryDetail, value);
    } catch (...) {
        dsDetail->SetEnabled(true);
        qryDetail->EnableControls();
        throw;
    }
    dsDetail->SetEnabled(true);
    qryDetail->EnableControls();
    locateDetail();
}

void TnoteSelectorForm::ToggleLine()
{
    if (!qryDetail->Active() || qryDetail->IsEmpty())
        return;
    setSelected(qryDetail, flipped(qryDetail));
}

void TnoteSelectorForm::OkBtnClick()
{
    qryDetail->CheckBrowseMode();
    done(1);
}

void TnoteSelectorForm::CancelBtnClick() { done(2); }

bool TnoteSelectorForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || (watched != MasterGrid && watched != DetailGrid))
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier && key->key() != Qt::Key_Backtab)
        return QDialog::eventFilter(watched, event);
    switch (key->key()) {
    case Qt::Key_Space:
        watched == MasterGrid ? ToggleDocument() : ToggleLine();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // The grids pass Tab between them instead of moving along a row.
        (watched == MasterGrid ? DetailGrid : MasterGrid)->setFocus(Qt::TabFocusReason);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: OkBtnClick(); return true;
    case Qt::Key_Escape: CancelBtnClick(); return true;
    default: return QDialog::eventFilter(watched, event);
    }
}

void TnoteSelectorForm::keyPressEvent(QKeyEvent *event)
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
