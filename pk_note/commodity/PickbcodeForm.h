#pragma once
// TPickbcodeForm: the batch picker of a commodity line ("请选择批次"). Lists
// the open batches of one commodity, oldest first, optionally in one store;
// a batch-number combo narrows the list.

#include "CommodityDialogs.h"

#include <QDialog>

class QComboBox;
class QPushButton;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

class TPickbcodeForm : public QDialog {
    Q_OBJECT
public:
    explicit TPickbcodeForm(QWidget *parent = nullptr);

    // Reads the open batches; throws the database's error.
    void Open(const commodity::BatchRequest &request);
    // The row under the cursor; nothing when the list is empty.
    std::optional<commodity::BatchChoice> Choice() const;

    QComboBox *cmbBcode;
    widgets::TRqDBGrid *BcodeGrid;
    QPushButton *OkBtn;
    QPushButton *CancelBtn;
    data::ClientDataSet *cdsBcode;
    data::DataSource *dsBcode;

public slots:
    void OkBtnClick();
    void CancelBtnClick();
    void cmbBcodeChange(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupColumns();
};
