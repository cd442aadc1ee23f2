#include "MDnote.h"

#include "NoteReport.h"
#include "NoteMessages.h"

#include "Notepublic.h"
#include "Pub.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <cmath>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

using data::ClientDataSet;
using data::DataSetState;
using data::Field;
using widgets::TRqDBGrid;

namespace {

bool isEditing(const ClientDataSet *ds)
{
    return ds->State() == DataSetState::Edit || ds->State() == DataSetState::Insert;
}

QString typeWord(data::FieldType type)
{
    switch (type) {
    case data::FieldType::Boolean: return QStringLiteral("布尔型");
    case data::FieldType::Float: return QStringLiteral("数值型");
    case data::FieldType::Integer: return QStringLiteral("整型");
    case data::FieldType::Date:
    case data::FieldType::DateTime: return QStringLiteral("时间型");
    case data::FieldType::Blob: return QStringLiteral("流字段型");
    default: return QStringLiteral("字符类型");
    }
}

} // namespace

// =========================================================================== construction

TMDnoteForm::TMDnoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail, QWidget *owner)
    : TBasenoteForm(resource, owner), m_detailResource(&detail)
{
    buildDetail(detail);
    m_asDetailSelect = qryDetail->SQL();
    m_asDetailTable = detail.detailTable && *detail.detailTable ? QString::fromLatin1(detail.detailTable)
                                                                 : DetailTableOfSql(m_asDetailSelect);
    // Until a note is shown the line query must not read the whole table.
    m_asDetailWhere = QStringLiteral(" Where m.") + m_asKeyField + QStringLiteral("=") + QString::number(kNewNoteID);
    m_iTempItemsNo = -1;
    m_bDetailChanged = false;
    m_CustomFields = {QStringLiteral("CUSTDEF1"), QStringLiteral("CUSTDEF2"), QStringLiteral("CUSTDEF3"),
                      QStringLiteral("CUSTDEF4"), QStringLiteral("CUSTDEF5")};
    btnPrev->setText(QStringLiteral("前翻"));
    btnNext->setText(QStringLiteral("后翻"));
    if (auto *maker = findChild<QLabel *>(QStringLiteral("lbledoperatename")))
        maker->setText(QStringLiteral("开单人"));
    // A new kind of note takes none of the old lines; a new partner keeps
    // only the lines not taken from the old partner's documents.
    AddMasterRule(QStringLiteral("NOTEKIND"), [this](Field &) {
        if (!cdsDetail->Active() || cdsDetail->IsEmpty())
            return;
        RemoveReferredLines(false);
        ItemGrid->SetSelectedColumn(0);
    });
    AddMasterRule(QStringLiteral("PARTNERID"), [this](Field &) {
        if (cdsDetail->Active() && !cdsDetail->IsEmpty())
            RemoveReferredLines(true);
    });
}

TMDnoteForm::~TMDnoteForm()
{
    // The data set's events call back into this object: detach them first.
    ItemGrid->SetDataSource(nullptr);
    detachDetailEvents();
    for (int i = 0; i < cdsDetail->FieldCount(); ++i) {
        cdsDetail->FieldAt(i)->OnChange = nullptr;
        cdsDetail->FieldAt(i)->OnValidate = nullptr;
    }
}

void TMDnoteForm::detachDetailEvents()
{
    cdsDetail->AfterOpen = nullptr;
    cdsDetail->AfterScroll = nullptr;
    cdsDetail->BeforePost = nullptr;
    cdsDetail->AfterPost = nullptr;
    cdsDetail->OnCalcFields = nullptr;
    cdsDetail->OnNewRecord = nullptr;
}

