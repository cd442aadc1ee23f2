#include "BasenoteStockCheck.h"

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TnotebookzeroForm::TnotebookzeroForm(data::ClientDataSet *rows, bool fatal, QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("notebookzeroForm"));
    setWindowTitle(QStringLiteral("单据审核(反审核)检查"));
    resize(720, 360);
    auto *layout = new QVBoxLayout(this);
    auto *caption = new QLabel(QStringLiteral("错误如下:"), this);
    caption->setObjectName(QStringLiteral("lbCaption"));
    layout->addWidget(caption);
    m_source = new data::DataSource(rows, this);
    auto *grid = new widgets::TRqDBGrid(this, QStringLiteral("grdError"));
    grid->SetDataSource(m_source);
    const struct {
        const char *field, *title;
        bool quantity;
    } columns[] = {{"COMMODITYNAME", "货品名称", false}, {"BUILDINGNAME", "仓库", false}, {"ONHAND", "库存", true},
                   {"QUANTITY", "变动数量", true},       {"ERRTYPE", "错误类型", false}, {"ERRCODE", "错误内容", false}};
    for (const auto &c : columns) {
        widgets::GridColumn &col = grid->AddColumn(QString::fromLatin1(c.field), QString::fromUtf8(c.title));
        if (c.quantity)
            col.DisplayFormat = QStringLiteral("#0.####");
    }
    grid->ColumnsChanged();
    grid->SetReadOnly(true);
    layout->addWidget(grid, 1);
    lbError = new QLabel(QStringLiteral("有不可忽略的错误存在!"), this);
    lbError->setObjectName(QStringLiteral("lbError"));
    lbError->setStyleSheet(QStringLiteral("color: #c0392b; font-weight: bold;"));
    lbError->setVisible(fatal);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lbError);
    buttons->addStretch(1);
    btnIgnore = new QPushButton(QStringLiteral("忽略"), this);
    btnIgnore->setObjectName(QStringLiteral("btnIgnore"));
    btnIgnore->setEnabled(!fatal);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnIgnore);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnIgnore, &QPushButton::clicked, this, [this] { done(1); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });
}

bool ConfirmStockCheck(int noteType, int noteId, int purpose)
{
    data::ClientDataSet rows(StartupDB());
    try {
        rows.SetCommandText(QStringLiteral("Exec NOTEBOOKZERO :NOTETYPE, :NOTEID, :PURPOSE"));
        rows.SetParam(QStringLiteral("NOTETYPE"), noteType);
        rows.SetParam(QStringLiteral("NOTEID"), noteId);
        rows.SetParam(QStringLiteral("PURPOSE"), purpose);
        rows.Open();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    if (rows.IsEmpty())
        return true;
    bool fatal = false;
    if (LookupSysParam(QStringLiteral("ZeroOnhand")).trimmed().toInt() == 0) {
        data::Field *type = rows.FindField(QStringLiteral("ERRTYPE"));
        for (rows.First(); type && !rows.Eof(); rows.Next())
            if (type->AsInteger() >= 10) {
                fatal = true;
                break;
            }
    }
    rows.First();
    TnotebookzeroForm dialog(&rows, fatal);
    return ShowModal(&dialog) == 1;
}
