#include "PickCommodityForm.h"
#include "NoteMessages.h"

#include "Basenote.h"
#include "GSpecialCheckForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

using data::FieldType;

namespace {

pk_note::FormClassRegistrar reg("TPickCommodityForm", [](QWidget *owner) { return new TPickCommodityForm(owner); });

// Text typed by the user inside a quoted literal.
QString literal(const QString &text)
{
    QString s = text;
    return s.replace(u'\'', QStringLiteral("''"));
}

// The stock columns follow the store the picker was opened for.
QString selectText(qint64 store)
{
    const QString inStore = store > 0 ? QStringLiteral(" and h.BuildingID=") + QString::number(store) : QString();
    return QStringLiteral(
               "select g.COMMODITYID, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.SPEC, g.SPEEDSYMBOL, "
               "u.NAME as UNITNAME, g.LPRICE1, g.LPRICE2, g.LPRICE3, g.LPRICE4, g.LPRICE5, "
               "(select sum(h.quantity) from onhandaath h where h.Commodityid=g.Commodityid")
        + inStore + QStringLiteral(") as QUANTITY, (select sum(h.realqty) from onhandaath h where h.Commodityid=g.Commodityid")
        + inStore
        + QStringLiteral(") as REALQTY, g.KIND, g.COSTTYPE, g.CUSTDEF1, g.CUSTDEF2, g.CUSTDEF3, g.CUSTDEF4, g.CUSTDEF5 "
                         "from Commoditylth g left join unitlth u on u.UNITSID=g.UNITSID "
                         "left join CommoditylthType s on s.GDTYPESID=g.GDTYPESID where 1=1");
}

// Quantities as the lines show them: no trailing zeros.
class QuantityBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;
    QString textFromValue(double value) const override
    {
        QString text = QString::number(value, 'f', decimals());
        if (text.contains(u'.')) {
            while (text.endsWith(u'0'))
                text.chop(1);
            if (text.endsWith(u'.'))
                text.chop(1);
        }
        return text;
    }
};

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TPickCommodityForm::TPickCommodityForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PickCommodityForm"));
    setWindowTitle(QStringLiteral("选择货品"));

    qryCommodity = new data::ClientDataSet(StartupDB(), this);
    qryCommodity->setObjectName(QStringLiteral("qryCommodity"));
    // Sums and joined names may be null on the first row; their types are fixed here.
    qryCommodity->AddField(QStringLiteral("QUANTITY"), FieldType::Float);
    qryCommodity->AddField(QStringLiteral("REALQTY"), FieldType::Float);
    qryCommodity->AddField(QStringLiteral("UNITNAME"), FieldType::String, 20);
    dsCommodity = new data::DataSource(qryCommodity, this);
    dsCommodity->setObjectName(QStringLiteral("dsCommodity"));
    dsCommodity->SetAutoEdit(false);

    qryOnhand = new data::ClientDataSet(StartupDB(), this);
    qryOnhand->setObjectName(QStringLiteral("qryOnhand"));
    qryOnhand->SetCommandText(QStringLiteral(
        "select o.BuildingID, s.CODE as STORECODE, s.Name as BUILDINGNAME, o.quantity, o.realqty "
        "from onhandaath o left join storelth s on s.BuildingID=o.BuildingID "
        "where o.Commodityid=:Commodityid order by s.CODE"));
    qryOnhand->AddField(QStringLiteral("STORECODE"), FieldType::String, 20);
    qryOnhand->AddField(QStringLiteral("BUILDINGNAME"), FieldType::String, 60);
    qryOnhand->AddField(QStringLiteral("QUANTITY"), FieldType::Float);
    qryOnhand->AddField(QStringLiteral("REALQTY"), FieldType::Float);
    dsOnhand = new data::DataSource(qryOnhand, this);
    dsOnhand->setObjectName(QStringLiteral("dsOnhand"));
    dsOnhand->SetAutoEdit(false);

    auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    // ---- filters ----
    edCode = static_cast<QLineEdit *>(named(new QLineEdit(this), "edCode"));
    edName = static_cast<QLineEdit *>(named(new QLineEdit(this), "edName"));
    edSpec = static_cast<QLineEdit *>(named(new QLineEdit(this), "edSpec"));
    edSpeed = static_cast<QLineEdit *>(named(new QLineEdit(this), "edSpeed"));
    auto *filters = new QGridLayout;
    filters->addWidget(buddyLabel(QStringLiteral("货品编码:"), edCode, this), 0, 0);
    filters->addWidget(edCode, 0, 1);
    filters->addWidget(buddyLabel(QStringLiteral("货品名称:"), edName, this), 0, 2);
    filters->addWidget(edName, 0, 3);
    filters->addWidget(buddyLabel(QStringLiteral("货品规格:"), edSpec, this), 1, 0);
    filters->addWidget(edSpec, 1, 1);
    filters->addWidget(buddyLabel(QStringLiteral("货品首拼:"), edSpeed, this), 1, 2);
    filters->addWidget(edSpeed, 1, 3);
    filters->setColumnStretch(1, 1);
    filters->setColumnStretch(3, 1);

    chkRecent = static_cast<QCheckBox *>(named(new QCheckBox(QStringLiteral("只显示最近货品"), this), "chkRecent"));
    chkOnhand = static_cast<QCheckBox *>(named(new QCheckBox(QStringLiteral("只显示有库存货品"), this), "chkOnhand"));
    chkPartner = static_cast<QCheckBox *>(
        named(new QCheckBox(QStringLiteral("只显示与当前往来单位有关的货品"), this), "chkPartner"));
    auto *checks = new QVBoxLayout;
    checks->addWidget(chkRecent);
    checks->addWidget(chkOnhand);
    checks->addWidget(chkPartner);

    auto *typeBox = new QGroupBox(QStringLiteral("数据类型"), this);
    typeBox->setObjectName(QStringLiteral("gbDataType"));
    rgDataType = new QButtonGroup(this);
    auto *typeLayout = new QGridLayout(typeBox);
    const char *types[] = {"全部", "存货", "折扣项目", "非存货/服务"};
    for (int i = 0; i < 4; ++i) {
        auto *radio = new QRadioButton(QString::fromUtf8(types[i]), typeBox);
        radio->setObjectName(QStringLiteral("rbDataType%1").arg(i));
        rgDataType->addButton(radio, i);
        typeLayout->addWidget(radio, i / 2, i % 2);
    }
    rgDataType->button(AllTypes)->setChecked(true);

    auto *top = new QHBoxLayout;
    top->addLayout(filters, 3);
    top->addLayout(checks);
    top->addWidget(typeBox);

    // ---- category tree, list and stock ----
    tvType = new QTreeWidget(this);
    tvType->setObjectName(QStringLiteral("tvType"));
    tvType->setHeaderHidden(true);
    auto *typePanel = new QWidget(this);
    auto *typePanelLayout = new QVBoxLayout(typePanel);
    typePanelLayout->setContentsMargins(0, 0, 0, 0);
    typePanelLayout->addWidget(buddyLabel(QStringLiteral("货品类别:"), tvType, typePanel));
    typePanelLayout->addWidget(tvType);

    auto makeGrid = [this](const char *name, data::DataSource *source) {
        auto *grid = new widgets::TRqDBGrid(this, QString::fromLatin1(name));
        grid->SetReadOnly(true);
        // A list to choose from, not a locked note: keep the normal colours.
        grid->setPalette(grid->property("pkEditPalette").value<QPalette>());
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->SetAllowAppend(false);
        grid->SetAllowDelete(false);
        grid->SetDataSource(source);
        return grid;
    };
    GoodsGrid = makeGrid("GoodsGrid", dsCommodity);
    GoodsGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    GoodsGrid->installEventFilter(this);
    OnhandGrid = makeGrid("OnhandGrid", dsOnhand);
    OnhandGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    OnhandGrid->setFocusPolicy(Qt::ClickFocus);

    lbStore = new QLabel(QStringLiteral("当前仓库:所有仓库"), this);
    lbStore->setObjectName(QStringLiteral("lbStore"));
    auto *listPanel = new QSplitter(Qt::Vertical, this);
    listPanel->addWidget(GoodsGrid);
    auto *stockPanel = new QWidget(listPanel);
    auto *stockLayout = new QVBoxLayout(stockPanel);
    stockLayout->setContentsMargins(0, 0, 0, 0);
    stockLayout->addWidget(lbStore);
    stockLayout->addWidget(OnhandGrid);
    listPanel->addWidget(stockPanel);
    listPanel->setStretchFactor(0, 3);
    listPanel->setStretchFactor(1, 1);

    auto *middle = new QSplitter(Qt::Horizontal, this);
    middle->addWidget(typePanel);
    middle->addWidget(listPanel);
    middle->setStretchFactor(0, 0);
    middle->setStretchFactor(1, 1);
    middle->setSizes({160, 900});

    // ---- quantity and buttons ----
    chkQuantity = static_cast<QCheckBox *>(named(new QCheckBox(QStringLiteral("数量:"), this), "chkQuantity"));
    chkQuantity->setChecked(true);
    edQuantity = new QuantityBox(this);
    edQuantity->setObjectName(QStringLiteral("edQuantity"));
    edQuantity->setDecimals(4);
    edQuantity->setRange(-999999999, 999999999);
    edQuantity->setValue(1);
    edQuantity->setMinimumWidth(100);
    auto button = [this](const char *text, const char *name) {
        auto *b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        // Enter in a filter box goes to the list, never to a button.
        b->setAutoDefault(false);
        return b;
    };
    btnNew = button("新增...", "btnNew");
    btnOther = button("其它...", "btnOther");
    btnAdd = button("添加到单据", "btnAdd");
    btnAddAll = button("全添到单据", "btnAddAll");
    OkBtn = button("确定", "OkBtn");
    CancelBtn = button("取消", "CancelBtn");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(chkQuantity);
    bottom->addWidget(edQuantity);
    bottom->addSpacing(12);
    bottom->addWidget(btnNew);
    bottom->addWidget(btnOther);
    bottom->addStretch();
    bottom->addWidget(btnAdd);
    bottom->addWidget(btnAddAll);
    bottom->addSpacing(12);
    bottom->addWidget(OkBtn);
    bottom->addWidget(CancelBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(middle, 1);
    layout->addLayout(bottom);

    // Filter boxes first, then the list, then the rest.
    QWidget *order[] = {edCode, edName, edSpec, edSpeed, GoodsGrid, tvType, chkRecent, chkOnhand, chkPartner};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    QWidget *previous = chkPartner;
    for (QAbstractButton *b : rgDataType->buttons()) {
        setTabOrder(previous, b);
        previous = b;
    }
    for (QWidget *w : {static_cast<QWidget *>(chkQuantity), static_cast<QWidget *>(edQuantity),
                       static_cast<QWidget *>(btnAdd), static_cast<QWidget *>(btnAddAll),
                       static_cast<QWidget *>(OkBtn), static_cast<QWidget *>(CancelBtn),
                       static_cast<QWidget *>(btnNew), static_cast<QWidget *>(btnOther)}) {
        setTabOrder(previous, w);
        previous = w;
    }

    for (QLineEdit *e : {edCode, edName, edSpec, edSpeed}) {
        connect(e, &QLineEdit::returnPressed, GoodsGrid, [this] { GoodsGrid->setFocus(); });
        e->installEventFilter(this);
    }
    for (QLineEdit *e : {edCode, edName, edSpec})
        connect(e, &QLineEdit::textChanged, this, &TPickCommodityForm::FilterChange);
    connect(edSpeed, &QLineEdit::textChanged, this, &TPickCommodityForm::SpeedChange);
    for (QCheckBox *c : {chkRecent, chkOnhand, chkPartner})
        connect(c, &QCheckBox::toggled, this, &TPickCommodityForm::FilterChange);
    connect(rgDataType, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            FilterChange();
    });
    connect(tvType, &QTreeWidget::currentItemChanged, this, &TPickCommodityForm::FilterChange);
    connect(chkQuantity, &QCheckBox::toggled, edQuantity, &QWidget::setEnabled);
    connect(btnAdd, &QPushButton::clicked, this, &TPickCommodityForm::btnAddClick);
    connect(btnAddAll, &QPushButton::clicked, this, &TPickCommodityForm::btnAddAllClick);
    connect(btnNew, &QPushButton::clicked, this, &TPickCommodityForm::btnNewClick);
    connect(btnOther, &QPushButton::clicked, this, &TPickCommodityForm::btnOtherClick);
    connect(OkBtn, &QPushButton::clicked, this, &TPickCommodityForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPickCommodityForm::CancelBtnClick);
    connect(GoodsGrid, &QAbstractItemView::doubleClicked, this, &TPickCommodityForm::btnAddClick);
    // The rest of the list is read when the user scrolls to the end of the first page.
    connect(GoodsGrid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_complete && value >= GoodsGrid->verticalScrollBar()->maximum())
            FetchAll();
    });
    qryCommodity->AfterScroll = [this](data::ClientDataSet &) { refreshOnhand(); };
    qryCommodity->AfterOpen = [this](data::ClientDataSet &) { refreshOnhand(); };

    try {
        loadTypes();
    } catch (const std::exception &e) {
        ShowError(e);
    }
    edCode->setFocus(); // typing starts in the first filter box
    // Wide enough for every column of the list, within the screen.
    QSize size(1100, 620);
    if (const QScreen *s = screen())
        size = size.boundedTo(s->availableGeometry().size() - QSize(40, 60));
    resize(size);
}

