#include "Notepublic.h"

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/LookupCombo.h"

#include <QWidget>

#include <cmath>
#include <cstdlib>

// ---- fields ----

QVariant GetFieldValue(const data::Field *field, const QVariant &defaultValue)
{
    if (!field || field->IsNull())
        return defaultValue;
    return field->Value();
}

namespace {

bool isEmptyValue(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return true;
    return value.metaType().id() == QMetaType::QString && value.toString().isEmpty();
}

void assign(data::Field &field, const QVariant &value)
{
    if (isEmptyValue(value))
        field.Clear();
    else
        field.SetValue(value);
}

} // namespace

void SetFieldValue(data::Field *field, const QVariant &value, bool fire)
{
    if (!field)
        return;
    if (fire)
        assign(*field, value);
    else
        SetFieldValueSilent(field, value);
}

void SetFieldValueSilent(data::Field *field, const QVariant &value)
{
    if (!field)
        return;
    // Put the handler back even when validation refuses the value.
    struct Restore {
        data::Field &f;
        data::Field::Handler saved;
        ~Restore() { f.OnChange = std::move(saved); }
    } restore{*field, std::move(field->OnChange)};
    field->OnChange = nullptr;
    assign(*field, value);
}

QString DetailTableOfSql(const QString &sql)
{
    const QString upper = sql.toUpper();
    auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$'; };
    // FROM as a word of its own, so a column such as DATEFROM does not count.
    qsizetype at = -1;
    for (qsizetype from = 0; (from = upper.indexOf(QLatin1String("FROM"), from)) >= 0; from += 4) {
        const bool before = from == 0 || !isNameChar(upper.at(from - 1));
        const bool after = from + 4 >= upper.size() || !isNameChar(upper.at(from + 4));
        if (before && after) {
            at = from + 4;
            break;
        }
    }
    if (at < 0)
        return {};
    auto isEnd = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'(' || c == u')'; };
    while (at < sql.size() && isEnd(sql.at(at)) && sql.at(at) != u'(')
        ++at;
    qsizetype end = at;
    while (end < sql.size() && !isEnd(sql.at(end)))
        ++end;
    return sql.mid(at, end - at);
}

// ---- note types ----

bool IsPurchaseNoteType(int noteType) { return noteType > 0 && noteType < 10; }
bool IsSalesNoteType(int noteType) { return noteType > 10 && noteType < 20; }
bool IsStockNoteType(int noteType) { return noteType > 20 && noteType < 40; }

int PriceClassOfNoteType(int noteType)
{
    if (IsPurchaseNoteType(noteType))
        return 1;
    if (IsSalesNoteType(noteType))
        return 2;
    return 3;
}

// ---- numbering ----

