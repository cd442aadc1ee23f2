#include "HostFunctions.h"

#include "Globals.h"
#include "Registry.h"
#include "db/Database.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace notehost {

namespace {
QPointer<QMdiArea> s_area;
constexpr long kFail = long(0x80004005);
} // namespace

QVector<int> operatorsHolding(int itemId, int action)
{
    const db::ResultSet rs = RequireDB().select(
        QStringLiteral("select OPERATEID from operatormth where CLOSED = 0 and (ISADMIN = 1 or OPERATEID in "
                       "(select OPERATEID from privilegemth where PRIVILEGEID = :item and ACTION = :action)) "
                       "order by OPERATEID"),
        {{QStringLiteral("item"), itemId}, {QStringLiteral("action"), action}});
    QVector<int> ids;
    for (const auto &row : rs.rows)
        ids << row.value(0).toInt();
    return ids;
}

long GetUserList(const QString &, const QString &, QnParams *params)
{
    if (!params)
        return kFail;
    const QVector<int> ids = operatorsHolding(params->GetValue(QStringLiteral("iModId"), 0).toInt(),
                                              params->GetValue(QStringLiteral("iPrtypesid"), 0).toInt());
    QStringList texts;
    for (int id : ids)
        texts << QString::number(id);
    const QString listName = QStringLiteral("UserNameList");
    const QnVariant list = params->GetValue(listName, QnVariant());
    if (list.type() == QnVariant::Type::Object && list.toPointer())
        *static_cast<QStringList *>(list.toPointer()) << texts;
    else
        params->AddValue(listName, texts.join(u','));
    params->AddValue(QStringLiteral("UserCount"), int(ids.size()));
    return 0;
}

void setMdiArea(QMdiArea *area) { s_area = area; }
QMdiArea *mdiArea() { return s_area; }

QMdiSubWindow *showMdiChild(QWidget *form)
{
    if (!form)
        return nullptr;
    form->setAttribute(Qt::WA_DeleteOnClose);
    if (!s_area) {
        form->show();
        form->raise();
        return nullptr;
    }
    for (QMdiSubWindow *sub : s_area->subWindowList()) {
        if (sub->widget() == form) {
            sub->show();
            s_area->setActiveSubWindow(sub);
            return sub;
        }
    }
    // The form's own (design) size, which the frame would otherwise shrink to
    // its size hint; a size the user kept is applied when the form is shown.
    const QSize wanted = form->size();
    QMdiSubWindow *sub = s_area->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    const QSize frame = sub->size() - form->size();
    sub->resize((wanted + frame).boundedTo(s_area->viewport()->size()));
    sub->setWindowTitle(form->windowTitle());
    sub->setWindowIcon(form->windowIcon());
    // A form that frees itself takes its frame along.
    QObject::connect(form, &QObject::destroyed, sub, [sub] { sub->deleteLater(); });
    sub->show();
    form->show();
    s_area->setActiveSubWindow(sub);
    return sub;
}

long AddMdiChild(const QString &, const QString &, QnParams *params)
{
    if (!params)
        return kFail;
    QWidget *form = nullptr;
    try {
        form = qobject_cast<QWidget *>(params->GetValue(QStringLiteral("FORM"), QnVariant()).toObject());
    } catch (const std::exception &) {
        form = nullptr; // not an object: refused below
    }
    const bool added = form && s_area && showMdiChild(form);
    params->AddValue(QStringLiteral("RESULT"), added);
    return added ? 0 : kFail;
}

void registerHostFunctions()
{
    RegistFunction(QStringLiteral("GETUSERLIST"), &GetUserList);
    RegistFunction(QStringLiteral("ADDMDICHILD"), &AddMdiChild);
}

} // namespace notehost
