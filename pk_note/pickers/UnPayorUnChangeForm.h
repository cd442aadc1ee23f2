#pragma once
// TUnPayorUnChangeForm: the partner's audited notes still open for a payment
// (purchase receipts) or a receipt of money (sales), for the turn-in of the
// money notes ("请选择单据"). The user ticks notes; OK is modal result 1.
//
// Keyboard: Space ticks the current row, Enter is OK, Esc cancels.

#include <QDialog>

class QPushButton;
class QStyledItemDelegate;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

class TUnPayorUnChangeForm : public QDialog {
    Q_OBJECT
public:
    explicit TUnPayorUnChangeForm(QWidget *owner = nullptr);

    // The statement listing the open notes of `noteType` (4 purchase
    // receipts, 14 sales) of the parameter :partnerid; empty for another type.
    static QString NotesSql(int noteType);
    // Lists the open notes of the partner; false (and why shown) when the
    // note type is not one a money note settles or the list can't be read.
    bool OpenNotes(int noteType, qint64 partnerId);
    data::ClientDataSet *Notes() const { return qryNotes; }

    // Ticks or clears every row; flips the current one.
    void SelectAll(bool selected);
    void ToggleCurrent();

    data::ClientDataSet *qryNotes = nullptr;
    data::DataSource *dsNotes = nullptr;
    widgets::TRqDBGrid *NoteGrid = nullptr;
    QPushButton *btnView = nullptr, *btnAll = nullptr, *btnNone = nullptr, *OkBtn = nullptr, *CancelBtn = nullptr;

public slots:
    void btnViewClick();
    void OkBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStyledItemDelegate *m_tick = nullptr;
};