void TPickCommodityForm::SetDocument(QWidget *note, qint64 storeId, qint64 partnerId)
{
    NoteForm = note;
    StoreID = storeId;
    PartnerID = partnerId;
    const QString storeName =
        storeId > 0 ? LookupData(pub::RecordStore, storeId, QStringLiteral("NAME")).toString() : QString();
    lbStore->setText(storeId > 0 ? QStringLiteral("当前仓库:") + storeName : QStringLiteral("当前仓库:所有仓库"));
    chkPartner->setEnabled(partnerId > 0);
    RefreshQuery();
}

void TPickCommodityForm::loadTypes()
{
    const QSignalBlocker quiet(tvType);
    tvType->clear();
    auto *root = new QTreeWidgetItem(tvType, {QStringLiteral("全部类别")});
    root->setData(0, Qt::UserRole, 0);
    // Two characters of LCODE per level: a row hangs under the longest code that starts it.
    QVector<std::pair<QString, QTreeWidgetItem *>> seen;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select GDTYPESID, LCODE, NAME from CommoditylthType order by LCODE"));
    for (q->First(); !q->Eof(); q->Next()) {
        const QString code = q->FieldByName(QStringLiteral("LCODE")).AsString().trimmed();
        QTreeWidgetItem *parent = root;
        for (auto it = seen.crbegin(); it != seen.crend(); ++it)
            if (code.size() > it->first.size() && code.startsWith(it->first)) {
                parent = it->second;
                break;
            }
        auto *item = new QTreeWidgetItem(parent, {q->FieldByName(QStringLiteral("NAME")).AsString()});
        item->setData(0, Qt::UserRole, q->FieldByName(QStringLiteral("GDTYPESID")).AsLargeInt());
        seen.append({code, item});
    }
    tvType->expandToDepth(0);
    tvType->setCurrentItem(root);
}

