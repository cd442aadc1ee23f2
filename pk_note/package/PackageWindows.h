#pragma once
// Windows of the package by class name, and what note_Call needs of the
// windows that later units build (pickers, finder, template manager, cost
// dialog). A unit makes its class known with a registrar in its .cpp:
//     static pk_note::FormClassRegistrar reg("TPBuyForm", [](QWidget *o) { return new TPBuyForm(o); });
// noteLoad hands the factory of each registered form to the host; a class
// nobody registered yet goes to the host with a null factory.

#include <QString>

#include <functional>

#include <QVariantList>

class QObject;
class QWidget;

namespace data {
class ClientDataSet;
}

namespace pk_note {

using WindowFactory = std::function<QWidget *(QWidget *owner)>;

void RegisterFormClass(const QString &className, WindowFactory factory);
// Null when the class is not built (yet).
WindowFactory FormClassFactory(const QString &className);
// A new window of the class, or null when the class is not built.
QWidget *CreateFormClass(const QString &className, QWidget *owner = nullptr);

struct FormClassRegistrar {
    FormClassRegistrar(const char *className, WindowFactory factory);
};

// Supplier, customer and employee pickers (TPickpartnerForm, TPickClientForm,
// TPickEmpForm). Modal result 1 means OK.
class IPicker {
public:
    virtual ~IPicker() = default;
    virtual void Clear() = 0;
    virtual void SetCurrentId(int id) = 0;
    virtual int SelectedId() const = 0;
};

// The print-template manager (TparentSamForm): gets the calling combo's tag and
// the combo before it is shown; modal result 1 = a new row (go last), 2 = go first.
class ITemplateManager {
public:
    virtual ~ITemplateManager() = default;
    virtual void SetTemplateCombo(int tag, QObject *combo) = 0;
};

// The price enquiry (TGetPriceForm, "价格查询"), opened from any commodity document.
class IPriceEnquiry {
public:
    virtual ~IPriceEnquiry() = default;
    // Shows the agreed prices of `partner` (a customer or a supplier).
    virtual void ShowPartner(qint64 partner) = 0;
};

// The document finder (TFindnoteForm): selects a note type in its list and refreshes.
class INoteFinder {
public:
    virtual ~INoteFinder() = default;
    virtual void SelectNoteType(int noteType) = 0;
};

// The cost-calculation dialog (TCostCaculatorForm); modal result 1 = done.
class ICostCalculator {
public:
    virtual ~ICostCalculator() = default;
    virtual void SetRecalculate(bool recalculate) = 0;
};

// The commodity picker (TPickCommodityForm): opened by a master-detail note on
// its store (0: all) and partner (0: none); it adds the chosen commodities to
// the note's lines itself. Modal result 1 means OK.
class ICommodityPicker {
public:
    virtual ~ICommodityPicker() = default;
    virtual void SetDocument(QWidget *note, qint64 storeId, qint64 partnerId) = 0;
};

// The store picker (TPickBuildingForm): the text the user typed is its first
// filter; the chosen store after OK (modal result 1), 0 when none.
class IStorePicker {
public:
    virtual ~IStorePicker() = default;
    virtual void SetFilterText(const QString &text) = 0;
    virtual qint64 SelectedStore() const = 0;
};

// The source-document selector (TnoteSelectorForm): told which document opens
// it (its class picks the source lists), opened with the document's parameter
// values in order, then shown modally (1 = OK). The lines ticked carry
// Selected = 1 in SelectedLines().
class INoteSelector {
public:
    virtual ~INoteSelector() = default;
    // False (and an error shown) when the document's class has no source lists.
    virtual bool SetDocument(QWidget *note) = 0;
    // False (and the database's error shown) when a list cannot be read.
    virtual bool OpenSelection(const QVariantList &params) = 0;
    virtual data::ClientDataSet *SelectedLines() const = 0;
    // "根据批次被引用数量自动拆分": split batch lines by what was drawn from them.
    virtual bool SplitByBatch() const = 0;
};

// A master-detail window that picks commodities for a commodity combo.
class ICommodityPickHost {
public:
    virtual ~ICommodityPickHost() = default;
    // The data source of the detail lines (compared with the combo's "dataSource").
    virtual QObject *DetailDataSource() const = 0;
    virtual void PickCommodity(bool detailCombo) = 0;
};

// A document window that starts a new note from a source note: the purchase
// receipt made from an order or an estimated receipt, the order made from the
// open lines of a plan. Returns false (and says why) when nothing can be made.
class ISourceNoteLoader {
public:
    virtual ~ISourceNoteLoader() = default;
    virtual bool LoadForSource(int sourceNoteType, qint64 sourceNoteId) = 0;
};
} // namespace pk_note
