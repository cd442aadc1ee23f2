#pragma once
// The audit stock check: the database lists the stock problems an audit (1)
// or un-audit (-1) of a note would cause, and the user ignores or cancels.

#include <QDialog>

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data

class QLabel;
class QPushButton;

class TnotebookzeroForm : public QDialog {
    Q_OBJECT
public:
    // Shows the rows of `rows` (the procedure's result); modal result 1 is "忽略".
    TnotebookzeroForm(data::ClientDataSet *rows, bool fatal, QWidget *owner = nullptr);

private:
    data::DataSource *m_source;
    QLabel *lbError;
    QPushButton *btnIgnore;
    QPushButton *btnCancel;
};

// True when the database reports nothing, or the user chose "忽略". A failing
// query is shown and gives false.
bool ConfirmStockCheck(int noteType, int noteId, int purpose);