namespace {

struct DateParts {
    QString periodFormat;   // for funcdefDateComp
    QStringList codeParts;  // written into the code, joined by the separator
};

DateParts datePartsOfMode(const QString &mode)
{
    if (mode == QStringLiteral("年"))
        return {QStringLiteral("yyyy"), {QStringLiteral("yyyy")}};
    if (mode == QStringLiteral("年月"))
        return {QStringLiteral("yyyymm"), {QStringLiteral("yyyy"), QStringLiteral("MM")}};
    if (mode == QStringLiteral("月年"))
        return {QStringLiteral("yyyymm"), {QStringLiteral("MM"), QStringLiteral("yyyy")}};
    if (mode == QStringLiteral("年月日"))
        return {QStringLiteral("yyyymmdd"), {QStringLiteral("yyyy"), QStringLiteral("MM"), QStringLiteral("dd")}};
    if (mode == QStringLiteral("月日年"))
        return {QStringLiteral("yyyymmdd"), {QStringLiteral("MM"), QStringLiteral("dd"), QStringLiteral("yyyy")}};
    return {};
}

struct CodeRule {
    QString head;
    QString sepa;
    int digits = 0;
    DateParts parts;
    QString table;
};

// The type's numbering rule and master table; nothing (after a message) when
// the type has no rule or no table.
std::optional<CodeRule> readCodeRule(int noteType, const QString &masterTable)
{
    AutoQuery rule = CreateAutoQuery(QStringLiteral("select * from notetypelth where id=:noteType "), false);
    rule->Parameters().insert(QStringLiteral("noteType"), noteType);
    rule->Open();
    if (rule->IsEmpty())
        return std::nullopt;
    CodeRule r;
    r.head = rule->FieldByName(QStringLiteral("Head")).AsString().trimmed();
    r.sepa = rule->FieldByName(QStringLiteral("Sepa")).AsString();
    r.digits = int(rule->FieldByName(QStringLiteral("Code")).AsString().trimmed().size());
    r.parts = datePartsOfMode(rule->FieldByName(QStringLiteral("Mode")).AsString().trimmed());
    r.table = masterTable.isEmpty() ? NoteTypeMasterTable(noteType) : masterTable;
    if (r.table.isEmpty()) {
        ShowError(QStringLiteral("单据类型[%1]没有对应的主表,无法生成单据号.").arg(noteType));
        return std::nullopt;
    }
    return r;
}

// The highest serial of the date's period among the saved notes.
qint64 maxSavedSerial(const CodeRule &r, const QDate &date)
{
    QVariant maxSerial;
    GetValueOfSql(QStringLiteral("select Max(dbo.funcdefCodeToSerialNo(noteCode,") + QString::number(r.digits)
                      + QStringLiteral(")) as SerialNo From ") + r.table
                      + QStringLiteral(" Where Dbo.funcdefDateComp('") + r.parts.periodFormat
                      + QStringLiteral("',noteDate,'") + date.toString(QStringLiteral("MM/dd/yyyy"))
                      + QStringLiteral("')>0"),
                  maxSerial);
    return maxSerial.isNull() ? 0 : maxSerial.toLongLong();
}

QString formatCode(const CodeRule &r, const QDate &date, qint64 serial)
{
    // Formatted to fifteen digits, then cut to the rule's length.
    const QString padded = QString::number(serial).rightJustified(15, u'0');
    QString code = r.head;
    if (!r.head.isEmpty())
        code += r.sepa;
    if (!r.parts.codeParts.isEmpty()) {
        QStringList written;
        for (const QString &p : r.parts.codeParts)
            written << date.toString(p);
        code += written.join(r.sepa) + r.sepa;
    }
    code += padded.right(qMin(r.digits, int(padded.size())));
    return code;
}

// A client that died with a new note open (killed, crashed, power cut) never
// releases its number; its reservations go, so the next note takes the number.
void releaseReservationsOfGoneClients()
{
    AutoQuery holders = CreateAutoQuery(
        QStringLiteral("select distinct CLIENTID from notecodereserveth where CLIENTID is not null"));
    for (; !holders->Eof(); holders->Next()) {
        const QString id = holders->Fields(0).AsString();
        if (!ClientAlive(id))
            SqlExecute(QStringLiteral("delete from notecodereserveth where CLIENTID=") + QuotedStr(id));
    }
}

bool codeTaken(int noteType, const QString &table, const QString &code)
{
    QVariant n;
    GetValueOfSql(QStringLiteral("select count(*) from notecodereserveth where NOTETYPE=") + QString::number(noteType)
                      + QStringLiteral(" and NOTECODE=") + QuotedStr(code),
                  n);
    if (n.toLongLong() > 0)
        return true;
    GetValueOfSql(QStringLiteral("select count(*) from ") + table + QStringLiteral(" where NOTECODE=") + QuotedStr(code), n);
    return n.toLongLong() > 0;
}

} // namespace

