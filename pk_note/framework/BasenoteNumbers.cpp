// The automatic number a window holds for its new note: reserved when the
// note is made, checked inside the save, given back when it is saved or
// abandoned. The numbering itself is Notepublic's.
#include "Basenote.h"

#include "KeyboardEntry.h"
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

#include "BasenotePrivate.h"

using namespace basenote_detail;

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
    try {
        if (StartupDB())
            ReleaseNoteCode(noteType, code);
    } catch (const std::exception &) {
        // The note is saved or abandoned already; a reservation left behind is
        // given back when this client is gone.
    }
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