QString TPickCommodityForm::categoryCode() const
{
    const QTreeWidgetItem *item = tvType->currentItem();
    const qint64 id = item ? item->data(0, Qt::UserRole).toLongLong() : 0;
    if (id <= 0)
        return {};
    QVariant code;
    GetValueOfSql(QStringLiteral("select LCode from CommoditylthType where gdtypesid=") + QString::number(id), code);
    return code.toString().trimmed();
}

QString TPickCommodityForm::BuildSql() const
{
    QString sql = selectText(StoreID);

    QString stock;
    if (StoreID > 0)
        stock += QStringLiteral(" And o.BuildingID=") + QString::number(StoreID);
    if (chkOnhand->isChecked())
        stock += QStringLiteral(" And o.quantity>0");
    if (!stock.isEmpty())
        sql += QStringLiteral(" And (Exists(select Commodityid from onhandaath o where g.Commodityid=o.Commodityid ")
               + stock + QStringLiteral("))");

    QString partner;
    if (PartnerID > 0 && chkPartner->isChecked())
        partner = QStringLiteral(" And t.partnerid=") + QString::number(PartnerID);
    else if (chkRecent->isChecked())
        partner = QStringLiteral(" And t.partnerid is not null");
    if (!partner.isEmpty())
        sql += QStringLiteral(" And (Exists(select Commodityid from partnerpriceaath t where g.Commodityid=t.Commodityid ")
               + partner + QStringLiteral("))");

    switch (rgDataType->checkedId()) {
    case StockTypes: sql += QStringLiteral(" And (g.kind<=") + QStringLiteral("3") + QStringLiteral(")"); break;
    case NonStockTypes:
        sql += QStringLiteral(" And (g.kind>") + QStringLiteral("3") + QStringLiteral(" and g.kind< ")
               + QStringLiteral("7") + QStringLiteral(")");
        break;
    case DiscountTypes: sql += QStringLiteral(" And (g.kind=") + QStringLiteral("7") + QStringLiteral(")"); break;
    default: break;
    }

    const QString code = edCode->text().trimmed(), name = edName->text().trimmed(), spec = edSpec->text().trimmed();
    if (!code.isEmpty())
        sql += QStringLiteral(" And (g.code like '") + literal(code) + QStringLiteral("%')");
    if (!name.isEmpty())
        sql += QStringLiteral(" And (g.Name like '") + literal(name) + QStringLiteral("%')");
    if (!spec.isEmpty())
        sql += QStringLiteral(" And (g.Spec like '") + literal(spec) + QStringLiteral("%')");

    if (!CanStock)
        sql += QStringLiteral(" And (g.kind>3)");
    if (OnlyStock)
        sql += QStringLiteral(" And (g.kind<=3)");

    const QString lcode = categoryCode();
    if (!lcode.isEmpty())
        sql += QStringLiteral(" And (s.LCode like '") + literal(lcode) + QStringLiteral("%')");

    sql += OtherCondition;
    // By code: the unique index on CODE gives the first page without sorting the rest.
    return sql + QStringLiteral(" order by g.CODE");
}

