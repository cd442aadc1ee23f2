// Printing and copying of TBasenoteForm: the template list of the window,
// choosing and loading a template, the report variables, print and preview,
// the print register and its label, and copying a note.

#include "Basenote.h"

#include "MDnote.h"
#include "NoteReport.h"
#include "Notepublic.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBControls.h"
#include "widgets/LookupCombo.h"
#include "MDnoteResource.h"
#include "NoteTypes.h"
#include "PackageWindows.h"

#include <QDir>
#include <QFile>
#include <QLabel>

#include <memory>

#include "BasenotePrivate.h"

using data::Field;
using namespace basenote_detail;

namespace {

const QString kStandardQuestion = QStringLiteral("本单没有选择打印样式, 是否要用标准样式进行打印或预览?");

QString templateFolder()
{
    return g_asTempDirectory.isEmpty() ? QDir::tempPath() : g_asTempDirectory;
}

QString sysParam(const char *name) { return LookupSysParam(QString::fromLatin1(name)); }

} // namespace

// =========================================================================== the template list

void TBasenoteForm::loadPrintTemplates()
{
    RptStyleCB->setProperty("tag", 6000 + noteType);
    if (cdsPrint->Active())
        return;
    // Books made before the kind had its standard template get it now.
    EnsureStandardTemplate(this);
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
        // The remembered template, while the books still hold it.
        const PrintChoice choice = ReadPrintChoice(QString::fromLatin1(metaObject()->className()));
        if (choice.id != 0
            && !scalarOf(QStringLiteral("Select Name from printtemplatelth where printtemplateID=") + QString::number(choice.id))
                    .isNull())
            RptStyleCB->setKeyValue(choice.id);
    } catch (const std::exception &e) {
        ShowError(e);
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

// =========================================================================== standard templates

QByteArray StandardTemplateOf(const TBasenoteForm *form)
{
    TCorvanReportStyle::StandardParts parts;
    for (const basenote::MasterControl &c : form->DeclaredResource().controls) {
        const QString field = QString::fromLatin1(c.field);
        // Check boxes and captions carry no text to print; the remark is in the footer.
        if (c.kind == basenote::Ctl::Label || c.kind == basenote::Ctl::Check || field.isEmpty()
            || field.compare(QLatin1String("REMARK"), Qt::CaseInsensitive) == 0)
            continue;
        parts.header.append({field, QString::fromUtf8(c.caption)});
    }
    if (auto *md = dynamic_cast<const TMDnoteForm *>(form))
        for (const mdnote::DetailColumn &declared : md->DeclaredDetail().columns) {
            const mdnote::ResolvedColumn c = mdnote::ResolveColumn(declared);
            if (c.visible)
                parts.lines.append({c.field, c.caption, c.displayFormat, c.width > 0 ? c.width : 80, c.total});
        }
    return TCorvanReportStyle::StandardTemplate(parts);
}

bool EnsureStandardTemplate(const TBasenoteForm *form)
{
    const int id = 6000 + form->NoteType();
    try {
        const int present = scalarOf(QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID in (%1, -%1)")
                                         .arg(id))
                                .toInt();
        if (present == 2)
            return true;
        const QString data = QString::fromUtf8(StandardTemplateOf(form));
        for (const int key : {id, -id}) {
            if (scalarOf(QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID=%1").arg(key)).toInt() > 0)
                continue;
            SqlExecute(QStringLiteral("insert into printtemplatelth (PRINTTEMPLATEID, TYPESID, NAME, DATA) "
                                      "values (%1, %2, :name, :data)")
                           .arg(key)
                           .arg(id),
                       {{QStringLiteral("name"), QStringLiteral("标准样式")}, {QStringLiteral("data"), data}});
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

// =========================================================================== choosing a template

// Writes the template's definition to a ".Rpt" file of the temporary folder
// and returns its name; shows why and returns "" when the books lack the
// template or it has no definition.
static QString writeTemplateFile(int id)
{
    QByteArray data;
    QString name = QString::number(id);
    {
        AutoQuery q = CreateAutoQuery(QStringLiteral("Select * from printtemplatelth where PRINTTEMPLATEID=")
                                      + QString::number(id));
        if (q->IsEmpty()) {
            ShowError(QStringLiteral("打印样式[%1]不存在.").arg(id));
            return {};
        }
        name = q->FieldByName(QStringLiteral("NAME")).AsString() + u'(' + name + u')';
        if (!q->FieldByName(QStringLiteral("DATA")).IsNull())
            data = q->FieldByName(QStringLiteral("DATA")).AsString().toUtf8();
    }
    if (data.trimmed().isEmpty()) {
        ShowError(QStringLiteral("打印样式[%1]没有内容, 无法打印.").arg(name));
        return {};
    }
    const QString fileName = QDir(templateFolder()).filePath(QStringLiteral("Template%1.Rpt").arg(id));
    QFile::remove(fileName);
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        throw PubError(QStringLiteral("无法写入打印样式文件 ") + fileName);
    return fileName;
}

bool TBasenoteForm::ChooseReportStyle(TCorvanReportStyle *report)
{
    const QVariant chosen = RptStyleCB->KeyValue();
    int id = chosen.isNull() ? 0 : chosen.toInt();
    if (id == 0) {
        if (ShowYesNoQuestion(kStandardQuestion) != AnswerYes)
            return false;
        id = 6000 + noteType;
    } else {
        WritePrintChoice(QString::fromLatin1(metaObject()->className()), PrintChoice{FormName(), id});
    }
    QString file;
    try {
        file = writeTemplateFile(id);
    } catch (const std::exception &e) {
        ShowError(e); // the temporary folder cannot take the file
        return false;
    }
    return !file.isEmpty() && QFile::exists(file) && report->LoadFromFile(file);
}

void TBasenoteForm::SetReportVariables(TCorvanReportStyle *report)
{
    for (const char *name : {"AMOUNT", "PAYAMT", "FACTAMT", "DISCAMT"})
        if (Field *f = MasterField(QString::fromLatin1(name)))
            report->SetVariable(QStringLiteral("M.M") + QString::fromLatin1(name), QString::number(f->AsFloat(), 'f', 2));
    // A looked-up master field prints as the window shows it: the name, not the key.
    for (const basenote::MasterControl &c : DeclaredResource().controls)
        if (c.kind == basenote::Ctl::Lookup) {
            const QString field = QString::fromLatin1(c.field);
            const QString name = c.name ? QString::fromLatin1(c.name) : QStringLiteral("cmb") + field;
            if (auto *combo = findChild<widgets::TRqLookupCombo *>(name))
                report->SetVariable(QStringLiteral("M.") + field, combo->text());
        }
    report->SetVariable(QStringLiteral("DepName"), cmbDepartment->text());
    report->SetVariable(QStringLiteral("Employee"), cmbEmp->text());
    report->SetVariable(QStringLiteral("CompanyTaxNo"), sysParam("TaxNo"));
    report->SetVariable(QStringLiteral("CompanyName"), sysParam("CompanyName"));
    report->SetVariable(QStringLiteral("CompanyAddress"),
                        sysParam("Address") + QStringLiteral("(电话:") + sysParam("Tel") + QStringLiteral(")"));
    report->SetVariable(QStringLiteral("CompanyBank"),
                        sysParam("Bank") + QStringLiteral("(帐号:") + sysParam("BankNo") + QStringLiteral(")"));
    static const char *const states[] = {"待审核", "审核", "作废"};
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    report->SetVariable(QStringLiteral("M.MnoteState"), state >= 0 && state <= 2 ? QString::fromUtf8(states[state]) : QString());
    // What the standard templates print besides.
    report->SetVariable(QStringLiteral("Title"), m_asTitle.isEmpty() ? windowTitle() : m_asTitle);
    report->SetVariable(QStringLiteral("Operator"), edoperatename->text());
    report->SetVariable(QStringLiteral("Checker"), edchkor->text());
    report->SetVariable(QStringLiteral("PrintDate"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

// =========================================================================== print and preview

void TBasenoteForm::PrintNote(bool print)
{
    if (IsNoteModified()) {
        if (ShowYesNoQuestion(QStringLiteral("打印前必须先保存单据, 是否继续?")) != AnswerYes)
            return;
        if (!SaveNote())
            return;
        LoadNote(m_iCurrentNoteID);
    }
    if (!HasPrivilege(3, true) || m_bPrinting)
        return;
    // The printing mark is cleared on every way out.
    struct Mark {
        bool &on;
        explicit Mark(bool &b) : on(b) { on = true; }
        ~Mark() { on = false; }
    } mark(m_bPrinting);
    auto *md = dynamic_cast<TMDnoteForm *>(this);
    TCorvanReportStyle report(dsMaster, md ? md->DetailDataSource() : nullptr);
    if (!ChooseReportStyle(&report))
        return;
    SetReportVariables(&report);
    const QString code = MasterValue(QStringLiteral("NOTECODE")).toString().trimmed();
    const QString name = (m_asTitle.isEmpty() ? windowTitle() : m_asTitle) + (code.isEmpty() ? QString() : u'-' + code);
    if (!print) {
        report.Preview(name);
        return;
    }
    if (!report.Print(name) || m_iCurrentNoteID == kNewNoteID)
        return; // a note never saved has no place in the register
    SqlExecute(QStringLiteral("exec usrprocnoteprintabth_update ") + QString::number(noteType) + QStringLiteral(", ")
               + QString::number(m_iCurrentNoteID));
    UpdatePrintedLabel();
}

// =========================================================================== copying

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

// =========================================================================== every kind's standard template

// Called by notectl once new books are made: every kind that has a window
// writes its standard template. Returns how many kinds have theirs.
extern "C" __attribute__((visibility("default"))) int noteStandardTemplates()
{
    int done = 0;
    for (const pk_note::NoteTypeInfo &type : pk_note::NoteTypeTable())
        for (const pk_note::FormRegistration &r : pk_note::RegistrationTable()) {
            if (qstrcmp(r.formName, type.formName) != 0)
                continue;
            std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QString::fromLatin1(r.className)));
            if (auto *form = dynamic_cast<TBasenoteForm *>(window.get()); form && EnsureStandardTemplate(form))
                ++done;
            break;
        }
    return done;
}
