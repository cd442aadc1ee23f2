// Audit, un-audit, void and un-void with their rules, and the note messages.
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

using namespace basenote_detail;

// =========================================================================== audit and void

bool TBasenoteForm::showPeriodRule(const QString &message)
{
    if (m_bInitMode || NoteTypeHas(noteType, pk_note::kNoPeriodRule))
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
        if (!id.isNull() && SteadyScalar(QString::fromLatin1(closedChecks[i].sql) + idText(id)).toInt() == 1) {
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
    // The old state in the statement, and the save time the window shows, make
    // a concurrent change harmless: a note another client saved, audited or
    // voided meanwhile is left alone, and the reload shows it as it stands.
    QString sql = QStringLiteral("Update ") + m_asTableName + updateHead + m_asKeyField + QStringLiteral("=")
                  + QString::number(m_iCurrentNoteID);
    db::Params params;
    if (Field *shown = MasterField(QStringLiteral("UPDATETIME"))) {
        if (shown->IsNull()) {
            sql += QStringLiteral(" and UPDATETIME is null");
        } else {
            sql += QStringLiteral(" and UPDATETIME=:UPDATETIME");
            params.insert(QStringLiteral("UPDATETIME"), shown->Value());
        }
    }
    int touched = 0;
    try {
        touched = SqlExecute(sql, params);
    } catch (const std::exception &e) {
        ShowError(e);
        ReloadNote();
        return false;
    }
    ReloadNote();
    if (touched == 0) {
        ShowError(db::ConcurrencyError::defaultText());
        return false;
    }
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
    const QString type = QString::number(noteType);
    const int noteId = kind == 2 ? m_iApplyNoteID : m_iCurrentNoteID;
    const QString id = QString::number(noteId);
    // The note itself is written by now: a failing notification is told as
    // such, never as a failed save, and leaves no half-written message.
    try {
        if (LookupSysParam(QStringLiteral("UseMsg")) == QLatin1String("0"))
            return;
        TransactionGuard transaction;
        SqlExecute(QStringLiteral("delete from notemsginfthDETAIL where MSGID in (select MSGID from notemsginfth where FROMNOTETYPE=")
                   + type + QStringLiteral(" and FROMNOTEID=") + id + QStringLiteral(")"));
        if (kind == 2) {
            SqlExecute(QStringLiteral("delete from notemsginfth where fromnotetype=") + type + QStringLiteral(" and  fromnoteid=") + id);
            transaction.Commit();
            return;
        }
        QString suffix;
        switch (kind) {
        case 1: suffix = QStringLiteral("已制作,请审核."); break;
        case 3: suffix = QStringLiteral("已审核."); break;
        case 4: suffix = QStringLiteral("已反审核,请查看."); break;
        case 5: suffix = QStringLiteral("已作废,请查看."); break;
        case 6: suffix = QStringLiteral("已反作废,请查看."); break;
        default: transaction.Commit(); return;
        }
        QList<int> recipients;
        GetMessageRecipients(kind, recipients);
        recipients.removeAll(g_iUserID);
        if (recipients.isEmpty()) {
            transaction.Commit();
            return;
        }
        const QString text = NoteTypeName(noteType) + QStringLiteral("[") + MasterValue(QStringLiteral("NOTECODE")).toString()
                             + QStringLiteral("]") + suffix;
        const qint64 msgId = GetNewKeyValue(QStringLiteral("notemsginfth"));
        SqlExecute(QStringLiteral("Insert into notemsginfth values (:iMsgId, :asMsg, :inoteType, :inoteID, :dnoteDate, :iUserId)"),
                         {{QStringLiteral("iMsgId"), msgId},
                          {QStringLiteral("asMsg"), text},
                          {QStringLiteral("inoteType"), noteType},
                          {QStringLiteral("inoteID"), noteId},
                          {QStringLiteral("dnoteDate"), QDateTime::currentDateTime()},
                          {QStringLiteral("iUserId"), g_iUserID}});
        for (int r : std::as_const(recipients))
            SqlExecute(QStringLiteral("Insert into notemsginfthdetail values (") + QString::number(msgId) + QStringLiteral(", ")
                       + QString::number(r) + QStringLiteral(", 0)"));
        transaction.Commit();
    } catch (const std::exception &e) {
        ShowWarning(QStringLiteral("操作已完成，但没有通知到其他用户：\n") + ExceptionText(e));
    }
}

