#include "Basenote.h"

#include "NoteExport.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "Notepublic.h"
#include "PackageWindows.h"
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

namespace {

const QString kSystemIni = QStringLiteral("System.ini");
const QString kFormSizeSection = QStringLiteral("FORMSIZE");

int sysParamInt(const char *name) { return LookupSysParam(QString::fromLatin1(name)).trimmed().toInt(); }

QDate periodFirstDay(const char *yearParam, const char *monthParam)
{
    return QDate(sysParamInt(yearParam), sysParamInt(monthParam), 1);
}

// Types exempt from the period lock of a save (plans, orders, sale prices).
bool exemptFromDateLock(int type) { return type == 1 || type == 2 || type == 11 || type == 12 || type == 75; }
// Types exempt from the period rule of audit and void (plans, sale prices).
bool exemptFromPeriodRule(int type) { return type == 1 || type == 11 || type == 75; }

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

// A data-aware control's field name, empty for other widgets.
QString boundField(QObject *o)
{
    if (auto *e = qobject_cast<TRqDBEdit *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBDateEdit *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBMemo *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBCheckBox *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqLookupCombo *>(o))
        return e->DataSource() ? e->DataField() : QString();
    return {};
}

QAction *makeAction(QObject *parent, const char *name, const QString &text, const QList<QKeySequence> &keys)
{
    auto *a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    return a;
}

} // namespace

// =========================================================================== construction

// Qt offers a key as ShortcutOverride to the focus widget before it looks at
// the shortcuts, so asking the hook there lets a kind take keys such as F9 or
// Ctrl+N away from the standard actions. The hook is asked once per key.
class TBasenoteForm::ShortcutHook : public QObject {
public:
    explicit ShortcutHook(TBasenoteForm *form) : QObject(form), m_form(form) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        const QEvent::Type type = e->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || (widget != m_form && !m_form->isAncestorOf(widget)))
            return false;
        // Keys travel up from the focus widget to its parents: judge them once,
        // where they are delivered.
        QWidget *target = QApplication::focusWidget();
        if (widget != (target ? target : widget->window()))
            return false;
        auto *key = static_cast<QKeyEvent *>(e);
        const QKeyCombination combination = key->keyCombination();
        if (type == QEvent::KeyPress && m_asked && m_askedKey == combination) {
            // Already offered as ShortcutOverride: swallow it when taken.
            m_asked = false;
            return std::exchange(m_taken, false);
        }
        bool handled = false;
        m_form->HandleShortCut(key, handled);
        if (type == QEvent::ShortcutOverride) {
            m_asked = true;
            m_askedKey = combination;
            m_taken = handled;
            if (handled)
                e->accept(); // the shortcut map then leaves the key alone
            return handled;
        }
        return handled;
    }

private:
    TBasenoteForm *m_form;
    bool m_asked = false;
    bool m_taken = false;
    QKeyCombination m_askedKey;
};

TBasenoteForm::TBasenoteForm(const basenote::Resource &resource, QWidget *owner)
    : TnoteBootForm(QString::fromUtf8(resource.formName), owner)
{
    m_asKeyField = QString::fromLatin1(resource.keyField);
    noteType = resource.noteType;
    if (resource.tableName && *resource.tableName) {
        m_asTableName = QString::fromLatin1(resource.tableName);
        m_bFixedTable = true;
    } else {
        m_asTableName = NoteTypeMasterTable(noteType);
    }
    m_iDesignWidth = resource.size.width();
    m_iDesignHeight = resource.size.height();
    setWindowTitle(QString::fromUtf8(resource.caption));

    buildWindow(resource);
    m_asMasterSelect = qryMaster->SQL();

    m_bReadOnly = false;
    m_bInitMode = false;
    m_iKeyLower = 0;
    m_iKeyUpper = 2147483647;
    m_iCurrentNoteID = kNewNoteID;
    m_bNewNote = false;
    m_bFirstActive = true;
    resize(m_iDesignWidth, m_iDesignHeight);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_asTitle = windowTitle();
    m_bPSequence = LookupSysParam(QStringLiteral("IsPSequence")) == QLatin1String("1");
    m_bSSequence = LookupSysParam(QStringLiteral("IsSSequence")) == QLatin1String("1");
    m_ReadOnlyExempt = {QStringLiteral("btnPrev"),  QStringLiteral("btnNext"),    QStringLiteral("btnOperate"),
                        QStringLiteral("ImgOperate"), QStringLiteral("CheckBtn"), QStringLiteral("SaveAddBtn"),
                        QStringLiteral("OkBtn"),    QStringLiteral("btnTurnIn"),  QStringLiteral("CancelBtn"),
                        QStringLiteral("btnPrint"), QStringLiteral("RptStyleCB"), QStringLiteral("lbAbate"),
                        QStringLiteral("lblTitle"), QStringLiteral("lblPrinted")};
    UpdateCredNoControls();
    OpenOperatorLookup();
    if (palBottom && !palBottom->isHidden()) {
        m_LookupNames << QStringLiteral("qryEmploy") << QStringLiteral("qryDepartment");
        cmbEmp->SetDataSource(dsMaster);
        cmbEmp->SetDataField(QStringLiteral("EMPID"));
        cmbEmp->SetListSource(QStringLiteral("dsEmploy"));
        cmbDepartment->SetDataSource(dsMaster);
        cmbDepartment->SetDataField(QStringLiteral("DEPID"));
        cmbDepartment->SetListSource(QStringLiteral("dsDepartment"));
    }
    m_LookupNames << resource.lookups;
    FindnoteItem->setVisible(LookupSysParam(QStringLiteral("IsStartUse")) == QLatin1String("1"));
    WriteLog(u'T', 200, u'T', windowTitle(), QString(), 1, 0);
    m_bLogged = true;
    m_shortcutHook = new ShortcutHook(this);
}

TBasenoteForm::~TBasenoteForm()
{
    if (m_bLogged)
        WriteLog(u'T', 201, u'T', windowTitle(), QString(), 1, 0);
    SaveFormSize();
    ReleaseReservedNoteCode();
    // The data set's events call back into this object: detach them first.
    if (cdsMaster) {
        cdsMaster->AfterOpen = nullptr;
        cdsMaster->AfterScroll = nullptr;
        cdsMaster->BeforePost = nullptr;
        cdsMaster->AfterPost = nullptr;
        cdsMaster->OnCalcFields = nullptr;
        cdsMaster->OnNewRecord = nullptr;
        for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
            cdsMaster->FieldAt(i)->OnChange = nullptr;
            cdsMaster->FieldAt(i)->OnValidate = nullptr;
        }
    }
}

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
    for (int c = 0; c < columns; ++c)
        grid->setColumnStretch(2 * c + 1, 1);
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
        const int col = 2 * std::clamp(c.column, 0, columns - 1);
        const int span = 2 * std::max(1, c.span) - 1;
        if (c.kind == basenote::Ctl::Label || c.kind == basenote::Ctl::Check) {
            grid->addWidget(w, c.row, col, 1, span + 1);
        } else {
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
            grid->addWidget(label, c.row, col, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(w, c.row, col + 1, 1, span);
            if (!m_firstControl)
                m_firstControl = w;
        }
    }
}

