// Building the window of a kind from its resource block.
#include "Basenote.h"

#include "NoteMessages.h"
#include "NoteTypes.h"
#include "Notepublic.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

using data::ClientDataSet;
using data::DataSetState;
using data::Field;
using namespace widgets;

#include "BasenotePrivate.h"
#include "NoteExport.h"

using namespace basenote_detail;

// =========================================================================== building

void TBasenoteForm::buildWindow(const basenote::Resource &resource)
{
    qryMaster = new TBasenoteQuery(QStringLiteral("qryMaster"), this);
    qryMaster->SetSQL(QString::fromUtf8(resource.masterSql));
    MasterProvider = new QObject(this);
    MasterProvider->setObjectName(QStringLiteral("MasterProvider"));
    MasterProvider->setProperty("DataSet", QStringLiteral("qryMaster"));
    cdsMaster = new ClientDataSet(StartupDB(), this);
    cdsMaster->setObjectName(QStringLiteral("cdsMaster"));
    if (!resource.operatorNamesInQuery) {
        cdsMaster->AddCalcField(QStringLiteral("OPERATENAME"), data::FieldType::String, 40);
        cdsMaster->AddCalcField(QStringLiteral("chkor"), data::FieldType::String, 40);
    }
    dsMaster = new data::DataSource(cdsMaster, this);
    dsMaster->setObjectName(QStringLiteral("dsMaster"));
    cdsPrint = new ClientDataSet(StartupDB(), this);
    cdsPrint->setObjectName(QStringLiteral("cdsPrint"));
    dsPrint = new data::DataSource(cdsPrint, this);
    dsPrint->setObjectName(QStringLiteral("dsPrint"));

    setStyleSheet(QStringLiteral(
        "QFrame#palButton { background: #eef2f7; border-bottom: 1px solid #c5ceda; }"
        "QFrame#palTitle, QFrame#palBottom { background: #f7f9fc; }"
        "QFrame#palBottom { border-top: 1px solid #c5ceda; }"
        "QLabel#lblTitle { font-size: 20pt; font-weight: bold; color: #1f3b63; }"
        "QFrame#spAbate { border: 2px solid #c0392b; border-radius: 4px; }"
        "QLabel#lbAbate { color: #c0392b; font-size: 15pt; font-weight: bold; padding: 0 8px; }"
        "QLabel#lblPrinted { color: #8e44ad; }"));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // A frame smaller than the window (an MDI child on a small screen) must not
    // squeeze the master fields into each other; the MDI area scrolls instead.
    root->setSizeConstraint(QLayout::SetMinimumSize);
    buildActions();
    buildMenus();
    buildButtons();
    root->addWidget(palButton);
    buildTitle();
    root->addWidget(palTitle);
    buildMaster(resource);
    root->addWidget(m_masterPanel);
    auto *center = new QWidget(this);
    center->setObjectName(QStringLiteral("palCenter"));
    center->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_centerLayout = new QVBoxLayout(center);
    m_centerLayout->setContentsMargins(8, 0, 8, 0);
    root->addWidget(center, 1);
    buildBottom();
    root->addWidget(palBottom);
    // The panels keep their height; the lines of a master-detail kind take the rest.
    for (QWidget *panel : {static_cast<QWidget *>(palButton), static_cast<QWidget *>(palTitle), m_masterPanel,
                           static_cast<QWidget *>(palBottom)})
        panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    if (!resource.bottomPanel)
        palBottom->hide();
    for (const basenote::MasterControl &c : resource.controls)
        if (*c.field)
            m_fieldDefinitions.insert(QString::fromLatin1(c.field).toUpper(),
                                      {QString::fromUtf8(c.caption), c.required,
                                       c.displayFormat ? QString::fromUtf8(c.displayFormat) : QString()});
    m_fieldDefinitions.insert(QStringLiteral("NOTEDATE"), {QStringLiteral("单据日期"), true, {}});
    m_fieldDefinitions.insert(QStringLiteral("NOTECODE"), {QStringLiteral("单据号码"), true, {}});
    if (!resource.bottomPanel)
        return;
    m_fieldDefinitions.insert(QStringLiteral("EMPID"), {QStringLiteral("跟单员"), false, {}});
    m_fieldDefinitions.insert(QStringLiteral("DEPID"), {QStringLiteral("部门"), false, {}});
    m_fieldDefinitions.insert(QStringLiteral("REMARK"), {QStringLiteral("备注"), false, {}});
}

