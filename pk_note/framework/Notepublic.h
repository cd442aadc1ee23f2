#pragma once
// Shared document routines: field access with defaults, note-type classes,
// new note numbers, partner and default prices, amounts in Chinese capitals,
// the current business period, remembered master choices and the printer of
// a form. They keep no state; everything comes from the books, the host's
// services or the settings files beside the program.

#include "NoteTypes.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace data {
class ClientDataSet;
class Field;
} // namespace data

// ---- fields ----

// The field's value; `defaultValue` when the field is missing (null) or null.
QVariant GetFieldValue(const data::Field *field, const QVariant &defaultValue = QVariant());
// Nothing when the field is missing. A null or empty value clears the field,
// anything else is assigned. With `fire` the field's OnChange runs, without it
// the write goes through SetFieldValueSilent.
void SetFieldValue(data::Field *field, const QVariant &value, bool fire = true);
// Detaches the field's OnChange, clears or assigns, and puts it back (also
// when the write throws).
void SetFieldValueSilent(data::Field *field, const QVariant &value);

// The table named after the first FROM of a select text, as written there;
// empty when there is none.
QString DetailTableOfSql(const QString &sql);

// ---- note types ----

bool IsPurchaseNoteType(int noteType); // 1..9
bool IsSalesNoteType(int noteType);    // 11..19
bool IsStockNoteType(int noteType);    // 21..39
// 1 purchase, 2 sales, 3 anything else.
int PriceClassOfNoteType(int noteType);

// ---- numbering ----

// The number of a new note of `noteType` dated `date`, from the type's rule in
// notetypelth and the highest serial of the period in the master table
// (`masterTable`, or the type's own when empty). A database error is shown
// and gives the empty text.
QString NewNoteCode(int noteType, const QDate &date, const QString &masterTable = {});
// The same number, reserved in notecodereserveth so no other window or client
// gets it: when it is already reserved or used by a saved note, the next
// serial is taken. Runs in one write transaction. An error is shown and gives
// the empty text (nothing reserved).
QString ReserveNoteCode(int noteType, const QDate &date, const QString &masterTable = {});
// Frees a number reserved by ReserveNoteCode (nothing for the empty text).
void ReleaseNoteCode(int noteType, const QString &code);
// Whether a saved note other than `ownKey` in the master table holds `code`.
// Throws on a database error.
bool NoteCodeUsed(const QString &masterTable, const QString &keyField, qint64 ownKey, const QString &code);

// ---- prices ----

// The agreed price of a partner for a commodity; -1 when there is none (or on
// a database error, which is shown).
double PartnerPrice(qint64 partnerId, qint64 commodityId);
// The four prices of the database's procedure GetCommodityMultiPrice for the
// note type's price class; null prices read as 0. Throws db::DbError.
struct CommodityPrices {
    double defaultPrice = 0;
    double lastPrice = 0;
    double levPrice = 0;
    double spPrice = 0;
};
CommodityPrices CommodityMultiPrice(int noteType, qint64 commodityId, qint64 partnerId, qint64 batchRef,
                                    qint64 storeId);
// The default price from the database's multi-price procedure, brought to the
// price precision. A database error is shown and gives 0, so a line never
// takes a negative price from a failure.
double DefaultPrice(int noteType, qint64 commodityId, qint64 partnerId, qint64 batchRef, qint64 storeId);

// ---- amounts ----

// The amount in Chinese capital numerals ("壹佰元零壹分", "壹元整"). The amount
// is taken as a fixed-point value with four decimals and written to the fen.
// Amounts from one trillion up have no words: the text is empty.
QString AmountInWords(double amount);
// The "#0.00" digits as capitals for printing into boxes, behind "￥" and
// leading blanks that align amounts of different lengths to the right.
QString AmountInBoxes(double amount);

// ---- business period ----

// The first day of the current business month (parameters 3002 year and 3003
// month). Throws PubError "取当前业务期间出错." when either is missing or 0.
QDate CurrentPeriodDate();

// ---- remembered master choices ("System.ini") ----

// Object names of the master lookup combos whose values a form remembers.
const QStringList &RememberedComboNames();
// Writes the data-field values of the form's remembered combos to "System.ini"
// in the section named after the form (its objectName). A failure shows
// "保存单据设置出错。" and the document goes on.
void SaveNoteDefaults(QWidget *form);
// On a new note: when the form's section exists, each field of `master` named
// in it receives the remembered value (with its change event). A value bound
// to a lookup combo is taken only when the combo's list holds it. A failure
// shows "自动填充单据出错。" and the document goes on.
void LoadNoteDefaults(QWidget *form, data::ClientDataSet *master);

// ---- printer / template per form ("PrintName.ini") ----

struct PrintChoice {
    QString formName; // key "FORMNAME"
    int id = 0;       // key "ID"
};
// The choice remembered for a window class (section: the upper-cased class name).
PrintChoice ReadPrintChoice(const QString &className);
// Remembers the choice; a file that cannot be written is shown as an error.
void WritePrintChoice(const QString &className, const PrintChoice &choice);

// ---- choosing an accounting subject ----

// Names in the call bag of the finance package's subject chooser.
inline constexpr const char *kFinanceFunction = "SHOWFINANCEFORM";
inline constexpr const char *kSelectSubjectArgument = "SELECTSUBJECTID";
inline constexpr const char *kInSubjectParam = "INSUBID";
inline constexpr const char *kOutSubjectParam = "SUBJECTID";
// Asks the finance package for a subject, starting at `currentSubject`. The
// chosen id comes back in the bag under "SUBJECTID"; nothing when the call
// failed, was cancelled or the finance package is not there.
std::optional<int> ChooseSubject(int currentSubject);

// ---- choosing a person ----

// What the routines need of the employee picker (the pickers supply it).
class EmployeePicker {
public:
    virtual ~EmployeePicker() = default;
    // The window shown modally through the host; result 1 is OK.
    virtual QWidget *Window() = 0;
    virtual void Clear() = 0;
    virtual void SetCurrentId(qint64 id) = 0;
    // The chosen employee; 0 when none.
    virtual qint64 SelectedId() const = 0;
};
using EmployeePickerFactory = std::function<std::unique_ptr<EmployeePicker>()>;

// "选择领料人" for note type 29, else "选择生产工人".
QString PersonPickerCaption(int noteType);
// Shows a new picker with `caption`, positioned on `currentId`; the chosen id
// on OK (0 when the picker returned none), nothing on cancel or without a
// factory.
std::optional<qint64> ChoosePerson(const EmployeePickerFactory &factory, const QString &caption,
                                   qint64 currentId);
// The same for a field: positioned on its value; on OK the field's data set is
// put into edit and a non-zero choice is written with its change event.
// Returns whether the user pressed OK.
bool ChoosePersonForField(const EmployeePickerFactory &factory, data::Field *field, int noteType);
