// The save and delete sequence of TBasenoteForm.
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

#include <optional>

using namespace basenote_detail;

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
    if (!noteIsNew())
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

bool TBasenoteForm::noteIsNew() const
{
    return MasterValue(m_asKeyField, kNewNoteID).toLongLong() == kNewNoteID || cdsMaster->State() == DataSetState::Insert
           || m_bNewNote;
}

bool TBasenoteForm::SaveNote()
{
    if (cdsMaster->Active() && cdsMaster->Modified())
        m_bModifiedAtSave = true;
    if (!IsNoteModified())
        return true;
    if (IsOtherUsersNote())
        return true;
    bool isNew = false;
    try {
        PrepareSave();
        if (!CanSaveNote())
            return false;
        isNew = noteIsNew();
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

namespace {

// Detaches a data-set event for the life of the guard.
class EventDetach {
public:
    explicit EventDetach(ClientDataSet::Event &slot) : m_slot(slot), m_saved(std::move(slot)) { m_slot = nullptr; }
    ~EventDetach() { m_slot = std::move(m_saved); }
    EventDetach(const EventDetach &) = delete;
    EventDetach &operator=(const EventDetach &) = delete;

private:
    ClientDataSet::Event &m_slot;
    ClientDataSet::Event m_saved;
};

} // namespace

bool TBasenoteForm::ApplyNote(int action)
{
    // The one write sequence of every kind; kinds fill its steps.
    try {
        PostEditingRecords(action);
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_iApplyNoteID = action == 2 ? m_iCurrentNoteID : int(MasterValue(m_asKeyField, m_iCurrentNoteID).toLongLong());
    std::optional<QString> failure;
    bool changedByOther = false;
    {
        // Lock, detached scroll event and transaction end with this block, on
        // every path, before any message holds the user (and the lock).
        NamedLockGuard lock(QStringLiteral("NOTELOCK"));
        if (!lock.Held())
            return false;
        EventDetach afterScroll(cdsMaster->AfterScroll);
        try {
            TransactionGuard transaction;
            if (action == 1)
                EnsureUniqueNoteCode();
            PostPendingRecords(action);
            ApplyChangeLogs(action);
            AfterApplyNote(action);
            transaction.Commit();
        } catch (const db::ConcurrencyError &e) {
            failure = ExceptionText(e);
            changedByOther = true;
        } catch (const std::exception &e) {
            failure = ExceptionText(e);
        }
    }
    if (failure) {
        UndoNoteCodeRenumbering();
        ShowError(*failure);
        if (changedByOther && action == 1) {
            // Another client wrote the note since it was shown: the user's
            // edits cannot be applied to it, so show it as it now stands
            // (a refused delete reloads in DeleteNote).
            CancelNote();
            LoadNote(m_iApplyNoteID);
        }
        return false;
    }
    MergeChangeLogs(action);
    m_bModifiedAtSave = false;
    return true;
}

void TBasenoteForm::PostEditingRecords(int)
{
    if (cdsMaster->State() == DataSetState::Edit || cdsMaster->State() == DataSetState::Insert)
        cdsMaster->Post();
}

void TBasenoteForm::ApplyChangeLogs(int)
{
    cdsMaster->CheckBrowseMode();
    if (cdsMaster->ChangeCount() > 0 && cdsMaster->ApplyUpdates(0) > 0)
        throw PubError(QStringLiteral("保存失败."));
}

void TBasenoteForm::MergeChangeLogs(int) { cdsMaster->MergeChangeLog(); }

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
    if (NoteTypeHas(noteType, pk_note::kNoPrintRegister))
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

