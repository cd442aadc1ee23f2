#include "Noteboot.h"

#include "Pub.h"

#include <QEvent>
#include <QMetaMethod>

namespace {
bool isLookupCombo(QObject *o)
{
    return o->metaObject()->indexOfSignal("utilityCommand(QString)") >= 0;
}
} // namespace

TnoteBootForm::TnoteBootForm(const QString &formName, QWidget *owner) : QWidget(owner)
{
    setObjectName(formName);
}

TnoteBootForm::~TnoteBootForm()
{
    // The children die after this object's members.
    for (QObject *child : std::as_const(m_initialised))
        disconnect(child, &QObject::destroyed, this, nullptr);
}

long TnoteBootForm::noteMessage(int, qlonglong, qlonglong)
{
    InitComponents();
    return 0;
}

void TnoteBootForm::InitComponents() { walk(this); }

void TnoteBootForm::walk(QObject *parent)
{
    for (QObject *child : parent->children()) {
        if (!m_initialised.contains(child)) {
            m_initialised.insert(child);
            // Forget the object when it goes, so a new one at the same address is seen.
            connect(child, &QObject::destroyed, this, [this, child] { m_initialised.remove(child); });
            InitComponent(child);
        }
        // Windows of their own initialise their own components.
        if (!qobject_cast<TnoteBootForm *>(child))
            walk(child);
    }
}

void TnoteBootForm::InitComponent(QObject *component)
{
    if (isLookupCombo(component))
        connect(component, SIGNAL(utilityCommand(QString)), this, SLOT(onComboUtility(QString)),
                Qt::UniqueConnection);
}

bool TnoteBootForm::event(QEvent *e)
{
    if (e->type() == QEvent::Polish)
        InitComponents();
    return QWidget::event(e);
}

void TnoteBootForm::onComboUtility(const QString &command)
{
    if (QObject *combo = sender())
        LookupComboUtility(combo, command);
}

bool TnoteBootForm::LookupComboUtility(QObject *combo, const QString &command)
{
    if (!combo)
        return false;
    QString name = command;
    if (name.endsWith(u'#'))
        name.chop(1);
    if (name == QStringLiteral("编辑")) {
        const QVariant key = combo->property("keyValue");
        if (!key.isValid() || key.isNull() || key.toString().isEmpty())
            return false;
        return ComboBoxUtilitys(combo, command, key.toInt());
    }
    return ComboBoxUtilitys(combo, command, GetPrivilegedFormID(objectName()));
}
