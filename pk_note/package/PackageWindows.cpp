#include "PackageWindows.h"

#include <QHash>

namespace pk_note {

namespace {
QHash<QString, WindowFactory> &factories()
{
    static QHash<QString, WindowFactory> table;
    return table;
}
} // namespace

void RegisterFormClass(const QString &className, WindowFactory factory)
{
    factories().insert(className.toUpper(), std::move(factory));
}

WindowFactory FormClassFactory(const QString &className) { return factories().value(className.toUpper()); }

QWidget *CreateFormClass(const QString &className, QWidget *owner)
{
    const WindowFactory f = FormClassFactory(className);
    return f ? f(owner) : nullptr;
}

FormClassRegistrar::FormClassRegistrar(const char *className, WindowFactory factory)
{
    RegisterFormClass(QString::fromLatin1(className), std::move(factory));
}

} // namespace pk_note
