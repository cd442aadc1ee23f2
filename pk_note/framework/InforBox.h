#pragma once
// InforBox: the package's one-line input dialog.

#include "Noteboot.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TInforBoxForm : public TnoteBootForm {
    Q_OBJECT
public:
    explicit TInforBoxForm(QWidget *owner = nullptr);

    QLabel *lbPrompt;
    QLineEdit *edValue;
    QPushButton *OkBtn;
    QPushButton *ExitBtn;

public slots:
    void OkBtnClick();
    void ExitBtnClick();

private:
    void finish(int result);
};

// Shows the dialog modally (caption, prompt, "*" echo when `password`). On
// "确认" (modal result 1) `value` gets the text and the result is true; on
// "退出" or closing, `value` stays as it was.
bool InforBox(const QString &caption, const QString &prompt, QString &value, bool password);
