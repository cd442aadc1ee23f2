#pragma once
// The host's generic find dialog over a grid: rows of field, operator and
// value joined by "并且"/"或者", turned into an SQL condition on the
// expression behind each field. Values are checked against the field's type
// and quoted, so nothing a user types changes the shape of the statement.
// A TFindInstance keeps the rows between two openings of the dialog.

#include "data/Field.h"

#include <QDialog>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QTableWidget;
class QPushButton;

namespace widgets {

class TRqDBGrid;

struct FindField {
    QString fieldName;
    QString caption;
    QString expression; // what the condition compares; the field name when empty
    data::FieldType type = data::FieldType::String;
    QStringList choices; // offered values, the user may still type another
};

struct FindCondition {
    bool orJoin = false; // joined to the rows before by "或者" (else "并且")
    QString fieldName;
    QString op; // one of FindOperators()
    QString value;
};

// The operators in the order the dialog offers them.
const QStringList &FindOperators();

class TFindInstance : public QObject {
    Q_OBJECT
public:
    explicit TFindInstance(QObject *parent = nullptr);

    // The expression and the offered values of a field, kept until Reset.
    void SetExpression(const QString &fieldName, const QString &expression);
    void SetChoices(const QString &fieldName, const QStringList &choices);
    bool HasChoices(const QString &fieldName) const;
    QString Expression(const QString &fieldName) const; // "" when none was set
    QStringList Choices(const QString &fieldName) const;

    // The fields offered, normally taken from a grid's shown columns.
    void SetFields(const QVector<FindField> &fields) { m_fields = fields; }
    const QVector<FindField> &Fields() const { return m_fields; }
    const FindField *FieldOf(const QString &fieldName) const;

    // Checks the rows and makes the condition; throws PubError with the
    // message for the first bad row. Rows without a field are left out; no
    // rows give "".
    QString BuildCondition(const QVector<FindCondition> &rows) const;

    // The rows last accepted and their condition.
    const QVector<FindCondition> &Conditions() const { return m_conditions; }
    const QString &Condition() const { return m_condition; }
    // Takes rows (after BuildCondition accepted them).
    void Accept(const QVector<FindCondition> &rows, const QString &condition);

    // Forgets rows, condition, expressions and choices (a new list).
    void Reset();

private:
    QVector<FindField> m_fields;
    QHash<QString, QString> m_expressions; // upper-cased field name
    QHash<QString, QStringList> m_choices;
    QVector<FindCondition> m_conditions;
    QString m_condition;
};

// "过滤": one row per condition; OK checks the rows and keeps them in the
// instance, a bad row is shown and the dialog stays open.
class FindInstanceDialog : public QDialog {
    Q_OBJECT
public:
    FindInstanceDialog(TFindInstance *instance, QWidget *parent = nullptr);
    QTableWidget *Rows() const { return m_rows; }
    // Adds a row (for the caller or a test), returns its index.
    int AddRow(const FindCondition &c = {});
    void SetRow(int row, const FindCondition &c);
    // Sets a row's controls by field name, operator and value, adding rows
    // up to it (for scripts: "并且" joins it to the rows before).
    Q_INVOKABLE void SetCondition(int row, const QString &fieldName, const QString &op, const QString &value);
    FindCondition RowAt(int row) const;
    QVector<FindCondition> AllRows() const;
    void RemoveCurrentRow();
    void ClearRows();

public slots:
    void accept() override;

private:
    void fieldChosen(int row);
    void joinersChanged();
    TFindInstance *m_instance;
    QTableWidget *m_rows;
};

// Fills the instance's fields from the grid's shown columns and shows the
// dialog modally. True when the user accepted a (possibly empty) condition,
// which is then the instance's Condition().
bool FindDataInDBGrid(TFindInstance *instance, TRqDBGrid *grid);

} // namespace widgets