void TMDnoteForm::buildDetail(const mdnote::DetailResource &detail)
{
    qryDetail = new TBasenoteQuery(QStringLiteral("qryDetail"), this);
    qryDetail->SetSQL(QString::fromUtf8(detail.detailSql));
    DetailProvider = new QObject(this);
    DetailProvider->setObjectName(QStringLiteral("DetailProvider"));
    DetailProvider->setProperty("DataSet", QStringLiteral("qryDetail"));
    cdsDetail = new ClientDataSet(StartupDB(), this);
    cdsDetail->setObjectName(QStringLiteral("cdsDetail"));
    dsDetail = new data::DataSource(cdsDetail, this);
    dsDetail->setObjectName(QStringLiteral("dsDetail"));

    ItemGrid = new TRqDBGrid(this, QStringLiteral("ItemGrid"));
    ItemGrid->setMinimumHeight(detail.gridMinimumHeight);
    // The number column shows the line; a row header sized to 1,000 row
    // numbers would cost more than reading the lines.
    ItemGrid->verticalHeader()->hide();
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
    ItemGrid->SetAllowAppend(true);
    // Lines are removed only through DeleteDetailLine, which guards referred lines.
    ItemGrid->SetAllowDelete(false);
    ItemGrid->SetEditButtonKey(QKeySequence(Qt::Key_Insert));
    QVector<mdnote::ResolvedColumn> columns;
    for (const mdnote::DetailColumn &declared : detail.columns)
        columns.append(mdnote::ResolveColumn(declared));
    for (const mdnote::ResolvedColumn &c : std::as_const(columns)) {
        widgets::GridColumn &column = ItemGrid->AddColumn(c.field, c.caption, c.width);
        column.DisplayFormat = c.displayFormat;
        column.ReadOnly = c.readOnly;
        column.Visible = c.visible;
        column.EllipsisButton = c.ellipsis;
        m_columnDefinitions.insert(c.field.toUpper(), {c.caption, c.displayFormat, c.required});
    }
    ItemGrid->ColumnsChanged();
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].total)
            ItemGrid->SetFooterSum(i, columns[i].displayFormat.isEmpty() ? QStringLiteral("#0.00") : columns[i].displayFormat);
    // The edit buttons of the cells run the handler the kind gave the column.
    ItemGrid->SetEditButtonHandler([this](widgets::TRqDBGrid *grid, int column) {
        if (ReadOnly() || column < 0 || column >= grid->ColumnCount())
            return;
        const auto it = m_columnButtons.constFind(grid->Column(column).FieldName.toUpper());
        if (it != m_columnButtons.constEnd())
            it.value()();
    });
    QFont footerFont = ItemGrid->FooterFont();
    footerFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    ItemGrid->SetFooterFont(footerFont);
    ItemGrid->SetFooterVisible(true);
    placeFooterCaption();
    ItemGrid->SetDataSource(dsDetail);
    CenterLayout()->addWidget(ItemGrid, 1);

    using K = QKeySequence;
    muColumnsSetting = new QAction(QStringLiteral("设置列..."), noteMenu);
    muColumnsSetting->setObjectName(QStringLiteral("muColumnsSetting"));
    noteMenu->addSeparator();
    noteMenu->addAction(muColumnsSetting);

    DetailMenu = new QMenu(this);
    DetailMenu->setObjectName(QStringLiteral("DetailMenu"));
    muAppendDetail = new QAction(QStringLiteral("增加明细"), DetailMenu);
    muAppendDetail->setObjectName(QStringLiteral("muAppendDetail"));
    muAppendDetail->setShortcut(K(Qt::SHIFT | Qt::Key_Insert));
    muDeleteDetail = new QAction(QStringLiteral("删除明细"), DetailMenu);
    muDeleteDetail->setObjectName(QStringLiteral("muDeleteDetail"));
    muDeleteDetail->setShortcut(K(Qt::SHIFT | Qt::Key_Delete));
    for (QAction *a : {muAppendDetail, muDeleteDetail}) {
        // The form's actions own the keys; the menu only shows them.
        a->setShortcutContext(Qt::WidgetShortcut);
        DetailMenu->addAction(a);
    }
    ItemGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ItemGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { DetailMenu->popup(ItemGrid->viewport()->mapToGlobal(at)); });

    actDetailInsert = new QAction(QStringLiteral("增加明细"), this);
    actDetailInsert->setObjectName(QStringLiteral("actDetailInsert"));
    actDetailInsert->setShortcut(K(Qt::SHIFT | Qt::Key_Insert));
    actDetailInsert->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(actDetailInsert);

    connect(muColumnsSetting, &QAction::triggered, this, &TMDnoteForm::muColumnsSettingClick);
    connect(muAppendDetail, &QAction::triggered, this, &TMDnoteForm::muAppendDetailClick);
    connect(muDeleteDetail, &QAction::triggered, this, &TMDnoteForm::muDeleteDetailClick);
    connect(actDetailInsert, &QAction::triggered, this, &TMDnoteForm::actDetailInsertExecute);
    connect(actDel, &QAction::triggered, this, &TMDnoteForm::actDelExecute);
}

void TMDnoteForm::placeFooterCaption()
{
    int first = -1;
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i) {
        widgets::GridColumn &c = ItemGrid->Column(i);
        if (c.FooterKind == widgets::GridColumn::Footer::Text) {
            c.FooterKind = widgets::GridColumn::Footer::None;
            c.FooterText.clear();
        }
        if (first < 0 && c.Visible)
            first = i;
    }
    if (first >= 0 && ItemGrid->Column(first).FooterKind == widgets::GridColumn::Footer::None)
        ItemGrid->SetFooterCaption(first, QStringLiteral("合 计"));
}