void TPickCommodityForm::openList(bool firstPageOnly)
{
    QString sql = BuildSql();
    // On a long list the letters also narrow what is read, so the rows that
    // match come a page at a time instead of after every row of the list.
    // Letters with wildcard characters are matched in memory only.
    const QString speed = edSpeed->text().trimmed();
    static const QRegularExpression wildcard(QStringLiteral("[%_\\[\\]]"));
    const bool narrow = PageSize > 0 && !speed.isEmpty() && !speed.contains(wildcard);
    if (narrow)
        sql.insert(sql.lastIndexOf(QStringLiteral(" order by ")),
                   QStringLiteral(" And (g.SPEEDSYMBOL like '") + literal(speed) + QStringLiteral("%')"));
    const bool paged = firstPageOnly && PageSize > 0 && (speed.isEmpty() || narrow);
    qryCommodity->DisableControls();
    try {
        qryCommodity->Close();
        // The page is counted unfiltered; the letters filter it afterwards.
        qryCommodity->SetFiltered(false);
        // One row more than a page tells whether the page is the whole list.
        qryCommodity->SetCommandText(paged ? QStringLiteral("select top ") + QString::number(PageSize + 1)
                                                 + sql.mid(QStringLiteral("select").size())
                                           : sql);
        qryCommodity->Open();
        m_complete = !paged || qryCommodity->RecordCount() <= PageSize;
        m_readSpeed = narrow ? speed : QString();
        applySpeedFilter();
        qryCommodity->First();
    } catch (...) {
        qryCommodity->EnableControls();
        throw;
    }
    qryCommodity->EnableControls();
    if (!m_columnsDone)
        setupColumns();
    refreshOnhand();
}