void TBasenoteForm::buildActions()
{
    using K = QKeySequence;
    actPrev = makeAction(this, "actPrev", QStringLiteral("前单"), {K(Qt::CTRL | Qt::Key_PageUp), K(Qt::CTRL | Qt::Key_Up)});
    actNext = makeAction(this, "actNext", QStringLiteral("后单"), {K(Qt::CTRL | Qt::Key_PageDown), K(Qt::CTRL | Qt::Key_Down)});
    actNew = makeAction(this, "actNew", QStringLiteral("新增"), {K(Qt::CTRL | Qt::Key_Insert), K(Qt::CTRL | Qt::Key_N)});
    actDelete = makeAction(this, "actDelete", QStringLiteral("删除"), {K(Qt::CTRL | Qt::Key_Delete), K(Qt::CTRL | Qt::Key_D)});
    actChecknote = makeAction(this, "actChecknote", QStringLiteral("审核"), {K(Qt::Key_F9), K(Qt::ALT | Qt::Key_O)});
    actSaveAdd = makeAction(this, "actSaveAdd", QStringLiteral("新增"),
                            {K(Qt::Key_F8), K(Qt::ALT | Qt::Key_S), K(Qt::CTRL | Qt::Key_S)});
    actOk = makeAction(this, "actOk", QStringLiteral("保存"), {K(Qt::Key_F7), K(Qt::ALT | Qt::Key_A), K(Qt::CTRL | Qt::Key_A)});
    actCancel = makeAction(this, "actCancel", QStringLiteral("取消"), {K(Qt::Key_Escape), K(Qt::ALT | Qt::Key_C)});
    actFindnote = makeAction(this, "actFindnote", QStringLiteral("速查"), {K(Qt::CTRL | Qt::Key_F)});
    actPrint = makeAction(this, "actPrint", QStringLiteral("打印"), {K(Qt::Key_F12), K(Qt::CTRL | Qt::Key_P)});
    actPreview = makeAction(this, "actPreview", QStringLiteral("打印预览"), {K(Qt::Key_F11), K(Qt::CTRL | Qt::Key_W)});
    actIns = makeAction(this, "actIns", QStringLiteral("插入"), {K(Qt::Key_Insert)});
    actDel = makeAction(this, "actDel", QStringLiteral("删除行"), {K(Qt::SHIFT | Qt::Key_Delete)});
    actFind = makeAction(this, "actFind", QStringLiteral("查找"), {K(Qt::SHIFT | Qt::Key_F6)});
    actOprateMenu = makeAction(this, "actOprateMenu", QStringLiteral("操作"), {K(Qt::ALT | Qt::Key_T)});
    actPrintMenu = makeAction(this, "actPrintMenu", QStringLiteral("打印菜单"), {K(Qt::ALT | Qt::Key_P)});
    for (QAction *a : {actPrev, actNext, actNew, actDelete, actChecknote, actSaveAdd, actOk, actCancel, actFindnote,
                       actPrint, actPreview, actIns, actDel, actFind, actOprateMenu, actPrintMenu}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
    }
    connect(actPrev, &QAction::triggered, this, &TBasenoteForm::btnPrevClick);
    connect(actNext, &QAction::triggered, this, &TBasenoteForm::muNextClick);
    connect(actNew, &QAction::triggered, this, &TBasenoteForm::muAppendClick);
    connect(actDelete, &QAction::triggered, this, &TBasenoteForm::muDeleteClick);
    connect(actChecknote, &QAction::triggered, this, &TBasenoteForm::CheckBtnClick);
    connect(actSaveAdd, &QAction::triggered, this, &TBasenoteForm::SaveAddBtnClick);
    connect(actOk, &QAction::triggered, this, &TBasenoteForm::OkBtnClick);
    connect(actCancel, &QAction::triggered, this, &TBasenoteForm::CancelBtnClick);
    connect(actFindnote, &QAction::triggered, this, &TBasenoteForm::btnFindClick);
    connect(actPrint, &QAction::triggered, this, &TBasenoteForm::PrintPMItemClick);
    connect(actPreview, &QAction::triggered, this, &TBasenoteForm::PrintPreviewPMItemClick);
    connect(actOprateMenu, &QAction::triggered, this, [this] {
        noteMenu->popup(btnOperate->mapToGlobal(QPoint(0, btnOperate->height())));
    });
    connect(actPrintMenu, &QAction::triggered, this, [this] {
        PrintMenu->popup(btnPrint->mapToGlobal(QPoint(0, btnPrint->height())));
    });
}