// =========================================================================== helpers

Field *TMDnoteForm::DetailField(const QString &name) const
{
    return cdsDetail->Active() ? cdsDetail->FindField(name) : nullptr;
}

QVariant TMDnoteForm::DetailValue(const QString &name, const QVariant &defaultValue) const
{
    if (!cdsDetail->Active() || (cdsDetail->IsEmpty() && cdsDetail->State() != DataSetState::Insert))
        return defaultValue;
    return GetFieldValue(DetailField(name), defaultValue);
}

void TMDnoteForm::AppendDetailLine()
{
    if (m_bReadOnly || !cdsDetail->Active() || ItemGrid->ReadOnly())
        return;
    try {
        // An untouched new line is not followed by another one.
        if (cdsDetail->State() == DataSetState::Insert && !cdsDetail->Modified())
            return;
        cdsDetail->CheckBrowseMode();
        cdsDetail->Append();
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    ItemGrid->setFocus();
}

bool TMDnoteForm::GridAcceptsLineKeys() const
{
    // The grid itself has the focus: in an open cell editor Shift+Ins and
    // Shift+Del are the editor's paste and cut.
    if (QApplication::focusWidget() != ItemGrid || m_bReadOnly || ItemGrid->ReadOnly())
        return false;
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i)
        if (ItemGrid->Column(i).Visible && ItemGrid->CanEditColumn(i))
            return true;
    return false;
}

// =========================================================================== detail events

void TMDnoteForm::DetailAfterOpen(ClientDataSet &) { HookDetailFields(); }
void TMDnoteForm::DetailAfterScroll(ClientDataSet &) { DetailScrolled(); }
void TMDnoteForm::DetailBeforePost(ClientDataSet &) {}
void TMDnoteForm::DetailAfterPost(ClientDataSet &) { m_bDetailChanged = true; }
void TMDnoteForm::DetailCalcFields(ClientDataSet &) {}

void TMDnoteForm::DetailNewRecord(ClientDataSet &dataSet)
{
    auto set = [&dataSet](const QString &name, const QVariant &value) {
        Field *f = dataSet.FindField(name);
        if (f && !f->Calculated())
            SetFieldValueSilent(f, value);
    };
    set(m_asKeyField, MasterValue(m_asKeyField, kNewNoteID));
    set(QStringLiteral("ITEMSNO"), m_iTempItemsNo--);
    for (const char *name : {"APRICE", "ORIGPRICE", "PRICE", "QUANTITY", "TAXRATE", "AMOUNT", "TAXAMT", "COMMODITYAMT",
                             "REFERCOUNT", "REFERQTY", "IOQTY", "CLOSED"})
        set(QString::fromLatin1(name), 0);
    set(QStringLiteral("DISC"), 100);
}

void TMDnoteForm::DetailHook() {}

void TMDnoteForm::BeginDetailUpdate()
{
    if (m_iDetailUpdateDepth++ > 0)
        return;
    m_SavedAfterScroll = std::move(cdsDetail->AfterScroll);
    m_SavedBeforePost = std::move(cdsDetail->BeforePost);
    m_SavedAfterPost = std::move(cdsDetail->AfterPost);
    cdsDetail->AfterScroll = nullptr;
    cdsDetail->BeforePost = nullptr;
    cdsDetail->AfterPost = nullptr;
    m_iSavedGridColumn = ItemGrid->SelectedColumn();
    m_SavedGridSource = ItemGrid->DataSource();
    ItemGrid->SetDataSource(nullptr);
    m_SavedBookmark = cdsDetail->Active() && !cdsDetail->IsEmpty() ? cdsDetail->GetBookmark() : data::Bookmark{};
    cdsDetail->DisableControls();
}

void TMDnoteForm::EndDetailUpdate()
{
    if (m_iDetailUpdateDepth == 0 || --m_iDetailUpdateDepth > 0)
        return;
    cdsDetail->EnableControls();
    cdsDetail->AfterScroll = std::move(m_SavedAfterScroll);
    cdsDetail->BeforePost = std::move(m_SavedBeforePost);
    cdsDetail->AfterPost = std::move(m_SavedAfterPost);
    m_SavedAfterScroll = nullptr;
    m_SavedBeforePost = nullptr;
    m_SavedAfterPost = nullptr;
    if (cdsDetail->Active() && m_SavedBookmark.IsValid() && cdsDetail->BookmarkValid(m_SavedBookmark)
        && !isEditing(cdsDetail))
        cdsDetail->GotoBookmark(m_SavedBookmark);
    m_SavedBookmark = {};
    ItemGrid->SetDataSource(m_SavedGridSource);
    m_SavedGridSource = nullptr;
    if (m_iSavedGridColumn >= 0 && m_iSavedGridColumn < ItemGrid->ColumnCount())
        ItemGrid->SetSelectedColumn(m_iSavedGridColumn);
}