QString NewNoteCode(int noteType, const QDate &date, const QString &masterTable)
{
    try {
        const std::optional<CodeRule> rule = readCodeRule(noteType, masterTable);
        if (!rule)
            return {};
        return formatCode(*rule, date, maxSavedSerial(*rule, date) + 1);
    } catch (const std::exception &e) {
        ShowError(e);
        return {};
    }
}

QString ReserveNoteCode(int noteType, const QDate &date, const QString &masterTable)
{
    const bool ownTran = !InTransaction();
    bool begun = false;
    try {
        // One write transaction: a second client waits here until this
        // reservation is visible, so it cannot pick the same number.
        BeginTran();
        begun = true;
        releaseReservationsOfGoneClients();
        QString code;
        if (const std::optional<CodeRule> rule = readCodeRule(noteType, masterTable)) {
            qint64 serial = maxSavedSerial(*rule, date) + 1;
            code = formatCode(*rule, date, serial);
            // The serial wraps at the rule's width; stop rather than loop forever.
            for (int tries = 0; codeTaken(noteType, rule->table, code); ++tries) {
                if (tries > 100000)
                    throw PubError(QStringLiteral("单据号已用完,无法生成单据号."));
                code = formatCode(*rule, date, ++serial);
            }
            SqlExecute(QStringLiteral("insert into notecodereserveth (NOTETYPE, NOTECODE, OPERATEID, RESERVETIME, CLIENTID) values (")
                       + QString::number(noteType) + QStringLiteral(", ") + QuotedStr(code) + QStringLiteral(", ")
                       + QString::number(g_iUserID) + QStringLiteral(", ")
                       + QuotedStr(GetSystemTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) + QStringLiteral(", ")
                       + QuotedStr(ClientId()) + QStringLiteral(")"));
        }
        CommitTran();
        return code;
    } catch (const std::exception &e) {
        // Inside a caller's transaction only our level is closed; the caller decides.
        if (begun && InTransaction())
            ownTran ? RollbackTran() : CommitTran();
        ShowError(e);
        return {};
    }
}

