#include "HostFunctions.h"

#include "Globals.h"
#include "Registry.h"
#include "db/Database.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <algorithm>

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
    // The frame's title bar and borders are its contents margins (the frame's
    // size is not yet the form's here).
    sub->ensurePolished();
    form->ensurePolished();
    const QMargins m = sub->contentsMargins();
    const QSize frame(m.left() + m.right(), m.top() + m.bottom());
    // Within the area where it fits, never below what its controls need
    // (the area scrolls then).
    sub->resize((wanted + frame).boundedTo(s_area->viewport()->size()).expandedTo(form->minimumSizeHint() + frame));
    sub->setWindowTitle(form->windowTitle());
    sub->setWindowIcon(form->windowIcon());
    // A form that frees itself takes its frame along.
    QObject::connect(form, &QObject::destroyed, sub, [sub] { sub->deleteLater(); });
    sub->show();
    form->show();
    // A frame wider than the area is placed with its right edge in view: the
    // form's start, where a clerk begins, is what must show.
    if (sub->x() < 0 || sub->y() < 0)
        sub->move(std::max(0, sub->x()), std::max(0, sub->y()));
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