void TMDnoteForm::DetailFieldChange(Field &field) { m_detailRules.Run(field); }
void TMDnoteForm::DetailFieldValidate(Field &) {}

QString TMDnoteForm::GetDetailSql()
{
    if (m_asDetailSelect.isEmpty())
        return {};
    // Lines in their numbered order: a server keeps rows where their last
    // change put them, not where they were first written.
    return m_asDetailSelect + m_asDetailWhere + QStringLiteral(" order by m.ITEMSNO");
}

void TMDnoteForm::HookDetailEvents()
{
    cdsDetail->AfterOpen = [this](ClientDataSet &d) { DetailAfterOpen(d); };
    cdsDetail->AfterScroll = [this](ClientDataSet &d) { DetailAfterScroll(d); };
    cdsDetail->BeforePost = [this](ClientDataSet &d) { DetailBeforePost(d); };
    cdsDetail->AfterPost = [this](ClientDataSet &d) { DetailAfterPost(d); };
    cdsDetail->OnCalcFields = [this](ClientDataSet &d) { DetailCalcFields(d); };
    cdsDetail->OnNewRecord = [this](ClientDataSet &d) { DetailNewRecord(d); };
}

void TMDnoteForm::applyDetailDefinitions()
{
    for (int i = 0; i < cdsDetail->FieldCount(); ++i) {
        Field *f = cdsDetail->FieldAt(i);
        const auto it = m_columnDefinitions.constFind(f->FieldName().toUpper());
        if (it == m_columnDefinitions.constEnd())
            continue;
        if (!it->caption.isEmpty())
            f->SetDisplayLabel(it->caption);
        if (!it->displayFormat.isEmpty()) {
            // A number format declares a number column.
            if (it->displayFormat.startsWith(u'#') || it->displayFormat.startsWith(u'0'))
                f->DeclareType(data::FieldType::Float);
            f->SetDisplayFormat(it->displayFormat);
        }
        if (it->required)
            f->SetRequired(true);
    }
}

