#include "StockNote.h"

#include "DataAccess.h"
#include "Notepublic.h"
#include "Rounding.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QLabel>

TStockNoteForm::TStockNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail, QWidget *owner)
    : TCommoditynoteForm(resource, detail, owner)
{
    PriceClass = 3;
    // A chosen commodity is valued at its cost in the master's store; an
    // issuing note stores that as its price too.
    AddDetailRule(QStringLiteral("COMMODITYID"), [this](data::Field &f) {
        if (f.IsNull())
            return;
        const double cost = FormatPrice(StockCost(f.AsInteger(), MasterValue(QStringLiteral("BUILDINGID"), 0).toLongLong()));
        SetFieldValue(cdsDetail->FindField(Columns.APrice), cost, false);
        if (PriceIsCost)
            SetFieldValue(cdsDetail->FindField(QStringLiteral("PRICE")), cost);
    });
}

void TStockNoteForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TCommoditynoteForm::InitNewNote(dataSet);
    if (data::Field *kind = dataSet.FindField(QStringLiteral("NOTEKIND")); kind && kind->IsNull())
        SetFieldValueSilent(kind, 1);
}

double TStockNoteForm::StockCost(qint64 commodityId, qint64 storeId)
{
    if (commodityId <= 0 || storeId <= 0)
        return 0;
    QVariant price;
    GetValueOfSql(QStringLiteral("select PRICE from onhandaath where COMMODITYID=") + QString::number(commodityId)
                      + QStringLiteral(" and BUILDINGID=") + QString::number(storeId),
                  price);
    return price.toDouble();
}

void TStockNoteForm::PrepareSave()
{
    TCommoditynoteForm::PrepareSave();
    if (!PriceIsCost || !cdsDetail->Active())
        return;
    data::Field *price = cdsDetail->FindField(QStringLiteral("PRICE"));
    data::Field *cost = cdsDetail->FindField(Columns.APrice);
    if (!price || !cost)
        return;
    const DetailUpdate update(*this);
    cdsDetail->CheckBrowseMode();
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
        if (price->Value() == cost->Value())
            continue;
        cdsDetail->Edit();
        SetFieldValueSilent(price, cost->Value());
        cdsDetail->Post();
    }
}

void TStockNoteForm::SetMasterCaption(const char *labelName, const QString &caption)
{
    if (auto *label = findChild<QLabel *>(QString::fromLatin1(labelName)))
        label->setText(caption);
}
