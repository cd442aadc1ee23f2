#include "Registry.h"

#include "Messages.h"
#include "Privileges.h"

#include <QHash>

namespace {

struct State {
    QVector<PrivilegedForm> forms;
    QStringList functionOrder;               // as first registered
    QHash<QString, GlobalFunction> functions; // upper-case name
};

State &state()
{
    static State s;
    return s;
}

const PrivilegedForm *findForm(const QString &name)
{
    for (const PrivilegedForm &f : state().forms)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

} // namespace

void RegisterPrivilegedForm(const QString &name, FormFactory factory, int privilegeId)
{
    state().forms.push_back({name, std::move(factory), privilegeId});
}

const QVector<PrivilegedForm> &RegisteredForms() { return state().forms; }

void RegistFunction(const QString &name, GlobalFunction handler)
{
    const QString key = name.toUpper();
    if (!state().functions.contains(key))
        state().functionOrder << name;
    state().functions.insert(key, handler);
}

QStringList RegisteredFunctions() { return state().functionOrder; }

long GlobalCall(const QString &name, const QString &argument, QnParams *params)
{
    const GlobalFunction f = state().functions.value(name.toUpper());
    if (!f)
        return 0;
    return f(name, argument, params);
}

int GetPrivilegedFormID(const QString &name)
{
    const PrivilegedForm *f = findForm(name);
    return f ? f->privilegeId : 0;
}

QWidget *GetPrivilegedForm(const QString &name, int action, QWidget *owner)
{
    const PrivilegedForm *f = findForm(name);
    if (!f || !f->factory)
        return nullptr;
    if (!GetUPrivilegeItem(f->privilegeId, action)) {
        ShowWarning(QStringLiteral("对不起,你没有[") + f->name + QStringLiteral("]的") + PrivilegeActionName(action) +
                    QStringLiteral("权限!"));
        return nullptr;
    }
    // Copy: the factory may register further forms and move the vector.
    const FormFactory factory = f->factory;
    return factory(owner);
}

void ClearRegistrations()
{
    state() = State();
}
