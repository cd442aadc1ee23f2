#pragma once
// Forms registered under a name and privilege id, and named functions that any
// package may call through GlobalCall.

#include "QnParams.h"

#include <QString>
#include <QVector>

#include <functional>

class QWidget;

// Creates a new window of a registered form; `owner` becomes its parent.
using FormFactory = std::function<QWidget *(QWidget *owner)>;
// HRESULT-style: 0 success, 0x80004005 refusal.
using GlobalFunction = long (*)(const QString &function, const QString &argument, QnParams *params);

struct PrivilegedForm {
    QString name;
    FormFactory factory;
    int privilegeId = 0;
};

// Appends a form; duplicates are kept in registration order.
void RegisterPrivilegedForm(const QString &name, FormFactory factory, int privilegeId);
const QVector<PrivilegedForm> &RegisteredForms();

// Registers `handler` under `name` (any case); a later registration of the
// same name replaces the handler.
void RegistFunction(const QString &name, GlobalFunction handler);
// Registered function names in first-registration order.
QStringList RegisteredFunctions();
// Runs the function registered under `name`; 0 when there is none.
long GlobalCall(const QString &name, const QString &argument, QnParams *params = nullptr);

// The privilege id of the first form registered under `name` (any case); 0 when
// unknown.
int GetPrivilegedFormID(const QString &name);
// A new window of the form when the current user holds `action` on its
// privilege id; null for an unknown name or a form without factory (silently)
// and when the right is missing, after the warning
// "对不起,你没有[" + name + "]的" + action name + "权限!".
QWidget *GetPrivilegedForm(const QString &name, int action, QWidget *owner = nullptr);

// Forgets every form and function (the host's tests start from a clean slate).
void ClearRegistrations();