void TMDnoteForm::HookDetailFields()
{
    applyDetailDefinitions();
    m_detailRules.Resolve(*cdsDetail);
    for (int i = 0; i < cdsDetail->FieldCount(); ++i) {
        Field *f = cdsDetail->FieldAt(i);
        if (f->Calculated())
            continue;
        f->OnChange = [this](Field &field) {
            // A failing rule is shown; the typed value stays.
            try {
                DetailFieldChange(field);
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
        f->OnValidate = [this](Field &field) { DetailFieldValidate(field); };
    }
}

// =========================================================================== lines

bool TMDnoteForm::CanDeleteDetailLine()
{
    if (DetailValue(QStringLiteral("ReferCount"), 0).toLongLong() > 0) {
        ShowError(QStringLiteral("本明细记录已经被其他单据引用,不能删除."));
        return false;
    }
    return true;
}

bool TMDnoteForm::DeleteDetailLine()
{
    if (!cdsDetail->Active() || (cdsDetail->IsEmpty() && cdsDetail->State() != DataSetState::Insert))
        return true;
    if (!CanDeleteDetailLine())
        return false;
    try {
        cdsDetail->Delete();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bDetailChanged = true;
    return true;
}

void TMDnoteForm::DetailScrolled() {}

void TMDnoteForm::OpenDetailQuery()
{
    qryDetail->SetSQL(GetDetailSql());
    if (qryDetail->SQL().isEmpty()) {
        if (cdsDetail->Active())
            cdsDetail->Close();
        return;
    }
    // Closed and opened again with the grid told once, at the end.
    cdsDetail->DisableControls();
    try {
        if (cdsDetail->Active())
            cdsDetail->Close();
        cdsDetail->SetCommandText(qryDetail->SQL());
        if (!m_asDetailTable.isEmpty())
            cdsDetail->SetUpdateTableName(m_asDetailTable);
        m_iTempItemsNo = -1;
        HookDetailEvents();
        cdsDetail->Open();
        for (int i = 0; i < cdsDetail->FieldCount(); ++i)
            cdsDetail->FieldAt(i)->SetReadOnly(false);
        cdsDetail->Last();
        cdsDetail->First();
    } catch (...) {
        cdsDetail->EnableControls();
        throw;
    }
    cdsDetail->EnableControls();
    if (!m_bColumnsLoaded) {
        // The user's column settings, once per window.
        m_bColumnsLoaded = true;
        if (ItemGrid->LoadColumnSettings())
            placeFooterCaption();
    }
}

bool TMDnoteForm::ValidateDetailLines()
{
    if (!cdsDetail->Active())
        return true;
    bool ok = true;
    cdsDetail->DisableControls();
    try {
        cdsDetail->CheckBrowseMode();
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next())
            if (!ValidateDetailLine()) {
                ok = false;
                break;
            }
    } catch (const std::exception &e) {
        ShowError(e);
        ok = false;
    }
    cdsDetail->EnableControls();
    return ok;
}

bool TMDnoteForm::ValidateDetailLine() { return true; }

void TMDnoteForm::RemoveReferredLines(bool onlyReferred)
{
    if (!cdsDetail->Active())
        return;
    cdsDetail->DisableControls();
    try {
        cdsDetail->CheckBrowseMode();
        cdsDetail->First();
        while (!cdsDetail->Eof() && !cdsDetail->IsEmpty()) {
            if (onlyReferred && DetailValue(QStringLiteral("RefernoteId"), 0).toLongLong() == 0) {
                cdsDetail->Next();
                continue;
            }
            // A line other notes refer to stops the walk (with its message).
            if (!DeleteDetailLine())
                break;
        }
    } catch (const std::exception &e) {
        ShowError(e);
    }
    cdsDetail->EnableControls();
}

void TMDnoteForm::SetupDetailColumn(int column)
{
    Field *f = ItemGrid->FieldOfColumn(column);
    if (f && f->FieldName().compare(QLatin1String("AMOUNT"), Qt::CaseInsensitive) == 0) {
        m_iAmountColumn = column;
        if (ItemGrid->Column(column).FooterKind != widgets::GridColumn::Footer::Sum)
            ItemGrid->SetFooterSum(column, QStringLiteral("#0.00"));
    }
}

void TMDnoteForm::AfterDetailSetup() {}

// =========================================================================== overrides: opening

bool TMDnoteForm::OpenNoteQuery(const QString &where)
{
    if (!TBasenoteForm::OpenNoteQuery(where))
        return false;
    try {
        OpenDetailQuery();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    return true;
}

bool TMDnoteForm::LoadNote(int id)
{
    m_asDetailWhere = QStringLiteral(" Where m.") + m_asKeyField + QStringLiteral("=") + QString::number(id);
    return TBasenoteForm::LoadNote(id);
}

bool TMDnoteForm::LoadNoteRules(int id)
{
    if (!cdsDetail->Active()) {
        m_asDetailWhere = QStringLiteral(" Where m.") + m_asKeyField + QStringLiteral("=") + QString::number(kNewNoteID);
        try {
            OpenDetailQuery();
        } catch (const std::exception &e) {
            ShowError(e);
            return false;
        }
    }
    return TBasenoteForm::LoadNoteRules(id);
}

void TMDnoteForm::BeforeAppendNote()
{
    TBasenoteForm::BeforeAppendNote();
    if (cdsDetail->Active())
        cdsDetail->Close();
}

void TMDnoteForm::AfterAppendNote()
{
    TBasenoteForm::AfterAppendNote();
    m_asDetailWhere = QStringLiteral(" Where m.") + m_asKeyField + QStringLiteral("=")
                      + QString::number(MasterValue(m_asKeyField, kNewNoteID).toLongLong());
    try {
        OpenDetailQuery();
    } catch (const std::exception &e) {
        ShowError(e);
    }
    m_bDetailChanged = false;
}

// =========================================================================== overrides: saving

void TMDnoteForm::PrepareSave()
{
    TBasenoteForm::PrepareSave();
    Field *amount = MasterField(QStringLiteral("AMOUNT"));
    Field *lineAmount = DetailField(QStringLiteral("AMOUNT"));
    if (!amount || !lineAmount)
        return;
    cdsDetail->CheckBrowseMode();
    // Read the rows in place: no scrolling, no line hooks.
    double sum = 0;
    const int index = lineAmount->Index();
    for (int row = 0; row < cdsDetail->RecordCount(); ++row)
        sum += FormatAmount(cdsDetail->ValueAt(row, index).toDouble());
    cdsMaster->Edit();
    SetFieldValueSilent(amount, FormatAmount(sum));
}

bool TMDnoteForm::IsNoteModified()
{
    if (TBasenoteForm::IsNoteModified())
        return true;
    if (!cdsDetail->Active())
        return false;
    if (isEditing(cdsDetail)) {
        // The grid's open editor commits when it loses the focus.
        QWidget *focus = QApplication::focusWidget();
        if (focus && focus != ItemGrid && ItemGrid->isAncestorOf(focus))
            ItemGrid->setFocus();
        try {
            cdsDetail->CheckBrowseMode();
        } catch (const std::exception &) {
            return true; // a line that cannot be posted yet is still a change
        }
    }
    return cdsDetail->ChangeCount() > 0 || m_bDetailChanged;
}

bool TMDnoteForm::CanSaveNote()
{
    if (!TBasenoteForm::CanSaveNote())
        return false;
    return ValidateDetailLines();
}

void TMDnoteForm::AssignNoteKey()
{
    TBasenoteForm::AssignNoteKey();
    const bool masterNew =
        cdsMaster->State() == DataSetState::Insert || cdsMaster->GetUpdateStatus() == data::UpdateStatus::Inserted;
    const QVariant key = MasterValue(m_asKeyField);
    if (!cdsDetail->Active() || (cdsDetail->IsEmpty() && !isEditing(cdsDetail)))
        return;
    cdsDetail->CheckBrowseMode();
    Field *keyField = cdsDetail->FindField(m_asKeyField);
    Field *itemsNo = cdsDetail->FindField(QStringLiteral("ITEMSNO"));
    {
        const DetailUpdate update(*this);
        qint64 next = 0;
        bool nextKnown = false;
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            const bool lineNew = cdsDetail->GetUpdateStatus() == data::UpdateStatus::Inserted;
            if (!masterNew && !lineNew)
                continue;
            cdsDetail->Edit();
            if (masterNew && keyField)
                SetFieldValueSilent(keyField, key);
            if (lineNew && itemsNo) {
                if (!nextKnown) {
                    // One query for the whole save: numbers continue after the highest stored.
                    QVariant max;
                    GetValueOfSql(QStringLiteral("Select Max(itemsno) as Newitemsno From ") + m_asDetailTable
                                      + QStringLiteral(" Where ") + m_asKeyField + QStringLiteral("=")
                                      + QString::number(key.toLongLong()),
                                  max);
                    next = max.toLongLong() + 1;
                    nextKnown = true;
                }
                SetFieldValueSilent(itemsNo, next++);
            }
            cdsDetail->Post();
        }
    }
}

void TMDnoteForm::PostPendingRecords(int action)
{
    TBasenoteForm::PostPendingRecords(action);
    if (cdsMaster->IsEmpty())
        return;
    bool inUpdate = false;
    try {
        cdsMaster->Edit();
        cdsMaster->Post();
        if (!cdsDetail->Active())
            return;
        cdsDetail->CheckBrowseMode();
        BeginDetailUpdate();
        inUpdate = true;
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            cdsDetail->Edit();
            cdsDetail->Post();
        }
    } catch (const std::exception &e) {
        ShowError(e);
    }
    if (inUpdate)
        EndDetailUpdate();
}

void TMDnoteForm::PostEditingRecords(int action)
{
    TBasenoteForm::PostEditingRecords(action);
    if (!cdsDetail->Active() || !isEditing(cdsDetail))
        return;
    if (action == 1)
        cdsDetail->Post();
    else
        cdsDetail->Cancel();
}

void TMDnoteForm::ApplyChangeLogs(int action)
{
    TBasenoteForm::ApplyChangeLogs(action);
    if (!cdsDetail->Active())
        return;
    if (action == 2) {
        // The lines of a deleted note are left to the database.
        cdsDetail->Cancel();
        cdsDetail->CancelUpdates();
        return;
    }
    cdsDetail->CheckBrowseMode();
    if (cdsDetail->ChangeCount() > 0 && cdsDetail->ApplyUpdates(0) > 0)
        throw PubError(QStringLiteral("保存失败."));
    // The master's amount is the total of its lines as stored, whatever
    // another client wrote to them since this window read them.
    m_storedTotal.reset();
    if (MasterField(QStringLiteral("AMOUNT")) && DetailField(QStringLiteral("AMOUNT")))
        m_storedTotal = StoreMasterTotal(m_asTableName, m_asDetailTable, m_asKeyField, m_iApplyNoteID);
}

void TMDnoteForm::MergeChangeLogs(int action)
{
    if (action == 1 && m_storedTotal) {
        Field *amount = MasterField(QStringLiteral("AMOUNT"));
        if (std::abs(amount->AsFloat() - *m_storedTotal) > 0.001) {
            cdsMaster->Edit();
            SetFieldValueSilent(amount, *m_storedTotal);
            cdsMaster->Post();
        }
    }
    m_storedTotal.reset();
    TBasenoteForm::MergeChangeLogs(action);
    if (action == 1 && cdsDetail->Active())
        cdsDetail->MergeChangeLog();
    m_bDetailChanged = false;
}

void TMDnoteForm::CancelNote()
{
    if (cdsDetail->Active()) {
        cdsDetail->Cancel();
        cdsDetail->CancelUpdates();
    }
    TBasenoteForm::CancelNote();
    m_bDetailChanged = false;
}

// =========================================================================== overrides: showing

void TMDnoteForm::ShowNote()
{
    const int column = ItemGrid->SelectedColumn();
    TBasenoteForm::ShowNote();
    m_iAmountColumn = -1;
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i)
        SetupDetailColumn(i);
    AfterDetailSetup();
    placeFooterCaption();
    if (ItemGrid->ColumnCount() > 0 && column >= 0)
        ItemGrid->SetSelectedColumn(std::min(column, ItemGrid->ColumnCount() - 1));
}

