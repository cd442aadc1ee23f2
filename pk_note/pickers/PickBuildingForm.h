#pragma once
// TPickBuildingForm: the store picker ("选择仓库") of a commodity line. The
// head-office stores, narrowed by code and name; the text typed in the line
// is the first code filter.

#include "MasterPickForm.h"
#include "PackageWindows.h"

class TPickBuildingForm : public TMasterPickForm, public pk_note::IStorePicker {
    Q_OBJECT
public:
    explicit TPickBuildingForm(QWidget *owner = nullptr);

    void SetFilterText(const QString &text) override;
    qint64 SelectedStore() const override { return m_selected; }

    QLineEdit *edCode;
    QLineEdit *edName;

protected:
    QString BaseSql() const override;
    QStringList Conditions() const override;
    bool AcceptCurrent() override;

private:
    qint64 m_selected = 0;
};