void TBasenoteForm::buildMenus()
{
    using K = QKeySequence;
    noteMenu = new QMenu(this);
    noteMenu->setObjectName(QStringLiteral("noteMenu"));
    auto item = [this](QMenu *menu, const char *name, const QString &text, const K &key = K()) {
        QAction *a = makeAction(menu, name, text, {});
        if (!key.isEmpty())
            a->setShortcut(key);
        // The form's actions own the keys; the menu only shows them.
        a->setShortcutContext(Qt::WidgetShortcut);
        menu->addAction(a);
        return a;
    };
    muAppend = item(noteMenu, "muAppend", QStringLiteral("新增"), K(Qt::CTRL | Qt::Key_N));
    muClonenote = item(noteMenu, "muClonenote", QStringLiteral("复制"));
    muAbate = item(noteMenu, "muAbate", QStringLiteral("作废"));
    noteMenu->addSeparator();
    muFirst = item(noteMenu, "muFirst", QStringLiteral("第一单"), K(Qt::CTRL | Qt::Key_Home));
    muPrior = item(noteMenu, "muPrior", QStringLiteral("前单"), K(Qt::CTRL | Qt::Key_PageUp));
    muNext = item(noteMenu, "muNext", QStringLiteral("后单"), K(Qt::CTRL | Qt::Key_PageDown));
    muLast = item(noteMenu, "muLast", QStringLiteral("最后单"), K(Qt::CTRL | Qt::Key_End));
    noteMenu->addSeparator();
    muSelectnote = item(noteMenu, "muSelectnote", QStringLiteral("转入..."), K(Qt::Key_F6));
    muDelete = item(noteMenu, "muDelete", QStringLiteral("删除"), K(Qt::CTRL | Qt::Key_D));
    FindnoteItem = item(noteMenu, "FindnoteItem", QStringLiteral("速查..."), K(Qt::CTRL | Qt::Key_F));
    muToExcel = item(noteMenu, "muToExcel", QStringLiteral("导出Excel"));
    muRefresh = item(noteMenu, "muRefresh", QStringLiteral("刷新"), K(Qt::Key_F5));
    PrintMenu = new QMenu(this);
    PrintMenu->setObjectName(QStringLiteral("PrintMenu"));
    PrintPMItem = item(PrintMenu, "PrintPMItem", QStringLiteral("打印"), K(Qt::CTRL | Qt::Key_P));
    PrintPreviewPMItem = item(PrintMenu, "PrintPreviewPMItem", QStringLiteral("打印预览"), K(Qt::CTRL | Qt::Key_W));

    connect(muAppend, &QAction::triggered, this, &TBasenoteForm::muAppendClick);
    connect(muClonenote, &QAction::triggered, this, &TBasenoteForm::muClonenoteClick);
    connect(muAbate, &QAction::triggered, this, &TBasenoteForm::muAbateClick);
    connect(muFirst, &QAction::triggered, this, &TBasenoteForm::muFirstClick);
    connect(muPrior, &QAction::triggered, this, &TBasenoteForm::btnPrevClick);
    connect(muNext, &QAction::triggered, this, &TBasenoteForm::muNextClick);
    connect(muLast, &QAction::triggered, this, &TBasenoteForm::muLastClick);
    connect(muSelectnote, &QAction::triggered, this, &TBasenoteForm::muSelectnoteClick);
    connect(muDelete, &QAction::triggered, this, &TBasenoteForm::muDeleteClick);
    connect(FindnoteItem, &QAction::triggered, this, &TBasenoteForm::btnFindClick);
    connect(muRefresh, &QAction::triggered, this, &TBasenoteForm::muRefreshClick);
    connect(PrintPMItem, &QAction::triggered, this, &TBasenoteForm::PrintPMItemClick);
    connect(PrintPreviewPMItem, &QAction::triggered, this, &TBasenoteForm::PrintPreviewPMItemClick);
    connect(muToExcel, &QAction::triggered, this, [this] { ExportNoteToExcel(this); });
}