void TMDnoteForm::UpdateControlStates(const QString &fieldName)
{
    TBasenoteForm::UpdateControlStates(fieldName);
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    const bool editable = !m_bReadOnly && state != 1 && state != 2;
    muAppendDetail->setEnabled(editable);
    muDeleteDetail->setEnabled(editable);
}

bool TMDnoteForm::ChooseReportStyle(TCorvanReportStyle *report)
{
    // PrintNote has given the report dsDetail beside dsMaster already.
    return TBasenoteForm::ChooseReportStyle(report);
}

void TMDnoteForm::SetReportVariables(TCorvanReportStyle *report)
{
    TBasenoteForm::SetReportVariables(report);
    report->SetVariables(PartnerReportVariables());
}

// =========================================================================== copying with the lines

bool TMDnoteForm::CanCloneNote() { return true; }

void TMDnoteForm::CloneNote(int id)
{
    // Read before the new note replaces the lines on screen.
    AutoQuery source = CreateAutoQuery(QStringLiteral("select * from ") + m_asDetailTable + QStringLiteral(" where ")
                                       + m_asKeyField + QStringLiteral("=") + QString::number(id)
                                       + QStringLiteral(" order by ITEMSNO"));
    TBasenoteForm::CloneNote(id);
    if (!IsNewNote() || CurrentNoteID() != kNewNoteID || source->IsEmpty())
        return;
    // A copied line refers to nothing and has been turned into nothing.
    static const QStringList kept = {
        QStringLiteral("ITEMSNO"),      QStringLiteral("REFERNOTETYPE"), QStringLiteral("REFERNOTEID"),
        QStringLiteral("REFERITEMSNO"), QStringLiteral("REFERQTY"),      QStringLiteral("REFERCOUNT"),
        QStringLiteral("REFERAMT"),     QStringLiteral("BTURNNOTEID"),   QStringLiteral("IOQTY"),
        QStringLiteral("BUYQTY"),       QStringLiteral("SALEQTY"),       QStringLiteral("BALQTY"),
        QStringLiteral("CLOSED"),       QStringLiteral("UPFLAG")};
    DetailUpdate quiet(*this);
    cdsDetail->CheckBrowseMode();
    for (source->First(); !source->Eof(); source->Next()) {
        cdsDetail->Append();
        for (const QString &column : source->FieldNames()) {
            if (kept.contains(column, Qt::CaseInsensitive) || column.compare(m_asKeyField, Qt::CaseInsensitive) == 0)
                continue;
            Field *f = DetailField(column);
            if (f && !f->Calculated() && !source->FieldByName(column).IsNull())
                SetFieldValueSilent(f, source->FieldByName(column).Value());
        }
        cdsDetail->Post();
    }
    cdsDetail->First();
    m_bDetailChanged = true;
}