void TPickCommodityForm::RefreshQuery()
{
    try {
        openList(true);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TPickCommodityForm::FetchAll()
{
    if (m_complete || !qryCommodity->Active())
        return;
    const int row = qryCommodity->RecNo();
    try {
        openList(false);
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    qryCommodity->SetRecNo(std::max(row, 1));
}

void TPickCommodityForm::applySpeedFilter()
{
    const QString speed = edSpeed->text().trimmed();
    if (speed.isEmpty()) {
        qryCommodity->SetFiltered(false);
        qryCommodity->SetFilterFunction(nullptr);
        return;
    }
    qryCommodity->SetFilterFunction([speed](data::ClientDataSet &ds) {
        return ds.FieldByName(QStringLiteral("SPEEDSYMBOL"))->AsString().startsWith(speed, Qt::CaseInsensitive);
    });
    qryCommodity->SetFiltered(true);
}

void TPickCommodityForm::FilterChange() { RefreshQuery(); }

void TPickCommodityForm::SpeedChange()
{
    if (!qryCommodity->Active())
        return;
    // Filtered in memory when the open result holds every candidate: the
    // whole list, or every row of shorter letters that these continue.
    const QString speed = edSpeed->text().trimmed();
    const bool inMemory = m_complete && (m_readSpeed.isEmpty() || speed.startsWith(m_readSpeed, Qt::CaseInsensitive));
    if (!inMemory) {
        RefreshQuery();
        return;
    }
    qryCommodity->DisableControls();
    applySpeedFilter();
    qryCommodity->First();
    qryCommodity->EnableControls();
    refreshOnhand();
}

void TPickCommodityForm::setupColumns()
{
    struct Column {
        const char *field, *title, *format;
        int width;
    };
    static const Column goods[] = {
        {"COMMODITYCODE", "货品编码", "", 90}, {"COMMODITYNAME", "货品名称", "", 150},
        {"SPEC", "规格", "", 120},             {"UNITNAME", "单位", "", 45},
        {"QUANTITY", "库存数量", "#0.####", 70}, {"REALQTY", "实际库存", "#0.####", 70},
        {"LPRICE1", "价格一", "#0.########", 60}, {"LPRICE2", "价格二", "#0.########", 60},
        {"LPRICE3", "价格三", "#0.########", 60}, {"LPRICE4", "价格四", "#0.########", 60},
        {"LPRICE5", "价格五", "#0.########", 60},
    };
    static const Column stock[] = {
        {"STORECODE", "仓库编号", "", 80}, {"BUILDINGNAME", "仓库名称", "", 160},
        {"QUANTITY", "数量", "#0.####", 90}, {"REALQTY", "实际数量", "#0.####", 90},
    };
    auto fill = [](widgets::TRqDBGrid *grid, data::ClientDataSet *ds, const auto &columns) {
        grid->ClearColumns();
        for (const Column &c : columns) {
            const QString name = QString::fromLatin1(c.field);
            if (*c.format)
                ds->FieldByName(name)->SetDisplayFormat(QString::fromLatin1(c.format));
            grid->AddColumn(name, QString::fromUtf8(c.title), c.width).ReadOnly = true;
        }
        grid->ColumnsChanged();
    };
    fill(GoodsGrid, qryCommodity, goods);
    if (!qryOnhand->Active()) {
        qryOnhand->SetParam(QStringLiteral("Commodityid"), 0);
        qryOnhand->Open();
    }
    fill(OnhandGrid, qryOnhand, stock);
    m_columnsDone = true;
}

void TPickCommodityForm::refreshOnhand()
{
    if (qryCommodity->ControlsDisabled())
        return;
    const qint64 id = qryCommodity->Active() && !qryCommodity->IsEmpty()
                          ? qryCommodity->FieldByName(QStringLiteral("COMMODITYID"))->AsInteger()
                          : 0;
    if (id == m_onhandFor && qryOnhand->Active())
        return;
    try {
        qryOnhand->Close();
        qryOnhand->SetParam(QStringLiteral("Commodityid"), id);
        qryOnhand->Open();
        m_onhandFor = id;
    } catch (const std::exception &e) {
        m_onhandFor = -1;
        ShowError(e);
    }
}

QString TPickCommodityForm::documentClass() const
{
    if (!NoteForm)
        return {};
    const QString cls = QString::fromLatin1(NoteForm->metaObject()->className()).toUpper();
    // A kind without a meta-object of its own is known by its registered
    // class name: "T" + its form name.
    static const QStringList framework{QStringLiteral("TBASENOTEFORM"), QStringLiteral("TMDNOTEFORM"),
                                       QStringLiteral("TCOMMODITYNOTEFORM"), QStringLiteral("TMONEYNOTEFORM")};
    if (framework.contains(cls) && !NoteForm->objectName().isEmpty())
        return (QStringLiteral("T") + NoteForm->objectName()).toUpper();
    return cls;
}

bool TPickCommodityForm::CanTake(int kind, int costType) const
{
    const QString cls = documentClass();
    const bool sale = cls == QLatin1String("TSALEFORM"), receipt = cls == QLatin1String("TPBUYFORM");
    if ((sale && LookupSysParam(QStringLiteral("IsSSequence")) == QLatin1String("0"))
        || (receipt && LookupSysParam(QStringLiteral("IsPSequence")) == QLatin1String("0"))) {
        if (kind <= 3)
            return false;
    }
    if (kind == 8)
        return false;
    if (cls == QLatin1String("TCHGPRICEFORM") && costType == 2)
        return false;
    if (!sale && !receipt && cls != QLatin1String("TPVALUEFORM") && kind > 3)
        return false;
    return true;
}

bool TPickCommodityForm::AddCurrent()
{
    if (!qryCommodity->Active() || qryCommodity->IsEmpty())
        return true;
    const int kind = int(qryCommodity->FieldByName(QStringLiteral("KIND"))->AsInteger());
    const int costType = int(qryCommodity->FieldByName(QStringLiteral("COSTTYPE"))->AsInteger());
    if (!CanTake(kind, costType))
        return true;
    const qint64 id = qryCommodity->FieldByName(QStringLiteral("COMMODITYID"))->AsInteger();

    auto *host = dynamic_cast<pk_note::ICommodityPickHost *>(NoteForm);
    auto *source = host ? qobject_cast<data::DataSource *>(host->DetailDataSource()) : nullptr;
    data::ClientDataSet *lines = source ? source->DataSet() : nullptr;
    try {
        // A note that may not be edited takes no lines.
        const auto *note = dynamic_cast<const TBasenoteForm *>(NoteForm);
        if (!lines || !lines->Active() || (note && note->ReadOnly()))
            throw std::runtime_error("the note's lines cannot take a commodity");
        data::Field *commodity = lines->FieldByName(QStringLiteral("COMMODITYID"));
        // An empty line the user already started takes the commodity.
        if (!lines->IsEmpty() && commodity->IsNull()) {
            if (lines->State() == data::DataSetState::Browse)
                lines->Edit();
        } else {
            lines->CheckBrowseMode();
            lines->Append();
        }
        commodity->SetValue(id); // the note's commodity rules fill the line
        if (chkQuantity->isChecked())
            lines->FieldByName(QStringLiteral("QUANTITY"))->SetValue(edQuantity->value());
        lines->Post();
    } catch (const std::exception &) {
        if (lines && lines->Active() && lines->State() != data::DataSetState::Browse)
            lines->Cancel();
        ShowError(QStringLiteral("添加数据出错，请重新添加！"));
        return false;
    }
    return true;
}

void TPickCommodityForm::AddSelected()
{
    if (!qryCommodity->Active() || qryCommodity->IsEmpty())
        return;
    QList<int> rows;
    for (const QModelIndex &index : GoodsGrid->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        AddCurrent();
        return;
    }
    const int current = qryCommodity->RecNo();
    qryCommodity->DisableControls();
    for (int row : rows) {
        qryCommodity->MoveTo(row);
        if (!AddCurrent())
            break;
    }
    qryCommodity->SetRecNo(current);
    qryCommodity->EnableControls();
}

void TPickCommodityForm::AddAll()
{
    FetchAll();
    if (!qryCommodity->Active())
        return;
    const int current = qryCommodity->RecNo();
    qryCommodity->DisableControls();
    for (qryCommodity->First(); !qryCommodity->Eof(); qryCommodity->Next())
        if (!AddCurrent())
            break;
    qryCommodity->SetRecNo(std::max(current, 1));
    qryCommodity->EnableControls();
}

void TPickCommodityForm::btnAddClick() { AddSelected(); }
void TPickCommodityForm::btnAddAllClick() { AddAll(); }

void TPickCommodityForm::btnNewClick()
{
    // The host's add-new window for commodities: the one registered under the
    // window's name, else the one a commodity combo's "新增" opens.
    QVariant before;
    GetValueOfSql(QStringLiteral("select max(COMMODITYID) from Commoditylth"), before);
    bool shown = false;
    for (const QString &name : {QStringLiteral("COMMODITYEDITFORM"), QStringLiteral("dsCommodity")}) {
        QObject source;
        source.setProperty("lookupSource", name);
        if ((shown = ComboBoxUtilitys(&source, QStringLiteral("新增"), 0)))
            break;
    }
    if (!shown) {
        ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
        return;
    }
    RefreshLookupData(pub::RecordCommodity);
    RefreshQuery();
    QVariant after;
    GetValueOfSql(QStringLiteral("select max(COMMODITYID) from Commoditylth"), after);
    if (after.toLongLong() > before.toLongLong()) {
        FetchAll();
        qryCommodity->Locate(QStringLiteral("COMMODITYID"), after);
    }
}

void TPickCommodityForm::btnOtherClick()
{
    TGSpecialCheckForm other(this);
    if (ShowModal(&other) != 1)
        return;
    OtherCondition = other.Condition();
    RefreshQuery();
}

void TPickCommodityForm::OkBtnClick()
{
    if (!qryCommodity->Active() || qryCommodity->IsEmpty()) {
        ShowError(QStringLiteral("没有货品可以选择！"));
        return;
    }
    AddSelected();
    done(1);
}

void TPickCommodityForm::CancelBtnClick() { reject(); }

bool TPickCommodityForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // Enter on the list adds the row instead of moving to the next cell.
    if (watched == GoodsGrid && enter && plain) {
        AddSelected();
        return true;
    }
    // Down in a filter box goes to the list too.
    if (watched != GoodsGrid && plain && key->key() == Qt::Key_Down) {
        GoodsGrid->setFocus();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