void TBasenoteForm::buildButtons()
{
    palButton = new QFrame(this);
    palButton->setObjectName(QStringLiteral("palButton"));
    auto *row = new QHBoxLayout(palButton);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(4);
    auto button = [this, row](const char *name, const QString &text) {
        auto *b = new QPushButton(text, palButton);
        b->setObjectName(QString::fromLatin1(name));
        b->setShortcut(QKeySequence()); // the form's actions own the Alt keys
        b->setFocusPolicy(Qt::TabFocus);
        b->setMinimumWidth(56); // the style's 80 pixels would make the window too wide
        row->addWidget(b);
        return b;
    };
    SaveAddBtn = button("SaveAddBtn", QStringLiteral("新增(&S)"));
    OkBtn = button("OkBtn", QStringLiteral("保存(&A)"));
    CancelBtn = button("CancelBtn", QStringLiteral("取消(&C)"));
    CheckBtn = button("CheckBtn", QStringLiteral("审核(&O)"));
    btnFind = button("btnFind", QStringLiteral("速查(&F)"));
    row->addSpacing(8);
    btnPrev = button("btnPrev", QStringLiteral("前单"));
    btnNext = button("btnNext", QStringLiteral("后单"));
    btnOperate = button("btnOperate", QStringLiteral("操作"));
    btnOperate->setMenu(noteMenu);
    row->addSpacing(8);
    btnPrint = button("btnPrint", QStringLiteral("打印"));
    btnPrint->setMenu(PrintMenu);
    RptStyleCB = new TRqLookupCombo(palButton, QStringLiteral("RptStyleCB"));
    RptStyleCB->setPlaceholderText(QStringLiteral("打印样式"));
    RptStyleCB->setMinimumWidth(140);
    RptStyleCB->setMaximumWidth(200);
    row->addWidget(RptStyleCB);
    btnProperty = button("btnProperty", QStringLiteral("属性"));
    btnTurnIn = button("btnTurnIn", QStringLiteral("转入..."));
    row->addStretch(1);

    connect(SaveAddBtn, &QPushButton::clicked, this, &TBasenoteForm::SaveAddBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &TBasenoteForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TBasenoteForm::CancelBtnClick);
    connect(CheckBtn, &QPushButton::clicked, this, &TBasenoteForm::CheckBtnClick);
    connect(btnFind, &QPushButton::clicked, this, &TBasenoteForm::btnFindClick);
    connect(btnPrev, &QPushButton::clicked, this, &TBasenoteForm::btnPrevClick);
    connect(btnNext, &QPushButton::clicked, this, &TBasenoteForm::muNextClick);
    connect(btnProperty, &QPushButton::clicked, this, &TBasenoteForm::btnPropertyClick);
    connect(btnTurnIn, &QPushButton::clicked, this, &TBasenoteForm::muSelectnoteClick);
}