QHash<QString, QVariant> TMDnoteForm::PartnerReportVariables()
{
    static const char *const names[][2] = {{"partnerName", "Name"},         {"partnerFullName", "FullName"},
                                           {"partnerTaxNo", "TaxNo"},       {"partnerAddress", "Address"},
                                           {"partnerTel", "Tel1"},          {"partnerBank", "Bank"},
                                           {"partnerBankaccno", "Bankaccno"}, {"partnerContactor", "Contactor"},
                                           {"partnerPhone", "Phone"}};
    QHash<QString, QVariant> vars;
    for (const auto &n : names)
        vars.insert(QString::fromLatin1(n[0]), QString());
    const QVariant partner = MasterValue(QStringLiteral("PARTNERID"));
    if (partner.isNull())
        return vars;
    AutoQuery q = CreateAutoQuery(
        QStringLiteral("Select Name, FullName, TaxNo, Address, Tel1, Bank, Bankaccno, Contactor, Phone From partnerlth where PARTNERID=")
        + QString::number(partner.toLongLong()));
    if (q->IsEmpty())
        return vars;
    for (const auto &n : names)
        vars.insert(QString::fromLatin1(n[0]), q->FieldByName(QString::fromLatin1(n[1])).AsString());
    return vars;
}

// =========================================================================== the field catalogue command

