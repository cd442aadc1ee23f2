#include "widgets/FindInstance.h"

#include "Messages.h"
#include "PubError.h"
#include "db/DbTypes.h"
#include "widgets/DBGrid.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace widgets {

using db::QuotedStr;

namespace {

const QString kAnd = QStringLiteral("并且");
const QString kOr = QStringLiteral("或者");

// Operator shown -> SQL; the "包含" pair compares with like.
struct Op {
    const char *shown;
    const char *sql;
    bool like;
};
const Op kOps[] = {{"等于", "=", false},     {"不等于", "<>", false}, {"大于", ">", false},
                   {"大于等于", ">=", false}, {"小于", "<", false},   {"小于等于", "<=", false},
                   {"包含", "like", true},     {"不包含", "not like", true}};

const Op *opOf(const QString &shown)
{
    for (const Op &o : kOps)
        if (shown == QString::fromUtf8(o.shown))
            return &o;
    return nullptr;
}

bool isNumber(data::FieldType t) { return t == data::FieldType::Integer || t == data::FieldType::Float; }
bool isDate(data::FieldType t) { return t == data::FieldType::Date || t == data::FieldType::DateTime; }

QDate parseDate(const QString &text)
{
    for (const char *format : {"yyyy-MM-dd", "yyyy-M-d", "yyyy/M/d", "yyyy.M.d", "yyyyMMdd"}) {
        const QDate d = QDate::fromString(text, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return {};
}

// The value as it goes into the statement: a number as its decimal text, a
// date and a text quoted.
QString sqlValue(const FindField &f, const Op &op, const QString &raw)
{
    const QString value = raw.trimmed();
    const QString caption = QStringLiteral("[") + f.caption + QStringLiteral("]");
    if (op.like) {
        if (isNumber(f.type) || isDate(f.type))
            throw PubError(QStringLiteral("字段") + caption + QStringLiteral("不能使用[") + QString::fromUtf8(op.shown)
                           + QStringLiteral("]条件。"));
        // What the user typed is found as typed: the wildcards and the
        // bracket of a pattern are escaped.
        QString literal;
        for (const QChar c : value) {
            if (c == u'%' || c == u'_' || c == u'[' || c == u'!')
                literal += u'!';
            literal += c;
        }
        return QuotedStr(u'%' + literal + u'%') + QStringLiteral(" escape '!'");
    }
    if (isNumber(f.type)) {
        bool ok = false;
        const double n = value.toDouble(&ok);
        if (!ok || !std::isfinite(n))
            throw PubError(QStringLiteral("字段") + caption + QStringLiteral("的条件值[") + raw
                           + QStringLiteral("]不是有效的数字。"));
        return QString::number(n, 'g', 15);
    }
    if (isDate(f.type)) {
        const QDate d = parseDate(value);
        if (!d.isValid())
            throw PubError(QStringLiteral("字段") + caption + QStringLiteral("的条件值[") + raw
                           + QStringLiteral("]不是有效的日期(年-月-日)。"));
        return QuotedStr(d.toString(QStringLiteral("yyyy-MM-dd")));
    }
    return QuotedStr(value);
}

QComboBox *comboAt(const QTableWidget *t, int row, int column)
{
    return qobject_cast<QComboBox *>(t->cellWidget(row, column));
}

} // namespace

const QStringList &FindOperators()
{
    static const QStringList ops = [] {
        QStringList l;
        for (const Op &o : kOps)
            l << QString::fromUtf8(o.shown);
        return l;
    }();
    return ops;
}

// =========================================================================== TFindInstance

TFindInstance::TFindInstance(QObject *parent) : QObject(parent) { setObjectName(QStringLiteral("FindInstance")); }

void TFindInstance::SetExpression(const QString &fieldName, const QString &expression)
{
    m_expressions.insert(fieldName.toUpper(), expression);
}

void TFindInstance::SetChoices(const QString &fieldName, const QStringList &choices)
{
    m_choices.insert(fieldName.toUpper(), choices);
}

bool TFindInstance::HasChoices(const QString &fieldName) const { return m_choices.contains(fieldName.toUpper()); }

QString TFindInstance::Expression(const QString &fieldName) const { return m_expressions.value(fieldName.toUpper()); }

QStringList TFindInstance::Choices(const QString &fieldName) const { return m_choices.value(fieldName.toUpper()); }

const FindField *TFindInstance::FieldOf(const QString &fieldName) const
{
    for (const FindField &f : m_fields)
        if (f.fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

QString TFindInstance::BuildCondition(const QVector<FindCondition> &rows) const
{
    QString out;
    for (const FindCondition &c : rows) {
        if (c.fieldName.isEmpty())
            continue;
        const FindField *f = FieldOf(c.fieldName);
        if (!f)
            throw PubError(QStringLiteral("没有可以过滤的字段[") + c.fieldName + QStringLiteral("]。"));
        const Op *op = opOf(c.op);
        if (!op)
            throw PubError(QStringLiteral("字段[") + f->caption + QStringLiteral("]没有选择比较条件。"));
        QString expression = m_expressions.value(f->fieldName.toUpper(), f->expression);
        if (expression.isEmpty())
            expression = f->fieldName;
        const QString term = expression + u' ' + QString::fromLatin1(op->sql) + u' ' + sqlValue(*f, *op, c.value);
        if (!out.isEmpty())
            out += c.orJoin ? QStringLiteral(" or ") : QStringLiteral(" and ");
        out += term;
    }
    return out.isEmpty() ? out : u'(' + out + u')';
}

void TFindInstance::Accept(const QVector<FindCondition> &rows, const QString &condition)
{
    m_conditions = rows;
    m_condition = condition;
}

void TFindInstance::Reset()
{
    m_fields.clear();
    m_expressions.clear();
    m_choices.clear();
    m_conditions.clear();
    m_condition.clear();
}

// =========================================================================== the dialog

FindInstanceDialog::FindInstanceDialog(TFindInstance *instance, QWidget *parent) : QDialog(parent), m_instance(instance)
{
    setObjectName(QStringLiteral("FindInstanceDialog"));
    setWindowTitle(QStringLiteral("过滤"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("满足以下条件的单据:"), this));
    m_rows = new QTableWidget(0, 4, this);
    m_rows->setObjectName(QStringLiteral("grdConditions"));
    m_rows->setHorizontalHeaderLabels(
        {QStringLiteral("关系"), QStringLiteral("字段"), QStringLiteral("条件"), QStringLiteral("值")});
    m_rows->verticalHeader()->hide();
    m_rows->horizontalHeader()->setStretchLastSection(true);
    m_rows->setColumnWidth(0, 70);
    m_rows->setColumnWidth(1, 120);
    m_rows->setColumnWidth(2, 90);
    m_rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_rows->setMinimumSize(520, 200);
    layout->addWidget(m_rows);

    auto *rowButtons = new QHBoxLayout;
    auto button = [&](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        rowButtons->addWidget(b);
        return b;
    };
    connect(button("btnAddRow", QStringLiteral("增加条件(&A)")), &QPushButton::clicked, this, [this] { AddRow(); });
    connect(button("btnDeleteRow", QStringLiteral("删除条件(&D)")), &QPushButton::clicked, this,
            &FindInstanceDialog::RemoveCurrentRow);
    connect(button("btnClearRows", QStringLiteral("清除(&C)")), &QPushButton::clicked, this,
            &FindInstanceDialog::ClearRows);
    rowButtons->addStretch();
    layout->addLayout(rowButtons);

    auto *box = new QDialogButtonBox(this);
    QPushButton *ok = box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OkBtn"));
    QPushButton *cancel = box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(box, &QDialogButtonBox::accepted, this, &FindInstanceDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    for (const FindCondition &c : m_instance->Conditions())
        AddRow(c);
    if (m_rows->rowCount() == 0)
        AddRow();
}

int FindInstanceDialog::AddRow(const FindCondition &c)
{
    const int row = m_rows->rowCount();
    m_rows->insertRow(row);
    auto *join = new QComboBox(m_rows);
    join->addItems({kAnd, kOr});
    auto *field = new QComboBox(m_rows);
    field->addItem(QString(), QString());
    for (const FindField &f : m_instance->Fields())
        field->addItem(f.caption, f.fieldName);
    auto *op = new QComboBox(m_rows);
    op->addItems(FindOperators());
    auto *value = new QComboBox(m_rows);
    value->setEditable(true);
    m_rows->setCellWidget(row, 0, join);
    m_rows->setCellWidget(row, 1, field);
    m_rows->setCellWidget(row, 2, op);
    m_rows->setCellWidget(row, 3, value);
    connect(field, &QComboBox::currentIndexChanged, this, [this, field] {
        for (int r = 0; r < m_rows->rowCount(); ++r)
            if (m_rows->cellWidget(r, 1) == field)
                fieldChosen(r);
    });
    SetRow(row, c);
    m_rows->setCurrentCell(row, 1);
    joinersChanged();
    return row;
}

void FindInstanceDialog::joinersChanged()
{
    // The first row joins nothing.
    for (int r = 0; r < m_rows->rowCount(); ++r)
        comboAt(m_rows, r, 0)->setEnabled(r > 0);
}

void FindInstanceDialog::fieldChosen(int row)
{
    QComboBox *value = comboAt(m_rows, row, 3);
    const QString kept = value->currentText();
    value->clear();
    if (const FindField *f = m_instance->FieldOf(comboAt(m_rows, row, 1)->currentData().toString()))
        value->addItems(f->choices);
    value->setEditText(kept);
}

void FindInstanceDialog::SetRow(int row, const FindCondition &c)
{
    comboAt(m_rows, row, 0)->setCurrentIndex(c.orJoin ? 1 : 0);
    QComboBox *field = comboAt(m_rows, row, 1);
    field->setCurrentIndex(std::max(0, field->findData(c.fieldName, Qt::UserRole, Qt::MatchFixedString)));
    QComboBox *op = comboAt(m_rows, row, 2);
    op->setCurrentIndex(std::max(0, op->findText(c.op)));
    fieldChosen(row);
    comboAt(m_rows, row, 3)->setEditText(c.value);
}

FindCondition FindInstanceDialog::RowAt(int row) const
{
    FindCondition c;
    c.orJoin = comboAt(m_rows, row, 0)->currentIndex() == 1;
    c.fieldName = comboAt(m_rows, row, 1)->currentData().toString();
    c.op = comboAt(m_rows, row, 2)->currentText();
    c.value = comboAt(m_rows, row, 3)->currentText();
    return c;
}

QVector<FindCondition> FindInstanceDialog::AllRows() const
{
    QVector<FindCondition> rows;
    for (int r = 0; r < m_rows->rowCount(); ++r)
        rows << RowAt(r);
    return rows;
}

void FindInstanceDialog::SetCondition(int row, const QString &fieldName, const QString &op, const QString &value)
{
    while (m_rows->rowCount() <= row)
        AddRow();
    SetRow(row, FindCondition{false, fieldName, op, value});
}

void FindInstanceDialog::RemoveCurrentRow()
{
    const int row = m_rows->currentRow();
    if (row >= 0)
        m_rows->removeRow(row);
    joinersChanged();
}

void FindInstanceDialog::ClearRows()
{
    m_rows->setRowCount(0);
    AddRow();
}

void FindInstanceDialog::accept()
{
    const QVector<FindCondition> rows = AllRows();
    QString condition;
    try {
        condition = m_instance->BuildCondition(rows);
    } catch (const std::exception &e) {
        ShowError(e); // the dialog stays for the user to correct the row
        return;
    }
    QVector<FindCondition> kept;
    for (const FindCondition &c : rows)
        if (!c.fieldName.isEmpty())
            kept << c;
    m_instance->Accept(kept, condition);
    QDialog::accept();
}

bool FindDataInDBGrid(TFindInstance *instance, TRqDBGrid *grid)
{
    QVector<FindField> fields;
    for (int i = 0; i < grid->ColumnCount(); ++i) {
        const GridColumn &c = grid->Column(i);
        const data::Field *f = grid->FieldOfColumn(i);
        if (!c.Visible || !f)
            continue;
        FindField ff;
        ff.fieldName = f->FieldName();
        ff.caption = grid->ColumnTitle(i);
        ff.type = f->DataType();
        ff.expression = instance->Expression(ff.fieldName);
        ff.choices = instance->Choices(ff.fieldName);
        fields << ff;
    }
    instance->SetFields(fields);
    FindInstanceDialog dialog(instance, grid->window());
    return ShowModal(&dialog) == QDialog::Accepted;
}

} // namespace widgets