void TBasenoteForm::buildTitle()
{
    palTitle = new QFrame(this);
    palTitle->setObjectName(QStringLiteral("palTitle"));
    auto *grid = new QGridLayout(palTitle);
    grid->setContentsMargins(12, 8, 12, 4);
    grid->setHorizontalSpacing(6);
    lblTitle = new QLabel(windowTitle(), palTitle);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setAlignment(Qt::AlignCenter);
    spAbate = new QFrame(palTitle);
    spAbate->setObjectName(QStringLiteral("spAbate"));
    auto *stamp = new QHBoxLayout(spAbate);
    stamp->setContentsMargins(2, 2, 2, 2);
    lbAbate = new QLabel(QStringLiteral("作废"), spAbate);
    lbAbate->setObjectName(QStringLiteral("lbAbate"));
    stamp->addWidget(lbAbate);
    spAbate->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    spAbate->hide();
    auto *titleRow = new QHBoxLayout;
    titleRow->addStretch(1);
    titleRow->addWidget(lblTitle);
    titleRow->addSpacing(12);
    titleRow->addWidget(spAbate);
    titleRow->addStretch(1);
    grid->addLayout(titleRow, 0, 0, 1, 6);

    lbShoperatename = new QLabel(QStringLiteral("已结案"), palTitle);
    lbShoperatename->setObjectName(QStringLiteral("lbShoperatename"));
    lblPrinted = new QLabel(QStringLiteral("已打印"), palTitle);
    lblPrinted->setObjectName(QStringLiteral("lblPrinted"));
    lblPrinted->hide();
    auto *dateLabel = new QLabel(QStringLiteral("单据日期"), palTitle);
    dateLabel->setObjectName(QStringLiteral("lbDateDBEdit"));
    DateDBEdit = new TRqDBDateEdit(palTitle, QStringLiteral("DateDBEdit"));
    DateDBEdit->SetDataSource(dsMaster);
    DateDBEdit->SetDataField(QStringLiteral("NOTEDATE"));
    DateDBEdit->setMinimumWidth(130);
    auto *noLabel = new QLabel(QStringLiteral("单据号码"), palTitle);
    noLabel->setObjectName(QStringLiteral("lbNoDBEdit"));
    NoDBEdit = new TRqDBEdit(palTitle, QStringLiteral("NoDBEdit"));
    NoDBEdit->SetDataSource(dsMaster);
    NoDBEdit->SetDataField(QStringLiteral("NOTECODE"));
    NoDBEdit->setMinimumWidth(180);
    grid->addWidget(lbShoperatename, 1, 0);
    grid->addWidget(lblPrinted, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->addWidget(dateLabel, 1, 3);
    grid->addWidget(DateDBEdit, 1, 4);
    auto *noRow = new QHBoxLayout;
    noRow->addSpacing(12);
    noRow->addWidget(noLabel);
    noRow->addWidget(NoDBEdit);
    grid->addLayout(noRow, 1, 5);
}

void TBasenoteForm::buildMaster(const basenote::Resource &resource)
{
    m_masterPanel = new QFrame(this);
    m_masterPanel->setObjectName(QStringLiteral("palMaster"));
    auto *grid = new QGridLayout(m_masterPanel);
    grid->setContentsMargins(12, 6, 12, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    const int columns = std::max(1, resource.columns);
    for (const basenote::MasterControl &c : resource.controls) {
        const QString field = QString::fromLatin1(c.field);
        auto nameOr = [&](const char *prefix) {
            return c.name ? QString::fromLatin1(c.name) : QString::fromLatin1(prefix) + field;
        };
        const QString caption = QString::fromUtf8(c.caption);
        QWidget *w = nullptr;
        switch (c.kind) {
        case basenote::Ctl::Edit: {
            auto *e = new TRqDBEdit(m_masterPanel, nameOr("ed"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            w = e;
            break;
        }
        case basenote::Ctl::Date: {
            auto *e = new TRqDBDateEdit(m_masterPanel, nameOr("ed"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            w = e;
            break;
        }
        case basenote::Ctl::Lookup: {
            auto *e = new TRqLookupCombo(m_masterPanel, nameOr("cmb"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            if (c.lookup)
                e->SetListSource(QString::fromLatin1(c.lookup));
            if (c.listFilter)
                e->SetListFilter(QString::fromUtf8(c.listFilter));
            w = e;
            break;
        }
        case basenote::Ctl::Memo: {
            auto *e = new TRqDBMemo(m_masterPanel, nameOr("ed"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            e->setMaximumHeight(60);
            w = e;
            break;
        }
        case basenote::Ctl::Check: {
            auto *e = new TRqDBCheckBox(m_masterPanel, nameOr("chk"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            e->setText(caption);
            w = e;
            break;
        }
        case basenote::Ctl::Text: {
            auto *e = new TRqDBText(m_masterPanel, nameOr("lb"));
            e->SetDataSource(dsMaster);
            e->SetDataField(field);
            w = e;
            break;
        }
        case basenote::Ctl::Label: {
            auto *e = new QLabel(caption, m_masterPanel);
            e->setObjectName(nameOr("lb"));
            w = e;
            break;
        }
        }
        PanelFlow::Cell cell{nullptr, w, std::max(1, c.span), c.newRow};
        if (c.kind != basenote::Ctl::Label && c.kind != basenote::Ctl::Check) {
            auto *label = new QLabel(caption, m_masterPanel);
            // edCredNo's caption is lbCredNo: the name without its type prefix.
            QString base = w->objectName();
            for (const char *prefix : {"ed", "cmb", "chk", "lb"})
                if (base.startsWith(QLatin1String(prefix)) && base.size() > int(qstrlen(prefix))
                    && base.at(int(qstrlen(prefix))).isUpper()) {
                    base = base.mid(int(qstrlen(prefix)));
                    break;
                }
            label->setObjectName(QStringLiteral("lb") + base);
            label->setBuddy(w);
            if (c.required)
                label->setStyleSheet(QStringLiteral("color: #1f3b63; font-weight: bold;"));
            cell.label = label;
            if (!m_firstControl)
                m_firstControl = w;
        }
        m_masterFlow.cells.append(cell);
    }
    m_masterFlow.panel = m_masterPanel;
    m_masterFlow.columns = columns;
    m_masterFlow.layout(columns);
}

void TBasenoteForm::PanelFlow::layout(int count)
{
    auto *grid = static_cast<QGridLayout *>(panel->layout());
    for (const Cell &cell : std::as_const(cells)) {
        if (cell.label)
            grid->removeWidget(cell.label);
        grid->removeWidget(cell.control);
    }
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnStretch(c, 0);
    for (int c = 0; c < count; ++c)
        grid->setColumnStretch(2 * c + 1, 1);
    int row = 0;
    int col = 0;
    for (const Cell &cell : std::as_const(cells)) {
        const int span = std::min(cell.span, count);
        if (col > 0 && (cell.newRow || col + span > count)) {
            ++row;
            col = 0;
        }
        if (cell.label) {
            grid->addWidget(cell.label, row, 2 * col, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(cell.control, row, 2 * col + 1, 1, 2 * span - 1);
        } else {
            grid->addWidget(cell.control, row, 2 * col, 1, 2 * span);
        }
        col += span;
    }
    shown = count;
}

void TBasenoteForm::PanelFlow::fitWidth(int width)
{
    if (!panel)
        return;
    // A pair needs its widest caption and a control still wide enough to read.
    auto *grid = static_cast<QGridLayout *>(panel->layout());
    int pair = 0;
    for (const Cell &cell : std::as_const(cells))
        pair = std::max(pair, (cell.label ? cell.label->sizeHint().width() : 0) + 150 + 2 * grid->horizontalSpacing());
    const QMargins m = grid->contentsMargins();
    const int fit = std::clamp((width - m.left() - m.right()) / std::max(1, pair), 1, std::max(1, columns));
    if (fit != shown)
        layout(fit);
}

void TBasenoteForm::resizeEvent(QResizeEvent *e)
{
    TnoteBootForm::resizeEvent(e);
    m_masterFlow.fitWidth(width());
    m_bottomFlow.fitWidth(width());
}

void TBasenoteForm::buildBottom()
{
    palBottom = new QFrame(this);
    palBottom->setObjectName(QStringLiteral("palBottom"));
    auto *grid = new QGridLayout(palBottom);
    grid->setContentsMargins(12, 6, 12, 8);
    grid->setHorizontalSpacing(6);
    auto add = [this](QWidget *w, const QString &caption, int span = 1, bool newRow = false) {
        auto *label = new QLabel(caption, palBottom);
        label->setObjectName(QStringLiteral("lbl") + w->objectName());
        label->setBuddy(w);
        m_bottomFlow.cells.append({label, w, span, newRow});
    };
    cmbEmp = new TRqLookupCombo(palBottom, QStringLiteral("cmbEmp"));
    cmbDepartment = new TRqLookupCombo(palBottom, QStringLiteral("cmbDepartment"));
    edoperatename = new TRqDBEdit(palBottom, QStringLiteral("edoperatename"));
    edoperatename->SetDataSource(dsMaster);
    edoperatename->SetDataField(QStringLiteral("OPERATENAME"));
    edchkor = new TRqDBEdit(palBottom, QStringLiteral("edchkor"));
    edchkor->SetDataSource(dsMaster);
    edchkor->SetDataField(QStringLiteral("chkor"));
    edRemark = new TRqDBEdit(palBottom, QStringLiteral("edRemark"));
    edRemark->SetDataSource(dsMaster);
    edRemark->SetDataField(QStringLiteral("REMARK"));
    edRemark->installEventFilter(this);
    add(cmbEmp, QStringLiteral("跟单员"));
    add(cmbDepartment, QStringLiteral("部门"));
    add(edoperatename, QStringLiteral("开单"));
    add(edchkor, QStringLiteral("审核"));
    add(edRemark, QStringLiteral("备注"), 4, true);
    m_bottomFlow.panel = palBottom;
    m_bottomFlow.columns = 4;
    m_bottomFlow.layout(4);
}