void ReleaseNoteCode(int noteType, const QString &code)
{
    if (code.isEmpty())
        return;
    try {
        SqlExecute(QStringLiteral("delete from notecodereserveth where NOTETYPE=") + QString::number(noteType)
                   + QStringLiteral(" and NOTECODE=") + QuotedStr(code));
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

bool NoteCodeUsed(const QString &masterTable, const QString &keyField, qint64 ownKey, const QString &code)
{
    QVariant n;
    GetValueOfSql(QStringLiteral("select count(*) from ") + masterTable + QStringLiteral(" where NOTECODE=") + QuotedStr(code)
                      + QStringLiteral(" and ") + keyField + QStringLiteral("<>") + QString::number(ownKey),
                  n);
    return n.toLongLong() > 0;
}

// ---- prices ----

double PartnerPrice(qint64 partnerId, qint64 commodityId)
{
    try {
        const QString tail = QString::number(partnerId) + QStringLiteral("and CommodityID = ") + QString::number(commodityId);
        QVariant count;
        GetValueOfSql(QStringLiteral("select count(0) as Row from partnerprice where partnerid =") + tail, count);
        if (count.toLongLong() == 0)
            return -1;
        QVariant price;
        GetValueOfSql(QStringLiteral("select price from partnerprice where partnerid =") + tail, price);
        return price.toDouble();
    } catch (const std::exception &e) {
        ShowError(e);
        return -1;
    }
}

CommodityPrices CommodityMultiPrice(int noteType, qint64 commodityId, qint64 partnerId, qint64 batchRef,
                                    qint64 storeId)
{
    const QString batch =
        QStringLiteral("Declare @DefaultPrice usrdefprice,@LastPrice usrdefprice,@LevPrice usrdefprice,"
                       "@SpPrice usrdefprice \n")
        + QStringLiteral("Exec GetCommodityMultiPrice ") + QString::number(PriceClassOfNoteType(noteType)) + u','
        + QString::number(commodityId) + u',' + QString::number(partnerId) + u',' + QString::number(batchRef) + u','
        + QString::number(storeId)
        + QStringLiteral(",@DefaultPrice OutPut,@LastPrice OutPut,@LevPrice OutPut,@SpPrice OutPut \n")
        + QStringLiteral("Select @DefaultPrice As DefaultPrice,@LevPrice As LevPrice,@SpPrice As SpPrice,"
                         "@LastPrice As LastPrice");
    AutoQuery q = CreateAutoQuery(batch);
    CommodityPrices p;
    if (q->IsEmpty())
        return p;
    p.defaultPrice = q->FieldByName(QStringLiteral("DefaultPrice")).AsFloat();
    p.lastPrice = q->FieldByName(QStringLiteral("LastPrice")).AsFloat();
    p.levPrice = q->FieldByName(QStringLiteral("LevPrice")).AsFloat();
    p.spPrice = q->FieldByName(QStringLiteral("SPPrice")).AsFloat();
    return p;
}

double DefaultPrice(int noteType, qint64 commodityId, qint64 partnerId, qint64 batchRef, qint64 storeId)
{
    try {
        return FormatPrice(CommodityMultiPrice(noteType, commodityId, partnerId, batchRef, storeId).defaultPrice);
    } catch (const std::exception &e) {
        ShowError(e);
        return 0;
    }
}

// ---- amounts ----

namespace {

const QString kCapitals = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
// From the fen upwards.
const QString kUnits = QStringLiteral("分角元拾佰仟万拾佰仟亿拾佰仟");

struct Fen {
    bool negative = false;
    qint64 value = 0; // absolute amount in fen
};

// The amount as a four-decimal fixed-point value, then rounded to the fen half
// away from zero as "#0.00" does.
Fen toFen(double amount)
{
    const qint64 units = qint64(std::llround(amount * 10000.0));
    const qint64 absolute = units < 0 ? -units : units;
    Fen f;
    f.value = (absolute + 50) / 100;
    f.negative = units < 0 && f.value != 0;
    return f;
}

} // namespace

QString AmountInWords(double amount)
{
    if (!std::isfinite(amount))
        return {};
    const Fen f = toFen(amount);
    const qint64 yuan = f.value / 100;
    const int jiao = int(f.value / 10 % 10);
    const int fen = int(f.value % 10);
    if (yuan >= 1000000000000LL)
        return {};
    if (f.value == 0)
        return QStringLiteral("零元整");

    QString out;
    if (yuan > 0) {
        const QString digits = QString::number(yuan);
        const int n = int(digits.size());
        bool zeroPending = false;
        for (int i = 0; i < n; ++i) {
            const int d = digits.at(i).digitValue();
            const int p = n - 1 - i; // 0 = yuan
            if (d != 0) {
                if (zeroPending)
                    out += kCapitals.at(0);
                zeroPending = false;
                out += kCapitals.at(d);
                if (p % 4 != 0)
                    out += kUnits.at(p + 2);
            } else if (p % 4 != 0) {
                // A zero at 元, 万 or 亿 is covered by the unit written there.
                zeroPending = true;
            }
            if (p % 4 == 0) {
                // 元 always; 万 and 亿 when their group holds a digit.
                const QString group = digits.mid(qMax(0, i - 3), i - qMax(0, i - 3) + 1);
                bool groupUsed = false;
                for (const QChar c : group)
                    groupUsed = groupUsed || c != u'0';
                if (p == 0 || groupUsed)
                    out += kUnits.at(p + 2);
            }
        }
    }
    if (jiao != 0) {
        out += kCapitals.at(jiao);
        out += kUnits.at(1);
    } else if (fen != 0 && yuan > 0) {
        out += kCapitals.at(0);
    }
    if (fen != 0) {
        out += kCapitals.at(fen);
        out += kUnits.at(0);
    } else {
        out += QStringLiteral("整");
    }
    return f.negative ? QStringLiteral("负") + out : out;
}

QString AmountInBoxes(double amount)
{
    if (!std::isfinite(amount))
        return {};
    const Fen f = toFen(amount);
    const QString digits = QString::number(f.value).rightJustified(3, u'0'); // "#0.00" without the point
    int boxes = int(digits.size()) + (f.negative ? 1 : 0);
    static const char *const kLead[] = {"               ￥  ", "            ￥  ", "         ￥  ",
                                        "      ￥  ",       "   ￥  ",          " ￥"};
    // Three digits or fewer take the most blanks; eight or more the fewest.
    const int index = qBound(0, boxes - 3, 5);
    QString out = QString::fromUtf8(kLead[index]);
    if (f.negative)
        out += QStringLiteral("负   ");
    for (const QChar c : digits)
        out += kCapitals.at(c.digitValue()) + QStringLiteral("   ");
    return out;
}

// ---- business period ----

QDate CurrentPeriodDate()
{
    const QString failure = QStringLiteral("取当前业务期间出错.");
    int year = 0, month = 0;
    try {
        QVariant v;
        GetValueOfSql(QStringLiteral("select datavalue from sysparamamth where ParamId=3002"), v);
        year = v.toString().trimmed().toInt();
        GetValueOfSql(QStringLiteral("select datavalue from sysparamamth where ParamId=3003"), v);
        month = v.toString().trimmed().toInt();
    } catch (const std::exception &) {
        throw PubError(failure);
    }
    const QDate first(year, month, 1);
    if (year == 0 || month == 0 || !first.isValid())
        throw PubError(failure);
    return first;
}

// ---- remembered master choices ----

namespace {

const QString kSystemIni = QStringLiteral("System.ini");

bool isRemembered(const QString &name)
{
    for (const QString &n : RememberedComboNames())
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The form's combos that remember their value and are bound to a field.
QList<widgets::TRqLookupCombo *> rememberedCombos(QWidget *form)
{
    QList<widgets::TRqLookupCombo *> out;
    for (widgets::TRqLookupCombo *c : form->findChildren<widgets::TRqLookupCombo *>())
        if (isRemembered(c->objectName()) && c->DataSource() && c->DataSource()->DataSet()
            && !c->DataField().isEmpty())
            out << c;
    return out;
}

} // namespace

const QStringList &RememberedComboNames()
{
    static const QStringList names = QStringLiteral(
                                         "cmbnoteKind\ncmbPayMethod\ncmbAccount\ncmbTranslateType\ncmbNoteType\n"
                                         "cmbBuildingID\ncmbIOType\ncmbStoreM\ncmbWorkShop\ncmbOutAccount\n"
                                         "cmbInAccount\ncmbSubID\ncmbOutBuildingID\ncmbInBuildingID")
                                         .split(u'\n');
    return names;
}

void SaveNoteDefaults(QWidget *form)
{
    if (!form)
        return;
    try {
        for (widgets::TRqLookupCombo *combo : rememberedCombos(form)) {
            data::Field *field = combo->DataSource()->DataSet()->FindField(combo->DataField());
            if (!field)
                continue;
            WriteIni(kSystemIni, form->objectName(), field->FieldName(), field->AsString());
        }
    } catch (const std::exception &) {
        ShowError(QStringLiteral("保存单据设置出错。"));
    }
}

void LoadNoteDefaults(QWidget *form, data::ClientDataSet *master)
{
    if (!form || !master)
        return;
    try {
        const QString section = form->objectName();
        if (!IniSectionExists(kSystemIni, section))
            return;
        const QList<widgets::TRqLookupCombo *> combos = form->findChildren<widgets::TRqLookupCombo *>();
        for (const QString &key : ReadIniSection(kSystemIni, section)) {
            data::Field *field = master->FindField(key);
            if (!field)
                continue;
            const QString value = ReadIni(kSystemIni, section, key);
            if (value.isEmpty())
                continue; // an empty choice leaves the new note's default
            // A value shown through a lookup combo must still be in its list
            // (a store closed since, a partner deleted).
            bool offered = true;
            for (widgets::TRqLookupCombo *combo : combos) {
                if (!combo->DataSource() || combo->DataSource()->DataSet() != master
                    || combo->DataField().compare(field->FieldName(), Qt::CaseInsensitive) != 0)
                    continue;
                data::ClientDataSet *list = combo->ListDataSet();
                if (list && !combo->KeyField().isEmpty()) {
                    const data::Bookmark here = list->GetBookmark();
                    offered = list->Locate(combo->KeyField(), value, data::LocateCaseInsensitive);
                    if (here.IsValid() && list->BookmarkValid(here))
                        list->GotoBookmark(here);
                }
                break;
            }
            if (!offered)
                continue;
            if (master->State() != data::DataSetState::Edit && master->State() != data::DataSetState::Insert)
                master->Edit();
            SetFieldValue(field, value, true);
        }
    } catch (const std::exception &) {
        ShowError(QStringLiteral("自动填充单据出错。"));
    }
}

// ---- printer / template per form ----

namespace {
const QString kPrintIni = QStringLiteral("PrintName.ini");
}

PrintChoice ReadPrintChoice(const QString &className)
{
    const QString section = className.toUpper();
    PrintChoice c;
    c.formName = ReadIni(kPrintIni, section, QStringLiteral("FORMNAME"));
    c.id = ReadIniInt(kPrintIni, section, QStringLiteral("ID"), 0);
    return c;
}

void WritePrintChoice(const QString &className, const PrintChoice &choice)
{
    const QString section = className.toUpper();
    try {
        WriteIni(kPrintIni, section, QStringLiteral("FORMNAME"), choice.formName);
        WriteIniInt(kPrintIni, section, QStringLiteral("ID"), choice.id);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

// ---- choosing an accounting subject ----

std::optional<int> ChooseSubject(int currentSubject)
{
    QnParams params;
    params.AddValue(QString::fromLatin1(kInSubjectParam), currentSubject);
    try {
        if (GlobalCall(QString::fromLatin1(kFinanceFunction), QString::fromLatin1(kSelectSubjectArgument), &params)
            != 0)
            return std::nullopt;
        if (!params.FindValue(QString::fromLatin1(kOutSubjectParam)))
            return std::nullopt;
        return params.GetValue(QString::fromLatin1(kOutSubjectParam)).toInt();
    } catch (const std::exception &e) {
        ShowError(e);
        return std::nullopt;
    }
}

// ---- choosing a person ----

QString PersonPickerCaption(int noteType)
{
    return noteType == 29 ? QStringLiteral("选择领料人") : QStringLiteral("选择生产工人");
}

std::optional<qint64> ChoosePerson(const EmployeePickerFactory &factory, const QString &caption, qint64 currentId)
{
    if (!factory)
        return std::nullopt;
    std::unique_ptr<EmployeePicker> picker = factory();
    if (!picker || !picker->Window())
        return std::nullopt;
    picker->Window()->setWindowTitle(caption);
    picker->Clear();
    picker->SetCurrentId(currentId);
    if (ShowModal(picker->Window()) != 1)
        return std::nullopt;
    return picker->SelectedId();
}

bool ChoosePersonForField(const EmployeePickerFactory &factory, data::Field *field, int noteType)
{
    if (!field)
        return false;
    const std::optional<qint64> chosen =
        ChoosePerson(factory, PersonPickerCaption(noteType), GetFieldValue(field, 0).toLongLong());
    if (!chosen)
        return false;
    data::ClientDataSet *ds = field->DataSet();
    if (ds->State() != data::DataSetState::Edit && ds->State() != data::DataSetState::Insert)
        ds->Edit();
    if (*chosen != 0)
        field->SetValue(*chosen);
    return true;
}
