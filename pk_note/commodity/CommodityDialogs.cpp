#include "CommodityDialogs.h"

#include "PickbcodeForm.h"
#include "Pub.h"
#include "SetPriceForm.h"
#include "qryDetailForm.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <cmath>
#include <memory>
#include <utility>

namespace commodity {

namespace {

// Opens a dialog on a request and hands back its result after OK; a failure
// to read what it shows is shown and gives nothing.
template <class Form, class Request, class Take>
auto runDialog(const Request &request, QWidget *parent, Take take) -> decltype(take(std::declval<Form &>()))
{
    std::unique_ptr<Form> form(new Form(parent));
    try {
        form->Open(request);
    } catch (const std::exception &e) {
        ShowError(e);
        return {};
    }
    if (ShowModal(form.get()) != QDialog::Accepted)
        return {};
    return take(*form);
}

} // namespace

std::optional<BatchChoice> PickBatch(const BatchRequest &request, QWidget *parent)
{
    return runDialog<TPickbcodeForm>(request, parent, [](TPickbcodeForm &f) { return f.Choice(); });
}

std::optional<LineValues> SetLinePrice(const PriceRequest &request, QWidget *parent)
{
    return runDialog<TSetPriceForm>(request, parent,
                                    [](TSetPriceForm &f) { return std::optional<LineValues>(f.Line()); });
}

QString BreakdownTable(int noteType)
{
    switch (noteType) {
    case -999:
    case -99: return QStringLiteral("CommodityDetail");
    case 2: return QStringLiteral("orderpthdetail2");
    case 4: return QStringLiteral("purchasepthdetail2");
    case 11: return QStringLiteral("salesthplandetail2");
    case 12: return QStringLiteral("ordersthdetail2");
    case 13: return QStringLiteral("DeputeMarketsthdetail2");
    case 14: return QStringLiteral("salesthdetail2");
    case 22:
    case 24: return QStringLiteral("OtherInithdetail2");
    case 23: return QStringLiteral("OtherOutithdetail2");
    case 25: return QStringLiteral("drawithdetail2");
    case 26: return QStringLiteral("Badsthithdetail2");
    case 29: return QStringLiteral("Attaintithdetail2");
    case 30: return QStringLiteral("BalItemithDetail2");
    case 42: return QStringLiteral("manuordermnfth2");
    case 43: return QStringLiteral("manuplanmnfthdetail2");
    case 90: return QStringLiteral("finishedmnfthDetail2");
    default: return {};
    }
}

bool BreakdownEmpty(const ColorSizeKey &key)
{
    const QString table = key.table.isEmpty() ? BreakdownTable(key.noteType) : key.table;
    if (table.isEmpty())
        return true;
    QVariant count;
    GetValueOfSql(QStringLiteral("Select Count(0) as Quantity from ") + table + QStringLiteral(" where noteType = ")
                      + QString::number(key.noteType) + QStringLiteral(" And noteID = ") + QString::number(key.noteId)
                      + QStringLiteral("and noteKind = ") + QString::number(key.noteKind),
                  count);
    return count.toLongLong() == 0;
}

std::optional<double> EditColorSize(const ColorSizeKey &source, const ColorSizeKey &target, bool editable,
                                    QWidget *parent)
{
    std::unique_ptr<TqryDetailForm> form(new TqryDetailForm(parent));
    try {
        form->Open(source, target, editable);
    } catch (const std::exception &e) {
        ShowError(e);
        return std::nullopt;
    }
    // OK has written the cells when the matrix could be changed.
    if (ShowModal(form.get()) != QDialog::Accepted || !form->Editable())
        return std::nullopt;
    return std::trunc(form->Total());
}

QValidator *NewNumberValidator(QObject *parent)
{
    static const QRegularExpression number(QStringLiteral(R"(-?\d{0,12}(\.\d{0,8})?)"));
    return new QRegularExpressionValidator(number, parent);
}

QString NumberText(double value, int decimals)
{
    QString s = QString::number(value, 'f', std::max(decimals, 0));
    if (s.contains(u'.')) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(u'.'))
            s.chop(1);
    }
    if (s == QStringLiteral("-0"))
        s = QStringLiteral("0");
    return s;
}

} // namespace commodity
