#pragma once
// What the main window's menus offer: every registered form under its business
// area with its Chinese name, and the package functions that are not forms.

#include <QString>
#include <QStringList>
#include <QVector>

namespace notehost {

struct MenuEntry {
    QString area;       // menu title: "采购", "销售", ...
    QString caption;    // the entry's text
    QString formName;   // registered form it opens; empty for a pure function
    QString function;   // GlobalCall name
    QString argument;   // GlobalCall argument
    int privilegeId = 0; // 0: the form's registered id
    int action = 1;     // privilege action the entry needs
    QString windowClass; // the package's window a function entry opens; empty: none
};

// Menu titles in menu-bar order.
QStringList menuAreas();
// Every entry in menu order; each of the 53 registered forms appears once.
const QVector<MenuEntry> &menuEntries();
// The Chinese name of a registered form (any case); empty when unknown.
QString formCaption(const QString &formName);

} // namespace notehost
