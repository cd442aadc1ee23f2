#include "PickbcodeForm.h"

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

using data::FieldType;

namespace {

QString batchSql(const commodity::BatchRequest &request)
{
    // A returned sale comes back into stock on the sales document; the names
    // say so instead of the document's own.
    QString sql = QStringLiteral(
        "select f.ID, f.NOTETYPE, f.NOTEID, f.NOTECODE, f.NOTEDATE, f.BCODE, f.PRODUCEDDATE, f.VALIDDAY, "
        "f.BREFERQTY, f.IOFLAG*f.QUANTITY-f.BREFERQTY as VALIDQTY, f.PRICE, f.BUILDINGID, "
        "s.CODE as STORECODE, s.NAME as STORENAME, "
        "case when f.NOTEID < 0 or f.NOTETYPE < 0 then '期初' when f.NOTETYPE = 13 then '代销退货' "
        "when f.NOTETYPE = 14 then '销售退货' else t.NAME end as NOTENAME "
        "from noteflowaath f left join storelth s on f.BUILDINGID = s.BUILDINGID "
        "left join notetypelth t on f.NOTETYPE = t.ID "
        "where f.COMMODITYID = ") + QString::number(request.commodityId)
        + QStringLiteral(" and isnull(f.BCODE, '') <> '' and f.IOFLAG*f.QUANTITY-f.BREFERQTY > 0"
                         " and isnull(f.BTURNNOTEID, 0) = 0");
    if (request.storeId > 0)
        sql += QStringLiteral(" and f.BUILDINGID = ") + QString::number(request.storeId);
    return sql + QStringLiteral(" order by f.NOTEDATE, f.ID");
}

} // namespace

TPickbcodeForm::TPickbcodeForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PickbcodeForm"));
    setWindowTitle(QStringLiteral("请选择批次"));

    cdsBcode = new data::ClientDataSet(StartupDB(), this);
    cdsBcode->setObjectName(QStringLiteral("cdsBcode"));
    // Computed columns get their types here, whatever the first row holds.
    cdsBcode->AddField(QStringLiteral("NOTENAME"), FieldType::String, 20);
    cdsBcode->AddField(QStringLiteral("VALIDQTY"), FieldType::Float);
    cdsBcode->AddField(QStringLiteral("STORECODE"), FieldType::String, 20);
    cdsBcode->AddField(QStringLiteral("STORENAME"), FieldType::String, 60);
    dsBcode = new data::DataSource(cdsBcode, this);
    dsBcode->setObjectName(QStringLiteral("dsBcode"));
    dsBcode->SetAutoEdit(false);

    auto *lbBcode = new QLabel(QStringLiteral("批号:"), this);
    cmbBcode = new QComboBox(this);
    cmbBcode->setObjectName(QStringLiteral("cmbBcode"));
    cmbBcode->setMinimumWidth(160);
    lbBcode->setBuddy(cmbBcode);

    BcodeGrid = new widgets::TRqDBGrid(this, QStringLiteral("BcodeGrid"));
    BcodeGrid->SetReadOnly(true);
    // A list to choose from, not a locked note: keep the normal colours.
    BcodeGrid->setPalette(BcodeGrid->property("pkEditPalette").value<QPalette>());
    BcodeGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    BcodeGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    BcodeGrid->SetDataSource(dsBcode);
    BcodeGrid->installEventFilter(this);

    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *top = new QHBoxLayout;
    top->addWidget(lbBcode);
    top->addWidget(cmbBcode);
    top->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(BcodeGrid, 1);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, &TPickbcodeForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPickbcodeForm::CancelBtnClick);
    connect(BcodeGrid, &QAbstractItemView::doubleClicked, this, &TPickbcodeForm::OkBtnClick);
    connect(cmbBcode, &QComboBox::currentIndexChanged, this, &TPickbcodeForm::cmbBcodeChange);

    setTabOrder(BcodeGrid, cmbBcode);
    setTabOrder(cmbBcode, OkBtn);
    setTabOrder(OkBtn, CancelBtn);
    resize(760, 420);
}