void TMDnoteForm::RemarkKeyDown(QKeyEvent *key)
{
    TBasenoteForm::RemarkKeyDown(key);
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (mods != (Qt::ControlModifier | Qt::ShiftModifier) || key->key() < Qt::Key_A || key->key() > Qt::Key_Z) {
        if (key->key() != Qt::Key_Control && key->key() != Qt::Key_Shift)
            m_asRemarkKeys.clear();
        return;
    }
    m_asRemarkKeys += QChar(u'A' + (key->key() - Qt::Key_A));
    m_asRemarkKeys = m_asRemarkKeys.right(3);
    if (m_asRemarkKeys != QLatin1String(kTableInfoCode))
        return;
    m_asRemarkKeys.clear();
    RegisterTableInfo();
}

void TMDnoteForm::RegisterTableInfo()
{
    struct Target {
        QString table;
        QString suffix;
        ClientDataSet *dataSet;
    };
    const Target targets[] = {{m_asTableName, QStringLiteral("主表"), cdsMaster},
                              {m_asDetailTable, QStringLiteral("明细表"), cdsDetail}};
    try {
        BeginTran();
        for (const Target &t : targets) {
            if (t.table.isEmpty() || !t.dataSet->Active())
                continue;
            QVariant n;
            // Table names are identifiers of our own schema: no quote can occur in them.
            GetValueOfSql(QStringLiteral("Select Count(*) as Quantity from TableInfo where Upper(TableName) = '")
                              + t.table.toUpper() + QStringLiteral("'"),
                          n);
            if (n.toLongLong() > 0)
                continue;
            for (int i = 0; i < t.dataSet->FieldCount(); ++i) {
                Field *f = t.dataSet->FieldAt(i);
                if (f->Calculated())
                    continue;
                SqlExecute(QStringLiteral("Insert into TableInfo(ID,TableName,DisplayTableName,FieldName,DisplayFieldName,FieldType) ")
                           + QStringLiteral("values(1,'") + t.table + QStringLiteral("',")
                           + QuotedStr(m_asTitle + t.suffix) + QStringLiteral(",") + QuotedStr(f->FieldName())
                           + QStringLiteral(",") + QuotedStr(f->DisplayLabel()) + QStringLiteral(",")
                           + QuotedStr(typeWord(f->DataType())) + QStringLiteral(")"));
            }
        }
        CommitTran();
    } catch (const std::exception &e) {
        if (InTransaction())
            RollbackTran();
        ShowError(e);
        return;
    }
    ShowInformation(QStringLiteral("数据插入成功"));
}

// =========================================================================== published handlers

void TMDnoteForm::muAppendDetailClick() { AppendDetailLine(); }
void TMDnoteForm::muDeleteDetailClick() { DeleteDetailLine(); }

void TMDnoteForm::actDetailInsertExecute()
{
    if (GridAcceptsLineKeys())
        AppendDetailLine();
}

void TMDnoteForm::actDelExecute()
{
    if (GridAcceptsLineKeys())
        DeleteDetailLine();
}

void TMDnoteForm::muColumnsSettingClick()
{
    try {
        if (cdsDetail->Active())
            cdsDetail->CheckBrowseMode();
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    if (!ItemGrid->ShowColumnSettings())
        return;
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i)
        SetupDetailColumn(i);
    placeFooterCaption();
}

// =========================================================================== commodity pick

void TMDnoteForm::PickCommodity(bool detailCombo)
{
    std::unique_ptr<QWidget> picker(pk_note::CreateFormClass(QStringLiteral("TPickCommodityForm"), this));
    auto *pick = dynamic_cast<pk_note::ICommodityPicker *>(picker.get());
    if (!pick) {
        ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
        return;
    }
    const QVariant store = detailCombo ? DetailValue(QStringLiteral("BuildingID")) : MasterValue(QStringLiteral("BuildingID"));
    pick->SetDocument(this, store.isNull() ? 0 : store.toLongLong(),
                      MasterValue(QStringLiteral("partnerID"), 0).toLongLong());
    ShowModal(picker.get());
}