void TBasenoteForm::buildBottom()
{
    palBottom = new QFrame(this);
    palBottom->setObjectName(QStringLiteral("palBottom"));
    auto *grid = new QGridLayout(palBottom);
    grid->setContentsMargins(12, 6, 12, 8);
    grid->setHorizontalSpacing(6);
    auto add = [this, grid](QWidget *w, const QString &caption, int row, int col, int span = 1) {
        auto *label = new QLabel(caption, palBottom);
        label->setObjectName(QStringLiteral("lbl") + w->objectName());
        label->setBuddy(w);
        grid->addWidget(label, row, col, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(w, row, col + 1, 1, span);
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
    add(cmbEmp, QStringLiteral("跟单员"), 0, 0);
    add(cmbDepartment, QStringLiteral("部门"), 0, 2);
    add(edoperatename, QStringLiteral("开单"), 0, 4);
    add(edchkor, QStringLiteral("审核"), 0, 6);
    add(edRemark, QStringLiteral("备注"), 1, 0, 7);
    for (int c : {1, 3, 5, 7})
        grid->setColumnStretch(c, 1);
}

// =========================================================================== helpers

Field *TBasenoteForm::MasterField(const QString &name) const
{
    return cdsMaster && cdsMaster->Active() ? cdsMaster->FindField(name) : nullptr;
}

QVariant TBasenoteForm::MasterValue(const QString &name, const QVariant &defaultValue) const
{
    if (!cdsMaster || !cdsMaster->Active() || cdsMaster->IsEmpty())
        return defaultValue;
    return GetFieldValue(MasterField(name), defaultValue);
}

bool TBasenoteForm::HasPrivilege(int action, bool showMessage)
{
    if (GetUPrivilegeItem(GetPrivilegedFormID(NoteTypeFormName(noteType)), action))
        return true;
    if (showMessage) {
        switch (action) {
        case 1: ShowError(QStringLiteral("对不起,你没有浏览的权限!")); break;
        case 2: ShowError(QStringLiteral("对不起,你没有编辑的权限!")); break;
        case 3: ShowError(QStringLiteral("对不起,你没有打印的权限!")); break;
        case 6: ShowError(QStringLiteral("对不起,你没有审核的权限!")); break;
        case 7: ShowError(QStringLiteral("对不起,你没有作废反作废的权限!")); break;
        default: break;
        }
    }
    return false;
}

bool TBasenoteForm::IsOtherUsersNote()
{
    Field *op = MasterField(QStringLiteral("OPERATEID"));
    if (!op || (cdsMaster->IsEmpty() && cdsMaster->State() != DataSetState::Insert))
        return false;
    return op->AsInteger() != g_iUserID && !GetUPrivilegeItem(2092, 5);
}

bool TBasenoteForm::PeriodIsStartPeriod()
{
    return sysParamInt("PosYear") == sysParamInt("StartYear") && sysParamInt("PosMonth") == sysParamInt("StartMonth");
}

QWidget *TBasenoteForm::controlOfField(const QString &fieldName) const
{
    const QList<QWidget *> all = findChildren<QWidget *>();
    for (QWidget *w : all)
        if (boundField(w).compare(fieldName, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

void TBasenoteForm::rememberYearMonth()
{
    Field *f = MasterField(QStringLiteral("NOTEDATE"));
    m_asLastYearMonth = f && !f->IsNull() ? f->AsDate().toString(QStringLiteral("yyyy-MM-dd")).left(7) : QString();
}

// =========================================================================== read-only

void TBasenoteForm::SetReadOnly(bool readOnly)
{
    m_bReadOnly = readOnly;
    const QList<QWidget *> all = findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (m_ReadOnlyExempt.contains(w->objectName()))
            continue;
        if (auto *e = qobject_cast<TRqDBEdit *>(w))
            e->SetReadOnly(readOnly);
        else if (auto *e = qobject_cast<TRqDBDateEdit *>(w))
            e->SetReadOnly(readOnly);
        else if (auto *e = qobject_cast<TRqDBMemo *>(w))
            e->SetReadOnly(readOnly);
        else if (auto *e = qobject_cast<TRqDBCheckBox *>(w))
            e->SetReadOnly(readOnly);
        else if (auto *e = qobject_cast<TRqLookupCombo *>(w))
            e->SetReadOnly(readOnly);
        else if (auto *e = qobject_cast<TRqDBGrid *>(w))
            e->SetReadOnly(readOnly);
    }
}

bool TBasenoteForm::IsNoteReadOnly()
{
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (state == 1 || state == 2)
        return true;
    if (!HasPrivilege(2, false))
        return true;
    if (IsOtherUsersNote())
        return true;
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0)
        return true;
    return NoteDateLocked(false);
}

bool TBasenoteForm::NoteDateLocked(bool showMessage)
{
    auto locked = [showMessage](const QString &message) {
        if (showMessage)
            ShowError(message);
        return true;
    };
    if (m_bInitMode)
        return !PeriodIsStartPeriod();
    Field *date = MasterField(QStringLiteral("noteDate"));
    if (!date)
        return locked(QStringLiteral("本单日期字段未找到，不能保存数据"));
    const QDate noteDate = date->AsDate();
    const QDate start = QDate::fromString(LookupSysParam(QStringLiteral("StartDate")).left(10), QStringLiteral("yyyy-MM-dd"));
    if (start.isValid() && noteDate.isValid() && noteDate < start)
        return locked(QStringLiteral("不能录入开帐日期之前发生的业务，不能保存数据。"));
    if (exemptFromDateLock(noteType))
        return false;
    const QDate first = periodFirstDay("PosYear", "PosMonth");
    const QVariant old = date->OldValue();
    const QDate oldDate = old.isNull() ? QDate() : old.toDate();
    if (first.isValid() && ((noteDate.isValid() && noteDate < first) || (oldDate.isValid() && oldDate < first)))
        return locked(QStringLiteral("本单日期在当前进销存期间之前，不能保存对本单所做的修改。"));
    if (sysParamInt("IsBand") != 0) {
        const QDate acc = periodFirstDay("CurrAccYear", "CurrAccMonth");
        if (acc.isValid() && noteDate.isValid() && noteDate < acc)
            return locked(QStringLiteral("本单日期在当前会计期间之前，不能保存对本单所做的修改。"));
    }
    return false;
}

void TBasenoteForm::HandleShortCut(QKeyEvent *, bool &) {}

bool TBasenoteForm::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == edRemark && e->type() == QEvent::KeyPress)
        RemarkKeyDown(static_cast<QKeyEvent *>(e));
    return TnoteBootForm::eventFilter(watched, e);
}

// =========================================================================== opening

bool TBasenoteForm::ShowLatestOrRefuse()
{
    const int last = LastNoteID();
    if (last != 0)
        return LoadNote(last);
    if (noteType == 71)
        ShowError(QStringLiteral("没有POS销售单可以查看。"));
    else if (noteType == 73)
        ShowError(QStringLiteral("没有POS日结单可以查看。"));
    else
        ShowError(QStringLiteral("没有开票记录可以查看。"));
    return false;
}

bool TBasenoteForm::AppendBlankNote()
{
    if (IsPosOrInvoiceType(noteType)) {
        ShowLatestOrRefuse();
        return false;
    }
    if (!HasPrivilege(2, false))
        return false;
    if (m_bInitMode && LookupSysParam(QStringLiteral("IsStartUse")) == QLatin1String("1")) {
        const int last = LastNoteID();
        if (last != 0) {
            LoadNote(last);
        } else if (noteType == 3) {
            ShowError(QStringLiteral("没有估价入库初始化的单据可以查看。"));
        } else if (noteType == 13) {
            ShowError(QStringLiteral("没有委托代销初始化的单据可以查看。"));
        }
        return false;
    }
    if (!QuerySaveChanges())
        return false;
    if (!cdsMaster->Active() && !OpenNoteQuery(QStringLiteral(" where m.") + m_asKeyField + QStringLiteral("=")
                                               + QString::number(kNewNoteID)))
        return false;
    BeforeAppendNote();
    try {
        cdsMaster->Append();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bModifiedAtSave = false;
    AfterAppendNote();
    ShowNote();
    return true;
}

void TBasenoteForm::loadPrintTemplates()
{
    RptStyleCB->setProperty("tag", 6000 + noteType);
    if (cdsPrint->Active())
        return;
    try {
        cdsPrint->SetCommandText(
            QStringLiteral("Select typesid, printtemplateID, Name, Data from printtemplatelth where printtemplateID>0 "
                           "and typesid=")
            + QString::number(6000 + noteType) + QStringLiteral(" order by Name "));
        cdsPrint->Open();
        RptStyleCB->SetListDataSet(cdsPrint);
        RptStyleCB->SetKeyField(QStringLiteral("printtemplateID"));
        RptStyleCB->SetListFields(QStringLiteral("Name"));
        RptStyleCB->SetListField(QStringLiteral("Name"));
        const PrintChoice choice = ReadPrintChoice(QString::fromLatin1(metaObject()->className()));
        if (choice.id != 0)
            RptStyleCB->setKeyValue(choice.id);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

bool TBasenoteForm::OpenNoteQuery(const QString &where)
{
    loadPrintTemplates();
    if (!QuerySaveChanges())
        return false;
    ReleaseReservedNoteCode(); // an abandoned new note gives its number back
    try {
        cdsMaster->Close();
        if (!m_bFixedTable)
            m_asTableName = NoteTypeMasterTable(noteType);
        m_asMasterWhere = where;
        qryMaster->SetSQL(GetMasterSql());
        cdsMaster->SetCommandText(qryMaster->SQL());
        BeforeOpenNote();
        for (const QString &name : std::as_const(m_LookupNames))
            OpenLookupDataSet(name);
        HookMasterEvents();
        cdsMaster->Open();
        for (int i = 0; i < cdsMaster->FieldCount(); ++i)
            cdsMaster->FieldAt(i)->SetReadOnly(false);
        cdsMaster->Last();
        cdsMaster->First();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bModifiedAtSave = false;
    m_bNewNote = false;
    return true;
}

void TBasenoteForm::ReloadNote()
{
    LoadNote(int(MasterValue(m_asKeyField, kNewNoteID).toLongLong()));
}

bool TBasenoteForm::NewNote()
{
    if (m_bInitMode && !PeriodIsStartPeriod())
        return LoadNote(LastNoteID());
    if (IsPosOrInvoiceType(noteType))
        return ShowLatestOrRefuse();
    if (!HasPrivilege(2, false))
        return false;
    return LoadNote(kNewNoteID);
}

bool TBasenoteForm::LoadNote(int id)
{
    if (!OpenNoteQuery(QStringLiteral(" where m.") + m_asKeyField + QStringLiteral("=") + QString::number(id)))
        return false;
    if (cdsMaster->IsEmpty())
        return AppendBlankNote();
    ShowNote();
    if (!GetUPrivilegeItem(2091, 5) && MasterValue(QStringLiteral("OPERATEID"), 0).toInt() != g_iUserID)
        return AppendBlankNote();
    return true;
}

void TBasenoteForm::ShowNoteProperties()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("NotePropertiesDialog"));
    dialog.setWindowTitle(QStringLiteral("单据属性"));
    auto *form = new QFormLayout(&dialog);
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    const QString stateText = state == 1 ? QStringLiteral("审核") : state == 2 ? QStringLiteral("作废") : QStringLiteral("待审核");
    const QVariant updated = MasterValue(QStringLiteral("UPDATETIME"));
    form->addRow(QStringLiteral("单据类型"), new QLabel(NoteTypeName(noteType), &dialog));
    form->addRow(QStringLiteral("单据号码"), new QLabel(MasterValue(QStringLiteral("NOTECODE")).toString(), &dialog));
    form->addRow(QStringLiteral("内部编号"), new QLabel(QString::number(m_iCurrentNoteID), &dialog));
    form->addRow(QStringLiteral("数据表"), new QLabel(m_asTableName, &dialog));
    form->addRow(QStringLiteral("状态"), new QLabel(stateText, &dialog));
    form->addRow(QStringLiteral("开单"), new QLabel(MasterValue(QStringLiteral("OPERATENAME")).toString(), &dialog));
    form->addRow(QStringLiteral("审核"), new QLabel(MasterValue(QStringLiteral("chkor")).toString(), &dialog));
    form->addRow(QStringLiteral("最后修改"),
                 new QLabel(updated.isNull() ? QString() : updated.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            &dialog));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    form->addRow(buttons);
    ShowModal(&dialog);
}

// =========================================================================== master events

void TBasenoteForm::MasterAfterOpen(ClientDataSet &) { HookMasterFields(); }
void TBasenoteForm::MasterAfterScroll(ClientDataSet &) {}

void TBasenoteForm::MasterBeforePost(ClientDataSet &dataSet)
{
    Field *key = dataSet.FindField(m_asKeyField);
    m_iCurrentNoteID = key && !key->IsNull() ? int(key->AsInteger()) : kNewNoteID;
}

void TBasenoteForm::MasterAfterPost(ClientDataSet &) {}

void TBasenoteForm::MasterCalcFields(ClientDataSet &dataSet)
{
    auto fill = [&dataSet](const char *calcName, const char *idName) {
        Field *calc = dataSet.FindField(QString::fromLatin1(calcName));
        Field *id = dataSet.FindField(QString::fromLatin1(idName));
        if (calc && calc->Calculated() && id && !id->IsNull())
            calc->SetValue(LookupData(pub::RecordOperator, id->AsInteger(), QStringLiteral("OPERATENAME")));
    };
    fill("OPERATENAME", "OPERATEID");
    fill("chkor", "CHKORID");
}

void TBasenoteForm::MasterNewRecord(ClientDataSet &dataSet)
{
    InitNewNote(dataSet);
    if (AutoNoteCodeOn())
        reserveNoteCode();
}

bool TBasenoteForm::AutoNoteCodeOn() const
{
    return !m_bInitMode && LookupSysParam(QStringLiteral("noteAutoValue")) == QLatin1String("1");
}

void TBasenoteForm::reserveNoteCode()
{
    Field *code = MasterField(QStringLiteral("NOTECODE"));
    Field *date = MasterField(QStringLiteral("noteDate"));
    if (!code || !date || date->IsNull())
        return;
    ReleaseReservedNoteCode();
    m_asReservedCode = ReserveNoteCode(noteType, date->AsDate(), m_asTableName);
    if (!m_asReservedCode.isEmpty())
        SetFieldValueSilent(code, m_asReservedCode);
}

void TBasenoteForm::ReleaseReservedNoteCode()
{
    if (m_asReservedCode.isEmpty())
        return;
    const QString code = std::exchange(m_asReservedCode, QString());
    if (StartupDB())
        ReleaseNoteCode(noteType, code);
}

void TBasenoteForm::EnsureUniqueNoteCode()
{
    m_asRenumberedFrom.clear();
    // Saved notes keep their numbers; only a note being created is checked.
    if (!AutoNoteCodeOn() || cdsMaster->IsEmpty() || cdsMaster->GetUpdateStatus() != data::UpdateStatus::Inserted)
        return;
    Field *code = MasterField(QStringLiteral("NOTECODE"));
    if (!code || code->IsNull())
        return;
    const qint64 key = MasterValue(m_asKeyField, kNewNoteID).toLongLong();
    if (!NoteCodeUsed(m_asTableName, m_asKeyField, key, code->AsString()))
        return;
    // Only a number the window handed out itself is replaced; a typed one is
    // the user's to change.
    if (m_asReservedCode.isEmpty() || code->AsString() != m_asReservedCode)
        throw PubError(QStringLiteral("单据号码[") + code->AsString() + QStringLiteral("]已经存在,请修改单据号码."));
    const bool editing = cdsMaster->State() == DataSetState::Edit || cdsMaster->State() == DataSetState::Insert;
    if (!editing)
        cdsMaster->Edit();
    m_asRenumberedFrom = m_asReservedCode;
    reserveNoteCode();
    if (m_asReservedCode.isEmpty())
        throw PubError(QStringLiteral("保存失败."));
    if (!editing)
        cdsMaster->Post();
}

void TBasenoteForm::UndoNoteCodeRenumbering()
{
    if (m_asRenumberedFrom.isEmpty())
        return;
    m_asReservedCode = std::exchange(m_asRenumberedFrom, QString());
    try {
        if (cdsMaster->State() == DataSetState::Browse)
            cdsMaster->Edit();
        SetFieldValueSilent(MasterField(QStringLiteral("NOTECODE")), m_asReservedCode);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TBasenoteForm::InitNewNote(ClientDataSet &dataSet)
{
    auto set = [&dataSet](const char *name, const QVariant &value) {
        Field *f = dataSet.FindField(QString::fromLatin1(name));
        if (f && !f->Calculated())
            SetFieldValueSilent(f, value);
    };
    set("NOTEID", kNewNoteID);
    if (m_asKeyField.compare(QLatin1String("NOTEID"), Qt::CaseInsensitive) != 0)
        set(m_asKeyField.toLatin1().constData(), kNewNoteID);
    QDate date;
    if (m_bInitMode)
        date = GetFirstDayOfPosMonth().addDays(-1);
    else
        date = std::max(GetFirstDayOfPosMonth(), g_NewnoteTime);
    set("noteDate", date);
    set("NOTECODE", NewNoteCode(noteType, date, m_asTableName));
    set("OPERATEID", g_iUserID);
    set("OPERATENAME", LookupData(pub::RecordOperator, g_iUserID, QStringLiteral("OPERATENAME")));
    set("upflag", 0);
    set("CLOSED", false);
    set("NOTESTATE", 0);
    set("SHOPERATEID", 0);
    set("NOTEKIND", 1);
    set("AMOUNT", 0);
    set("REFERAMT", 0);
    set("REFERCOUNT", 0);
}

const QHash<QString, TBasenoteForm::FieldRule> &TBasenoteForm::baseFieldRules()
{
    static const QHash<QString, FieldRule> rules = {
        {QStringLiteral("NOTEDATE"), &TBasenoteForm::noteDateChanged},
        {QStringLiteral("EMPID"), &TBasenoteForm::empIdChanged},
    };
    return rules;
}

void TBasenoteForm::noteDateChanged(Field &field)
{
    if (field.IsNull())
        return;
    const QDate date = field.AsDate();
    if (!date.isValid()) {
        ShowError(QStringLiteral("日期格式错误！"));
        return;
    }
    const QString yearMonth = date.toString(QStringLiteral("yyyy-MM-dd")).left(7);
    if (yearMonth == m_asLastYearMonth)
        return;
    if (!m_asReservedCode.isEmpty() && AutoNoteCodeOn())
        reserveNoteCode(); // the new month's number, the old one given back
    else
        SetFieldValueSilent(MasterField(QStringLiteral("NOTECODE")), NewNoteCode(noteType, date, m_asTableName));
    m_asLastYearMonth = yearMonth;
}

void TBasenoteForm::empIdChanged(Field &field)
{
    if (noteType == 1 || noteType == 11)
        return;
    Field *dep = MasterField(QStringLiteral("DEPID"));
    if (!dep)
        return;
    const QVariant d = field.IsNull() ? QVariant()
                                      : scalarOf(QStringLiteral("select depid from employlth where EmpID=") + idText(field.Value()));
    SetFieldValue(dep, d);
}

void TBasenoteForm::MasterFieldChange(Field &field)
{
    const auto &rules = baseFieldRules();
    const auto it = rules.constFind(field.FieldName().toUpper());
    if (it != rules.constEnd())
        (this->*it.value())(field);
    m_bModifiedAtSave = true;
}

void TBasenoteForm::MasterFieldValidate(Field &) {}

QString TBasenoteForm::GetMasterSql() { return m_asMasterSelect + m_asMasterWhere; }

void TBasenoteForm::HookMasterEvents()
{
    cdsMaster->AfterOpen = [this](ClientDataSet &d) { MasterAfterOpen(d); };
    cdsMaster->AfterScroll = [this](ClientDataSet &d) { MasterAfterScroll(d); };
    cdsMaster->BeforePost = [this](ClientDataSet &d) { MasterBeforePost(d); };
    cdsMaster->AfterPost = [this](ClientDataSet &d) { MasterAfterPost(d); };
    cdsMaster->OnCalcFields = [this](ClientDataSet &d) { MasterCalcFields(d); };
    cdsMaster->OnNewRecord = [this](ClientDataSet &d) { MasterNewRecord(d); };
}

void TBasenoteForm::applyFieldDefinitions()
{
    for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
        Field *f = cdsMaster->FieldAt(i);
        const auto it = m_fieldDefinitions.constFind(f->FieldName().toUpper());
        if (it == m_fieldDefinitions.constEnd())
            continue;
        if (!it->caption.isEmpty())
            f->SetDisplayLabel(it->caption);
        if (it->required)
            f->SetRequired(true);
        if (!it->displayFormat.isEmpty())
            f->SetDisplayFormat(it->displayFormat);
    }
}

void TBasenoteForm::HookMasterFields()
{
    applyFieldDefinitions();
    for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
        Field *f = cdsMaster->FieldAt(i);
        if (f->Calculated())
            continue;
        f->OnChange = [this](Field &field) {
            // A failing rule is shown; the typed value stays.
            try {
                MasterFieldChange(field);
                UpdateControlStates(field.FieldName().toUpper());
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
        f->OnValidate = [this](Field &field) { MasterFieldValidate(field); };
    }
}

void TBasenoteForm::BeforeAppendNote() {}
void TBasenoteForm::AfterAppendNote() { m_bNewNote = true; }
void TBasenoteForm::BeforeOpenNote() {}

// =========================================================================== showing

void TBasenoteForm::ShowNote()
{
    m_iCurrentNoteID = int(MasterValue(m_asKeyField, kNewNoteID).toLongLong());
    rememberYearMonth();
    const QVariant style = RptStyleCB->KeyValue();
    if (style.isNull() || style.toInt() == 0)
        RptStyleCB->setKeyValue(6000 + noteType);
    SetReadOnly(IsNoteReadOnly());
    UpdateControlStates(QString());
    QWidget *first = m_firstControl;
    if (!first || !first->isEnabled())
        first = DateDBEdit;
    if (first && isVisible())
        first->setFocus();
}

void TBasenoteForm::UpdateControlStates(const QString &fieldName)
{
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (fieldName.isEmpty() || fieldName == QLatin1String("NOTESTATE")) {
        CheckBtn->setEnabled(state != 2);
        CheckBtn->setText(state == 1 ? QStringLiteral("反审核(&O)") : QStringLiteral("审核(&O)"));
        CheckBtn->setShortcut(QKeySequence());
        muAbate->setEnabled(state != 1);
        muAbate->setText(state == 2 ? QStringLiteral("反作废") : QStringLiteral("作废"));
        lbAbate->setText(state == 2 ? QStringLiteral("作废") : QStringLiteral("审核"));
        spAbate->setVisible(state == 1 || state == 2);
        lbAbate->setVisible(state == 1 || state == 2);
    }
    if (!fieldName.isEmpty())
        return;
    muDelete->setEnabled(!m_bReadOnly && state != 1 && state != 2);
    DateDBEdit->setEnabled(!m_bReadOnly && !m_bInitMode);
    edoperatename->SetReadOnly(true);
    edchkor->SetReadOnly(true);
    for (const char *name : {"lbnoteKind", "cmbnoteKind"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setEnabled(m_bNewNote);
    UpdatePrintedLabel();
    if (Field *shop = MasterField(QStringLiteral("shoperateid"))) {
        const int id = int(shop->AsInteger());
        const QString name = id == 0 ? QStringLiteral("总部")
                                     : LookupData(pub::RecordShop, id, QStringLiteral("NAME")).toString();
        lbShoperatename->setText(QStringLiteral("机构名称  ") + name);
    }
}

void TBasenoteForm::UpdatePrintedLabel()
{
    int printed = 0;
    if (m_iCurrentNoteID != kNewNoteID && m_iCurrentNoteID != 0) {
        try {
            printed = scalarOf(QStringLiteral("select printed from noteprintabth where notetype=") + QString::number(noteType)
                               + QStringLiteral(" and noteid=") + QString::number(m_iCurrentNoteID))
                          .toInt();
        } catch (const std::exception &) {
            printed = 0; // no register yet: nothing to show
        }
    }
    if (printed > 0)
        lblPrinted->setText(QStringLiteral("本单据已经被打印") + QString::number(printed) + QStringLiteral("次"));
    lblPrinted->setVisible(printed > 0);
}

void TBasenoteForm::SelectSourceNote() { ShowInformation(QStringLiteral("尚未提供此功能")); }

void TBasenoteForm::OpenOperatorLookup() { m_LookupNames << QStringLiteral("qryOperator"); }

void TBasenoteForm::UpdateCredNoControls()
{
    const bool band = LookupSysParam(QStringLiteral("IsBand")) == QLatin1String("1");
    for (const char *name : {"lbCredNo", "edCredNo"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setVisible(band);
}

// =========================================================================== init mode and messages

void TBasenoteForm::SetInitMode(bool initMode)
{
    if (initMode == m_bInitMode)
        return;
    m_bInitMode = initMode;
    if (initMode) {
        m_iKeyLower = -2147483647;
        m_iKeyUpper = 0;
    } else {
        m_iKeyLower = 0;
        m_iKeyUpper = 2147483647;
    }
    DateDBEdit->setEnabled(!initMode);
    const QString caption = initMode ? m_asTitle + QStringLiteral("初始化") : m_asTitle;
    setWindowTitle(caption);
    lblTitle->setText(caption);
    pk_note::NotifyNoteFormChanged(this);
}

long TBasenoteForm::noteMessage(int message, qlonglong wParam, qlonglong lParam)
{
    TnoteBootForm::noteMessage(message, wParam, lParam);
    switch (message) {
    case pk_note::NM_NOTEREFRESH:
        if (QuerySaveChanges()) {
            SetInitMode(wParam != 0);
            ReloadNote();
        }
        return pk_note::S_OK;
    case pk_note::NM_NOTEOPEN:
        QuerySaveChanges();
        SetInitMode(wParam != 0);
        if (HasPrivilege(2, false)) {
            NewNote();
        } else if (HasPrivilege(1, false)) {
            LoadNote(LastNoteID());
        } else {
            ShowError(QStringLiteral("对不起,你没有编辑和浏览的权限."));
            return pk_note::E_FAIL;
        }
        return pk_note::S_OK;
    case pk_note::NM_NOTELOCATE:
        QuerySaveChanges();
        SetInitMode(wParam != 0);
        LoadNote(int(lParam));
        return pk_note::S_OK;
    default:
        return pk_note::S_OK;
    }
}

// =========================================================================== navigation

int TBasenoteForm::navigationQuery(const QString &aggregate, const QString &comparison, int id)
{
    QString sql = QStringLiteral("Select ") + aggregate + QStringLiteral("(") + m_asKeyField + QStringLiteral(") from ")
                  + m_asTableName + QStringLiteral(" Where ");
    if (!comparison.isEmpty())
        sql += m_asKeyField + comparison + QString::number(id) + QStringLiteral(" and ");
    sql += m_asKeyField + QStringLiteral(" > ") + QString::number(m_iKeyLower) + QStringLiteral(" and ") + m_asKeyField
           + QStringLiteral(" < ") + QString::number(m_iKeyUpper);
    if (!GetUPrivilegeItem(2091, 5))
        sql += QStringLiteral(" and operateid=") + QString::number(g_iUserID);
    try {
        return scalarOf(sql).toInt();
    } catch (const std::exception &e) {
        ShowError(e);
        return 0;
    }
}

int TBasenoteForm::LastNoteID() { return navigationQuery(m_bInitMode ? QStringLiteral("min") : QStringLiteral("max"), {}, 0); }
int TBasenoteForm::FirstNoteID() { return navigationQuery(m_bInitMode ? QStringLiteral("max") : QStringLiteral("min"), {}, 0); }

int TBasenoteForm::PriorNoteID(int id)
{
    return m_bInitMode ? navigationQuery(QStringLiteral("min"), QStringLiteral(">"), id)
                       : navigationQuery(QStringLiteral("max"), QStringLiteral("<"), id);
}

int TBasenoteForm::NextNoteID(int id)
{
    return m_bInitMode ? navigationQuery(QStringLiteral("max"), QStringLiteral("<"), id)
                       : navigationQuery(QStringLiteral("min"), QStringLiteral(">"), id);
}

bool TBasenoteForm::NextNote()
{
    if (!QuerySaveChanges())
        return false;
    if (m_bNewNote)
        return AppendBlankNote();
    const int next = NextNoteID(m_iCurrentNoteID);
    if (next != 0)
        return LoadNote(next);
    if (m_bInitMode && !PeriodIsStartPeriod())
        return false;
    if (IsPosOrInvoiceType(noteType))
        return false;
    if (GetUPrivilegeItem(2000 + noteType, 2))
        return LoadNote(kNewNoteID);
    ReloadNote();
    return false;
}

bool TBasenoteForm::PriorNote()
{
    if (m_bNewNote)
        return LastNote();
    if (!QuerySaveChanges())
        return false;
    const int prior = PriorNoteID(m_iCurrentNoteID);
    return prior != 0 && LoadNote(prior);
}

bool TBasenoteForm::FirstNote()
{
    if (!QuerySaveChanges())
        return false;
    const int first = FirstNoteID();
    return first != 0 && LoadNote(first);
}

bool TBasenoteForm::LastNote()
{
    const int last = LastNoteID();
    if (last == 0)
        return false;
    if (!QuerySaveChanges())
        return false;
    return LoadNote(last);
}

// =========================================================================== save

bool TBasenoteForm::IsNoteModified()
{
    if (!cdsMaster->Active())
        return false;
    const DataSetState state = cdsMaster->State();
    if (state == DataSetState::Edit || state == DataSetState::Insert) {
        // The focused control's typed text belongs to the note.
        QWidget *focus = QApplication::focusWidget();
        if (focus && isAncestorOf(focus)) {
            if (auto *e = qobject_cast<TRqDBEdit *>(focus))
                e->UpdateRecord();
            else if (auto *e = qobject_cast<TRqDBMemo *>(focus))
                e->UpdateRecord();
        }
    }
    return m_bModifiedAtSave || cdsMaster->Modified() || cdsMaster->ChangeCount() > 0;
}

bool TBasenoteForm::QuerySaveChanges()
{
    if (!IsNoteModified())
        return true;
    if (ShowYesNoCancelQuestion(QStringLiteral("数据没有保存，保存数据？")) == AnswerYes)
        return SaveNote();
    CancelNote();
    return true;
}

void TBasenoteForm::PrepareSave()
{
    Field *f = MasterField(QStringLiteral("UPDATETIME"));
    if (!f)
        return;
    cdsMaster->Edit();
    SetFieldValueSilent(f, GetSystemTime());
}

bool TBasenoteForm::CanSaveNote()
{
    if (!HasPrivilege(2, true))
        return false;
    return ValidateNote();
}

bool TBasenoteForm::ValidateNote()
{
    for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
        Field *f = cdsMaster->FieldAt(i);
        if (!f->Required() || f->Calculated())
            continue;
        const bool isText = f->DataType() == data::FieldType::String || f->DataType() == data::FieldType::Memo;
        if (f->IsNull() || (isText && f->AsString().isEmpty())) {
            ShowError(QStringLiteral("字段:[") + f->DisplayLabel() + QStringLiteral("]不能为空."));
            if (QWidget *w = controlOfField(f->FieldName()))
                w->setFocus();
            return false;
        }
    }
    const qint64 emp = MasterValue(QStringLiteral("EMPID"), 0).toLongLong();
    const qint64 dep = MasterValue(QStringLiteral("DEPID"), 0).toLongLong();
    if (cmbDepartment->isVisibleTo(this) && emp != 0 && dep != 0) {
        const qint64 d = scalarOf(QStringLiteral("select DEPID from employlth where EMPID = ") + QString::number(emp)).toLongLong();
        if (d != 0 && d != dep)
            ShowInformation(QStringLiteral("此业务员：") + cmbEmp->text() + QStringLiteral(" 不属于 ") + cmbDepartment->text()
                            + QStringLiteral(" 部门的！"));
    }
    struct BranchRule {
        const char *field;
        const char *sql;
        const char *message;
    };
    static const BranchRule rules[] = {
        {"partnerID", "select shoperateid from partnerlth where partnerid=", "不能引用分支机构的往来单位"},
        {"BuildingID", "select shoperateid from storelth where BuildingID=", "不能引用分支机构的仓库"},
        {"AccountID", "select shoperateid from accountacth where accountid=", "不能引用分支机构的帐户"},
    };
    for (const BranchRule &r : rules) {
        const qint64 id = MasterValue(QString::fromLatin1(r.field), 0).toLongLong();
        if (id != 0 && scalarOf(QString::fromLatin1(r.sql) + QString::number(id)).toLongLong() != 0) {
            ShowError(QString::fromUtf8(r.message));
            return false;
        }
    }
    return !NoteDateLocked(true);
}

void TBasenoteForm::AssignNoteKey()
{
    // Only a new note gets a key; kinds with lines number them here too.
    const bool isNew = MasterValue(m_asKeyField, kNewNoteID).toLongLong() == kNewNoteID
                       || cdsMaster->State() == DataSetState::Insert || m_bNewNote;
    if (!isNew)
        return;
    qint64 key;
    if (m_bInitMode) {
        const qint64 m = scalarOf(QStringLiteral("select min(") + m_asKeyField + QStringLiteral(") from ") + m_asTableName)
                             .toLongLong();
        key = std::min<qint64>(m, 0) - 1;
    } else {
        key = GetNewKeyValue(m_asTableName);
    }
    cdsMaster->Edit();
    cdsMaster->FieldByName(m_asKeyField)->SetValue(key);
}

bool TBasenoteForm::SaveNote()
{
    if (cdsMaster->Active() && cdsMaster->Modified())
        m_bModifiedAtSave = true;
    if (!IsNoteModified())
        return true;
    if (IsOtherUsersNote())
        return true;
    try {
        PrepareSave();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    if (!CanSaveNote())
        return false;
    const bool isNew = MasterValue(m_asKeyField, kNewNoteID).toLongLong() == kNewNoteID
                       || cdsMaster->State() == DataSetState::Insert || m_bNewNote;
    try {
        AssignNoteKey();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    if (!ApplyNote(1))
        return false;
    AfterSaveNote();
    if (isNew)
        SendNoteMessage(1);
    return true;
}

bool TBasenoteForm::ApplyNote(int action)
{
    try {
        if (cdsMaster->State() == DataSetState::Edit || cdsMaster->State() == DataSetState::Insert)
            cdsMaster->Post();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_iApplyNoteID = action == 2 ? m_iCurrentNoteID : int(MasterValue(m_asKeyField, m_iCurrentNoteID).toLongLong());
    if (!SetLock(QStringLiteral("NOTELOCK"), true, true))
        return false;
    ClientDataSet::Event afterScroll = std::move(cdsMaster->AfterScroll);
    cdsMaster->AfterScroll = nullptr;
    try {
        BeginTran();
        if (action == 1)
            EnsureUniqueNoteCode();
        PostPendingRecords(action);
        cdsMaster->CheckBrowseMode();
        if (cdsMaster->ChangeCount() > 0 && cdsMaster->ApplyUpdates(0) > 0)
            throw PubError(QStringLiteral("保存失败."));
        AfterApplyNote(action);
        CommitTran();
        cdsMaster->MergeChangeLog();
        m_bModifiedAtSave = false;
    } catch (const std::exception &e) {
        if (InTransaction())
            RollbackTran();
        UndoNoteCodeRenumbering();
        cdsMaster->AfterScroll = std::move(afterScroll);
        SetLock(QStringLiteral("NOTELOCK"), false, false);
        ShowError(e);
        return false;
    }
    cdsMaster->AfterScroll = std::move(afterScroll);
    SetLock(QStringLiteral("NOTELOCK"), false, false);
    return true;
}

void TBasenoteForm::PostPendingRecords(int)
{
    if (cdsMaster->State() == DataSetState::Edit || cdsMaster->State() == DataSetState::Insert)
        cdsMaster->Post();
    if (!cdsMaster->IsEmpty() && cdsMaster->GetUpdateStatus() == data::UpdateStatus::Inserted) {
        cdsMaster->First();
        cdsMaster->Edit();
        cdsMaster->Post();
    }
}

void TBasenoteForm::AfterApplyNote(int action)
{
    if (noteType == 64)
        return;
    const QString id = QString::number(m_iApplyNoteID);
    const QString type = QString::number(noteType);
    if (action == 1) {
        AutoQuery q = CreateAutoQuery(QStringLiteral("select noteCode,noteDate,operateid from ") + m_asTableName
                                      + QStringLiteral(" where noteID=") + id);
        if (q->IsEmpty())
            return;
        const QDate date = q->FieldByName(QStringLiteral("noteDate")).AsDate();
        SqlExecuteNoTran(QStringLiteral("exec usrprocnoteprintabth_insert ") + type + QStringLiteral(", ") + id
                         + QStringLiteral(",'") + q->FieldByName(QStringLiteral("noteCode")).AsString().replace(u'\'', QStringLiteral("''"))
                         + QStringLiteral("','") + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("',")
                         + QString::number(q->FieldByName(QStringLiteral("operateid")).AsInteger()));
    } else if (action == 2) {
        SqlExecuteNoTran(QStringLiteral("exec usrprocnoteprintabth_delete ") + type + QStringLiteral(", ") + id);
    }
}

void TBasenoteForm::AfterSaveNote()
{
    // The saved note holds its number now; the reservation is no longer needed.
    ReleaseReservedNoteCode();
    m_bNewNote = false;
    m_iCurrentNoteID = int(MasterValue(m_asKeyField, kNewNoteID).toLongLong());
    UpdateControlStates(QString());
}

void TBasenoteForm::CancelNote()
{
    const bool wasNew = cdsMaster->Active() && cdsMaster->State() == DataSetState::Insert;
    if (cdsMaster->Active()) {
        cdsMaster->Cancel();
        cdsMaster->CancelUpdates();
    }
    m_bModifiedAtSave = false;
    if (InTransaction())
        RollbackTran();
    if (wasNew || m_bNewNote)
        ReleaseReservedNoteCode();
}

bool TBasenoteForm::CanEditNote()
{
    return !m_bReadOnly && MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 && HasPrivilege(2, false);
}

bool TBasenoteForm::DeleteNote()
{
    if (!cdsMaster->Active() || (cdsMaster->IsEmpty() && cdsMaster->State() != DataSetState::Insert))
        return false;
    if (IsOtherUsersNote()) {
        ShowError(QStringLiteral("只能修改自己的单据."));
        return false;
    }
    if (!CanEditNote() || ShowYesNoQuestion(QStringLiteral("是否确认删除数据？")) != AnswerYes)
        return false;
    if (m_bNewNote || m_iCurrentNoteID == kNewNoteID) {
        CancelNote();
        AppendBlankNote();
        return true;
    }
    const int id = m_iCurrentNoteID;
    try {
        cdsMaster->Delete();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    if (!ApplyNote(2)) {
        cdsMaster->Cancel();
        cdsMaster->CancelUpdates();
        LoadNote(id);
        return false;
    }
    SendNoteMessage(2);
    NextNote();
    return true;
}

// =========================================================================== audit and void

bool TBasenoteForm::showPeriodRule(const QString &message)
{
    if (m_bInitMode || exemptFromPeriodRule(noteType))
        return false;
    const QDate date = MasterValue(QStringLiteral("noteDate")).toDate();
    if (date.isValid() && date < GetFirstDayOfPosMonth()) {
        ShowError(message);
        return true;
    }
    return false;
}

namespace {

// The messages of one direction of the audit rules.
struct AuditRuleTexts {
    const char *ownNotesOnly;
    const char *beforePeriod;
    const char *closed[3]; // partner, department, employee
};

const AuditRuleTexts kCheckTexts = {
    "只能审核自己的单据.",
    "单据的日期在本业务期间之前,不能对其进行审核.",
    {"此单往来单位已经被停用不能审核。", "此单部门已经被停用不能审核。", "此单员工已经被停用不能审核。"},
};
const AuditRuleTexts kUncheckTexts = {
    "只能反审核自己的单据.",
    "单据的日期在本业务期间之前,不能对其进行反审核.",
    {"此单往来单位已经被停用不能反审核。", "此单部门已经被停用不能反审核。", "此单员工已经被停用不能反审核。"},
};

} // namespace

bool TBasenoteForm::auditRulesAllow(bool check)
{
    const AuditRuleTexts &t = check ? kCheckTexts : kUncheckTexts;
    if (IsOtherUsersNote()) {
        ShowError(QString::fromUtf8(t.ownNotesOnly));
        return false;
    }
    if (showPeriodRule(QString::fromUtf8(t.beforePeriod)))
        return false;
    static const struct {
        const char *field;
        const char *sql;
    } closedChecks[] = {
        {"partnerID", "select Closed from partnerlth where partnerID="},
        {"DEPID", "select Closed from departmentlth where DEPID="},
        {"empid", "select Closed from employlth where empid="},
    };
    for (int i = 0; i < 3; ++i) {
        const QVariant id = MasterValue(QString::fromLatin1(closedChecks[i].field));
        if (!id.isNull() && scalarOf(QString::fromLatin1(closedChecks[i].sql) + idText(id)).toInt() == 1) {
            ShowError(QString::fromUtf8(t.closed[i]));
            return false;
        }
    }
    if (!HasPrivilege(6, check))
        return false;
    if (MasterValue(QStringLiteral("operateid"), 0).toInt() == g_iUserID && sysParamInt("chkorIsSame") == 0) {
        ShowError(QStringLiteral("系统不允许制单人和审核人为同一个人."));
        return false;
    }
    return !NoteDateLocked(false);
}

bool TBasenoteForm::CanCheckNote() { return auditRulesAllow(true); }

bool TBasenoteForm::CanUncheckNote() { return auditRulesAllow(false); }

bool TBasenoteForm::changeNoteState(const QString &updateHead, int messageKind)
{
    // The guard on the old state inside the statement makes a concurrent change
    // harmless: the reload shows the real state either way.
    try {
        SqlExecute(QStringLiteral("Update ") + m_asTableName + updateHead + m_asKeyField + QStringLiteral("=")
                   + QString::number(m_iCurrentNoteID));
    } catch (const std::exception &e) {
        ShowError(e);
        ReloadNote();
        return false;
    }
    ReloadNote();
    SendNoteMessage(messageKind);
    return true;
}

bool TBasenoteForm::CheckNote()
{
    if (IsNoteModified() || m_bNewNote || m_iCurrentNoteID == kNewNoteID)
        return false;
    bool allowed = false;
    try {
        allowed = CanCheckNote();
    } catch (const std::exception &e) {
        ShowError(e);
    }
    if (!allowed) {
        ReloadNote();
        return false;
    }
    return changeNoteState(QStringLiteral(" Set noteState=1, chkorid=") + QString::number(g_iUserID)
                               + QStringLiteral(" where noteState=0 and "),
                           3);
}

bool TBasenoteForm::UncheckNote()
{
    try {
        if (!CanUncheckNote())
            return false;
    } catch (const std::exception &e) {
        ShowError(e);
        ReloadNote();
        return false;
    }
    return changeNoteState(QStringLiteral(" Set noteState=0, chkorid=null where noteState=1 and "), 4);
}

bool TBasenoteForm::voidRulesAllow(bool abate)
{
    if (IsOtherUsersNote()) {
        ShowError(abate ? QStringLiteral("只能作废自己的单据.") : QStringLiteral("只能反作废自己的单据."));
        return false;
    }
    if (showPeriodRule(abate ? QStringLiteral("单据的日期在本业务期间之前,不能对其进行作废.")
                             : QStringLiteral("单据的日期在本业务期间之前,不能对其进行反作废.")))
        return false;
    // Only an entered note can be voided, only a void one restored; no message.
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != (abate ? 0 : 2))
        return false;
    if (!HasPrivilege(7, true))
        return false;
    // Kept in the rule order users know, though the first rule already refuses
    // another user's note.
    if (IsOtherUsersNote()) {
        ShowError(QStringLiteral("对不起,你没有编辑别人单据的权限!"));
        return false;
    }
    return !NoteDateLocked(false);
}

bool TBasenoteForm::CanAbateNote() { return voidRulesAllow(true); }

bool TBasenoteForm::CanUnabateNote() { return voidRulesAllow(false); }

bool TBasenoteForm::AbateNote()
{
    if (IsNoteModified() || m_bNewNote || m_iCurrentNoteID == kNewNoteID)
        return false;
    try {
        if (!CanAbateNote())
            return false;
    } catch (const std::exception &e) {
        ShowError(e);
        ReloadNote();
        return false;
    }
    return changeNoteState(QStringLiteral(" Set noteState=2 where noteState=0 and "), 5);
}

bool TBasenoteForm::UnabateNote()
{
    try {
        if (!CanUnabateNote())
            return false;
    } catch (const std::exception &e) {
        ShowError(e);
        ReloadNote();
        return false;
    }
    return changeNoteState(QStringLiteral(" Set noteState=0 where  noteState=2 and "), 6);
}

// =========================================================================== note messages

void TBasenoteForm::GetMessageRecipients(int kind, QList<int> &recipients)
{
    switch (kind) {
    case 1: {
        QStringList users;
        QnParams params;
        params.AddValue(QStringLiteral("iModId"), 2000 + noteType);
        params.AddValue(QStringLiteral("iPrtypesid"), 6);
        params.AddValue(QStringLiteral("UserNameList"), QnVariant::fromPointer(&users));
        GlobalCall(QStringLiteral("GETUSERLIST"), QString(), &params);
        for (const QString &u : std::as_const(users)) {
            bool ok = false;
            const int id = u.trimmed().toInt(&ok);
            if (ok)
                recipients << id;
        }
        break;
    }
    case 4:
    case 5:
        if (const QVariant op = MasterValue(QStringLiteral("operateid")); !op.isNull())
            recipients << op.toInt();
        break;
    case 6:
        if (const QVariant chk = MasterValue(QStringLiteral("CHKORID")); !chk.isNull())
            recipients << chk.toInt();
        break;
    default:
        break;
    }
}

void TBasenoteForm::SendNoteMessage(int kind)
{
    if (LookupSysParam(QStringLiteral("UseMsg")) == QLatin1String("0"))
        return;
    const QString type = QString::number(noteType);
    const int noteId = kind == 2 ? m_iApplyNoteID : m_iCurrentNoteID;
    const QString id = QString::number(noteId);
    try {
        SqlExecute(QStringLiteral("delete from notemsginfthDETAIL where MSGID in (select MSGID from notemsginfth where FROMNOTETYPE=")
                   + type + QStringLiteral(" and FROMNOTEID=") + id + QStringLiteral(")"));
        if (kind == 2) {
            SqlExecute(QStringLiteral("delete from notemsginfth where fromnotetype=") + type + QStringLiteral(" and  fromnoteid=") + id);
            return;
        }
        QString suffix;
        switch (kind) {
        case 1: suffix = QStringLiteral("已制作,请审核."); break;
        case 3: suffix = QStringLiteral("已审核."); break;
        case 4: suffix = QStringLiteral("已反审核,请查看."); break;
        case 5: suffix = QStringLiteral("已作废,请查看."); break;
        case 6: suffix = QStringLiteral("已反作废,请查看."); break;
        default: return;
        }
        QList<int> recipients;
        GetMessageRecipients(kind, recipients);
        recipients.removeAll(g_iUserID);
        if (recipients.isEmpty())
            return;
        const QString text = NoteTypeName(noteType) + QStringLiteral("[") + MasterValue(QStringLiteral("NOTECODE")).toString()
                             + QStringLiteral("]") + suffix;
        const qint64 msgId = GetNewKeyValue(QStringLiteral("notemsginfth"));
        RequireDB().exec(QStringLiteral("Insert into notemsginfth values (:iMsgId, :asMsg, :inoteType, :inoteID, :dnoteDate, :iUserId)"),
                         {{QStringLiteral("iMsgId"), msgId},
                          {QStringLiteral("asMsg"), text},
                          {QStringLiteral("inoteType"), noteType},
                          {QStringLiteral("inoteID"), noteId},
                          {QStringLiteral("dnoteDate"), QDateTime::currentDateTime()},
                          {QStringLiteral("iUserId"), g_iUserID}});
        for (int r : std::as_const(recipients))
            SqlExecute(QStringLiteral("Insert into notemsginfthdetail values (") + QString::number(msgId) + QStringLiteral(", ")
                       + QString::number(r) + QStringLiteral(", 0)"));
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

// =========================================================================== printing and copying

bool TBasenoteForm::ChooseReportStyle(TCorvanReportStyle *) { return false; }
void TBasenoteForm::SetReportVariables(TCorvanReportStyle *) {}

void TBasenoteForm::PrintNote(bool)
{
    // Saving first and the print privilege; the report itself belongs to the
    // printing unit, which overrides this operation.
    if (IsNoteModified()) {
        if (ShowYesNoQuestion(QStringLiteral("打印前必须先保存单据, 是否继续?")) != AnswerYes)
            return;
        if (!SaveNote())
            return;
        LoadNote(m_iCurrentNoteID);
    }
    if (!HasPrivilege(3, true) || m_bPrinting)
        return;
    ShowInformation(QStringLiteral("尚未提供此功能")); // until the printing unit overrides this
}

bool TBasenoteForm::CanCloneNote() { return false; }

void TBasenoteForm::CloneNote(int id)
{
    AutoQuery q = CreateAutoQuery(QStringLiteral("select * from ") + m_asTableName + QStringLiteral(" where ") + m_asKeyField
                                  + QStringLiteral("=") + QString::number(id));
    if (q->IsEmpty())
        return;
    if (!NewNote())
        return;
    static const QStringList kept = {
        QStringLiteral("NOTEID"),    QStringLiteral("CHKORID"),  QStringLiteral("NOTESTATE"), QStringLiteral("CPARTNERID"),
        QStringLiteral("SHOPERATEID"), QStringLiteral("REFERCOUNT"), QStringLiteral("UPFLAG"), QStringLiteral("CREDID"),
        QStringLiteral("OPERATEID"), QStringLiteral("BTURNNOTEID"), QStringLiteral("REFERQTY"), QStringLiteral("IOQTY"),
        QStringLiteral("REFERAMT"),  QStringLiteral("CLOSED"),   QStringLiteral("CLOSEFILL"), QStringLiteral("FILLTYPE"),
        QStringLiteral("FILLAMT"),   QStringLiteral("NOTEDATE"), QStringLiteral("NOTECODE"),  QStringLiteral("PAYDAY")};
    cdsMaster->Edit();
    for (const QString &column : q->FieldNames()) {
        if (kept.contains(column, Qt::CaseInsensitive) || column.compare(m_asKeyField, Qt::CaseInsensitive) == 0)
            continue;
        Field *f = MasterField(column);
        if (f && !f->Calculated())
            SetFieldValueSilent(f, q->FieldByName(column).Value());
    }
    m_bModifiedAtSave = true;
}

// =========================================================================== window

void TBasenoteForm::LoadFormSize()
{
    const QString cls = QString::fromLatin1(metaObject()->className()).toUpper();
    QWidget *frame = isWindow() || !parentWidget() ? this : parentWidget();
    const int w = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::WIDTH"), 0);
    const int h = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::HEIGHT"), 0);
    if (w <= 0 || h <= 0)
        return;
    const int l = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::LEFT"), frame->x());
    const int t = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::TOP"), frame->y());
    frame->setGeometry(l, t, w, h);
}

void TBasenoteForm::SaveFormSize()
{
    // The kind's class name, taken while the object was whole: a window never
    // shown has no size worth keeping.
    const QString cls = m_asClassName;
    if (cls.isEmpty())
        return;
    QWidget *frame = isWindow() || !parentWidget() ? this : parentWidget();
    try {
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::LEFT"), frame->x());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::TOP"), frame->y());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::WIDTH"), frame->width());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::HEIGHT"), frame->height());
    } catch (const std::exception &) {
        // A read-only program folder must not keep a window from closing.
    }
}

void TBasenoteForm::RemarkKeyDown(QKeyEvent *) {}

void TBasenoteForm::showEvent(QShowEvent *e)
{
    TnoteBootForm::showEvent(e);
    if (m_bFirstActive) {
        m_bFirstActive = false;
        m_asClassName = QString::fromLatin1(metaObject()->className()).toUpper();
        LoadFormSize();
    }
}

void TBasenoteForm::closeEvent(QCloseEvent *e)
{
    setFocus(); // pending control edits reach their fields
    if (g_bForceCloseForm) {
        e->accept();
        return;
    }
    if (!QuerySaveChanges()) {
        e->ignore();
        return;
    }
    ReleaseReservedNoteCode();
    e->accept();
}

// =========================================================================== published handlers

void TBasenoteForm::OkBtnClick() { SaveNote(); }

void TBasenoteForm::SaveAddBtnClick()
{
    if (SaveNote())
        NewNote();
}

void TBasenoteForm::CancelBtnClick()
{
    if (QuerySaveChanges())
        close();
}

void TBasenoteForm::CheckBtnClick()
{
    if (IsNoteModified()) {
        if (ShowYesNoQuestion(QStringLiteral("审核前必须先保存单据, 是否继续?")) != AnswerYes)
            return;
        if (!SaveNote())
            return;
    }
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1) {
        if (CheckNote()) {
            UpdateControlStates(QString());
            NextNote();
        }
    } else if (UncheckNote()) {
        UpdateControlStates(QString());
    }
}

void TBasenoteForm::muAbateClick()
{
    if (IsNoteModified()) {
        if (ShowYesNoQuestion(QStringLiteral("作废前必须先保存单据, 是否继续?")) != AnswerYes)
            return;
        if (!SaveNote())
            return;
    }
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (state == 1)
        return;
    if (state == 2 ? UnabateNote() : AbateNote())
        UpdateControlStates(QString());
}

void TBasenoteForm::muAppendClick() { NewNote(); }
void TBasenoteForm::muDeleteClick() { DeleteNote(); }
void TBasenoteForm::muNextClick() { NextNote(); }
void TBasenoteForm::btnPrevClick() { PriorNote(); }
void TBasenoteForm::muFirstClick() { FirstNote(); }
void TBasenoteForm::muLastClick() { LastNote(); }

void TBasenoteForm::muRefreshClick()
{
    if (QuerySaveChanges())
        ReloadNote();
}

void TBasenoteForm::muSelectnoteClick() { SelectSourceNote(); }
void TBasenoteForm::btnPropertyClick() { ShowNoteProperties(); }

void TBasenoteForm::btnFindClick()
{
    if (!pk_note::FormClassFactory(QStringLiteral("TFindnoteForm")))
        return ShowInformation(QStringLiteral("尚未提供此功能"));
    QnParams params;
    params.AddValue(QStringLiteral("NOTETYPE"), noteType);
    GlobalCall(QStringLiteral("FINDNOTE"), QString(), &params);
}

void TBasenoteForm::PrintPMItemClick() { PrintNote(true); }
void TBasenoteForm::PrintPreviewPMItemClick() { PrintNote(false); }

void TBasenoteForm::muClonenoteClick()
{
    if (!CanCloneNote()) {
        ShowError(QStringLiteral("本单据不能进行复制."));
        return;
    }
    const int id = m_iCurrentNoteID;
    if (QuerySaveChanges())
        CloneNote(id);
}