void TPickbcodeForm::Open(const commodity::BatchRequest &request)
{
    cdsBcode->Close();
    cdsBcode->SetFiltered(false);
    cdsBcode->SetCommandText(batchSql(request));
    cdsBcode->Open();
    setupColumns();

    const QSignalBlocker quiet(cmbBcode);
    cmbBcode->clear();
    cmbBcode->addItem(QStringLiteral("所有"));
    QSet<QString> seen;
    data::Field *bcode = cdsBcode->FieldByName(QStringLiteral("BCODE"));
    for (cdsBcode->First(); !cdsBcode->Eof(); cdsBcode->Next()) {
        const QString number = bcode->AsString();
        if (!seen.contains(number)) {
            seen.insert(number);
            cmbBcode->addItem(number);
        }
    }
    cdsBcode->First();
    cmbBcode->setCurrentIndex(0);
    BcodeGrid->setFocus();
}

void TPickbcodeForm::setupColumns()
{
    struct Column {
        const char *field, *title, *format;
        int width;
    };
    static const Column columns[] = {
        {"NOTENAME", "单据名称", "", 90},    {"BCODE", "批号", "", 110},
        {"VALIDDAY", "有效期", "", 90},      {"NOTECODE", "单据号", "", 130},
        {"NOTEDATE", "单据日期", "", 90},    {"BREFERQTY", "已提数量", "#0.######", 80},
        {"VALIDQTY", "可用数量", "#0.######", 80}, {"PRICE", "单价", "#0.########", 80},
        {"STORECODE", "仓库编号", "", 70},   {"STORENAME", "仓库", "", 110},
    };
    BcodeGrid->ClearColumns();
    for (const Column &c : columns) {
        const QString name = QString::fromLatin1(c.field);
        if (*c.format)
            cdsBcode->FieldByName(name)->SetDisplayFormat(QString::fromLatin1(c.format));
        BcodeGrid->AddColumn(name, QString::fromUtf8(c.title), c.width).ReadOnly = true;
    }
    BcodeGrid->ColumnsChanged();
    // Wide enough for every column, within the screen.
    int width = BcodeGrid->verticalHeader()->sizeHint().width() + 4 * BcodeGrid->frameWidth() + 60;
    for (int i = 0; i < BcodeGrid->ColumnCount(); ++i)
        width += BcodeGrid->columnWidth(i);
    if (const QScreen *s = screen())
        width = std::min(width, s->availableGeometry().width() - 40);
    resize(std::max(width, this->width()), height());
}

std::optional<commodity::BatchChoice> TPickbcodeForm::Choice() const
{
    if (!cdsBcode->Active() || cdsBcode->IsEmpty())
        return std::nullopt;
    auto date = [this](const char *name) {
        data::Field *f = cdsBcode->FieldByName(QString::fromLatin1(name));
        return f->IsNull() ? QVariant() : QVariant(f->AsDate());
    };
    auto field = [this](const char *name) { return cdsBcode->FieldByName(QString::fromLatin1(name)); };
    commodity::BatchChoice c;
    c.flowId = field("ID")->AsInteger();
    c.bcode = field("BCODE")->AsString();
    c.productDay = date("PRODUCEDDATE");
    c.validDay = date("VALIDDAY");
    c.storeId = field("BUILDINGID")->AsInteger();
    c.storeCode = field("STORECODE")->AsString();
    c.storeName = field("STORENAME")->AsString();
    c.price = field("PRICE")->AsFloat();
    return c;
}

void TPickbcodeForm::OkBtnClick()
{
    if (Choice())
        accept();
}

void TPickbcodeForm::CancelBtnClick() { reject(); }

void TPickbcodeForm::cmbBcodeChange(int index)
{
    if (index <= 0) {
        cdsBcode->SetFiltered(false);
        cdsBcode->First();
        return;
    }
    const QString number = cmbBcode->itemText(index);
    cdsBcode->SetFiltered(false);
    cdsBcode->SetFilterCaseInsensitive(false);
    if (number.endsWith(u'*')) {
        // The filter language reads a trailing '*' as a prefix match.
        cdsBcode->SetFilter(QString());
        cdsBcode->SetFilterFunction([number](data::ClientDataSet &ds) {
            return ds.FieldByName(QStringLiteral("BCODE"))->AsString() == number;
        });
    } else {
        cdsBcode->SetFilterFunction(nullptr);
        cdsBcode->SetFilter(QStringLiteral(" BCODE = ") + QuotedStr(number));
    }
    cdsBcode->SetFiltered(true);
    cdsBcode->First();
}

bool TPickbcodeForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on the list chooses the row instead of moving to the next cell.
    if (watched == BcodeGrid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            OkBtnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
