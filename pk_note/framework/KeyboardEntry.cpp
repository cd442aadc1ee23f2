#include "KeyboardEntry.h"

#include "Messages.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

using widgets::TRqDBDateEdit;
using widgets::TRqDBEdit;
using widgets::TRqDBGrid;
using widgets::TRqLookupCombo;

namespace keyboard {

namespace {

const char kInstalled[] = "pkKeyboardInstalled";

// Buttons that wrap to a second row instead of widening the window.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget *parent) : QLayout(parent) { setContentsMargins(6, 4, 6, 4); setSpacing(4); }
    ~FlowLayout() override
    {
        while (QLayoutItem *item = takeAt(0))
            delete item;
    }
    void addItem(QLayoutItem *item) override { m_items << item; }
    int count() const override { return int(m_items.size()); }
    QLayoutItem *itemAt(int i) const override { return m_items.value(i); }
    QLayoutItem *takeAt(int i) override { return i >= 0 && i < m_items.size() ? m_items.takeAt(i) : nullptr; }
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect &r) override
    {
        QLayout::setGeometry(r);
        place(r, true);
    }
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSize() const override
    {
        // Never narrower than half of one row: at most two rows of buttons (a
        // window's least height is taken at its least width).
        QSize s;
        int total = 0;
        for (QLayoutItem *item : m_items) {
            s = s.expandedTo(item->minimumSize());
            total += item->sizeHint().width() + spacing();
        }
        s.setWidth(std::max(s.width(), (total + 1) / 2));
        const QMargins m = contentsMargins();
        s += QSize(m.left() + m.right(), 0);
        s.setHeight(heightForWidth(s.width()));
        return s;
    }

private:
    int place(const QRect &rect, bool apply) const
    {
        const QMargins m = contentsMargins();
        const QRect area = rect.adjusted(m.left(), m.top(), -m.right(), -m.bottom());
        int x = area.x(), y = area.y(), line = 0;
        for (QLayoutItem *item : m_items) {
            if (item->isEmpty())
                continue;
            const QSize hint = item->sizeHint();
            if (x + hint.width() > area.right() + 1 && line > 0) {
                x = area.x();
                y += line + spacing();
                line = 0;
            }
            if (apply)
                item->setGeometry(QRect(QPoint(x, y), hint));
            x += hint.width() + spacing();
            line = std::max(line, hint.height());
        }
        return y + line - rect.y() + m.bottom();
    }
    QList<QLayoutItem *> m_items;
};

bool isDataControl(QWidget *w)
{
    return qobject_cast<TRqDBEdit *>(w) || qobject_cast<TRqDBDateEdit *>(w) || qobject_cast<TRqLookupCombo *>(w) ||
           qobject_cast<widgets::TRqDBCheckBox *>(w);
}

// The fields of a panel in reading order (designed rows, then columns).
QList<QWidget *> fieldsOf(QWidget *panel)
{
    QList<QWidget *> out;
    auto *grid = panel ? qobject_cast<QGridLayout *>(panel->layout()) : nullptr;
    if (!grid)
        return out;
    QList<std::pair<QPoint, QWidget *>> cells;
    for (int i = 0; i < grid->count(); ++i) {
        QWidget *w = grid->itemAt(i)->widget();
        if (!w || !isDataControl(w))
            continue;
        int r, c, rs, cs;
        grid->getItemPosition(i, &r, &c, &rs, &cs);
        cells.push_back({QPoint(c, r), w});
    }
    std::stable_sort(cells.begin(), cells.end(), [](const auto &a, const auto &b) {
        return a.first.y() != b.first.y() ? a.first.y() < b.first.y() : a.first.x() < b.first.x();
    });
    for (const auto &cell : cells)
        out << cell.second;
    return out;
}

bool takesTab(QWidget *form, QWidget *w)
{
    return w && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(form);
}

// Enter in a master field: settle it, then on as Tab goes.
class EnterMovesOn : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(e);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (w && !isDataControl(w) && qobject_cast<TRqDBDateEdit *>(w->parentWidget()))
            w = w->parentWidget(); // the date's own line edit
        if (!w)
            return false;
        if (auto *combo = qobject_cast<TRqLookupCombo *>(w)) {
            const QString typed = combo->text().trimmed();
            if ((combo->ListVisible() || combo->isModified()) && !combo->TakeTyped(true) && !typed.isEmpty())
                return true; // nothing matches what was typed: stay
        } else if (auto *edit = qobject_cast<TRqDBEdit *>(w)) {
            if (!edit->UpdateRecord())
                return true;
        }
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &tab);
        return true;
    }
};

// Line edits claim Ctrl+Home and Ctrl+End for themselves; in a document
// window they go to the first and the last note.
class WindowKeys : public QObject {
public:
    explicit WindowKeys(QWidget *form) : QObject(form), m_form(form) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() != QEvent::ShortcutOverride)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || (w != m_form && !m_form->isAncestorOf(w)))
            return false;
        auto *key = static_cast<QKeyEvent *>(e);
        if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End)) {
            e->ignore(); // left to the window's shortcuts
            return true;
        }
        return false;
    }

private:
    QWidget *m_form;
};

// Fits the window again whenever its layout asks for other room.
class FitKeeper : public QObject {
public:
    explicit FitKeeper(QWidget *form) : QObject(form), m_form(form) { form->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (watched == m_form && e->type() == QEvent::LayoutRequest && !m_pending) {
            m_pending = true;
            QMetaObject::invokeMethod(this, [this] {
                m_pending = false;
                FitToScreen(m_form);
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_form;
    bool m_pending = false;
};

void addWindowAction(QWidget *form, const char *name, const QString &text, const QKeySequence &key,
                     const std::function<void()> &run)
{
    auto *a = new QAction(text, form);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    form->addAction(a);
    QObject::connect(a, &QAction::triggered, form, run);
}

void setTabOrder(QWidget *form)
{
    QList<QWidget *> order;
    auto add = [&](QWidget *w) {
        if (w && !order.contains(w))
            order << w;
    };
    add(form->findChild<QWidget *>(QStringLiteral("DateDBEdit")));
    add(form->findChild<QWidget *>(QStringLiteral("NoDBEdit")));
    for (QWidget *w : fieldsOf(form->findChild<QWidget *>(QStringLiteral("palMaster"))))
        add(w);
    add(form->findChild<QWidget *>(QStringLiteral("ItemGrid")));
    for (QWidget *w : fieldsOf(form->findChild<QWidget *>(QStringLiteral("palBottom"))))
        add(w);
    if (QWidget *buttons = form->findChild<QWidget *>(QStringLiteral("palButton")))
        for (QWidget *w : buttons->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (qobject_cast<QPushButton *>(w) || qobject_cast<TRqLookupCombo *>(w))
                add(w);
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

void wrapButtons(QWidget *form)
{
    QWidget *panel = form->findChild<QWidget *>(QStringLiteral("palButton"));
    auto *row = panel ? qobject_cast<QBoxLayout *>(panel->layout()) : nullptr;
    if (!row)
        return;
    QList<QWidget *> widgets;
    for (int i = 0; i < row->count(); ++i)
        if (QWidget *w = row->itemAt(i)->widget())
            widgets << w;
    delete row; // the widgets stay, in the new layout
    auto *flow = new FlowLayout(panel);
    for (QWidget *w : widgets)
        flow->addWidget(w);
    QSizePolicy sp = panel->sizePolicy();
    sp.setHeightForWidth(true);
    panel->setSizePolicy(sp);
}

QStatusBar *statusBarOf(const QWidget *form)
{
    return form->findChild<QStatusBar *>(QStringLiteral("NoteStatusBar"));
}

// Remembers the last error or warning text shown while an action runs.
class RefusalRecorder : public pub::MessageService {
public:
    explicit RefusalRecorder(pub::MessageService &inner) : m_inner(inner) {}
    int show(pub::MessageKind kind, const QString &text, const QString &caption) override
    {
        if (kind == pub::MessageKind::Error || kind == pub::MessageKind::Warning)
            m_last = text;
        return m_inner.show(kind, text, caption);
    }
    const QString &last() const { return m_last; }

private:
    pub::MessageService &m_inner;
    QString m_last;
};

void focusFieldNamed(QWidget *form, const QString &message)
{
    if (message.isEmpty())
        return;
    QWidget *best = nullptr;
    int bestLength = 0, gridColumn = -1;
    for (QLabel *label : form->findChildren<QLabel *>()) {
        QWidget *field = label->buddy();
        const QString caption = label->text().remove(u'&').trimmed();
        if (!field || caption.isEmpty() || caption.size() <= bestLength || !message.contains(caption) ||
            !takesTab(form, field))
            continue;
        best = field;
        bestLength = int(caption.size());
    }
    if (auto *grid = form->findChild<TRqDBGrid *>(QStringLiteral("ItemGrid")); grid && grid->isVisibleTo(form)) {
        for (int c = 0; c < grid->ColumnCount(); ++c) {
            const QString title = grid->ColumnTitle(c).trimmed();
            if (grid->isColumnHidden(c) || title.isEmpty() || title.size() <= bestLength || !message.contains(title))
                continue;
            best = grid;
            bestLength = int(title.size());
            gridColumn = c;
        }
    }
    if (!best)
        return;
    best->setFocus(Qt::OtherFocusReason);
    if (gridColumn >= 0)
        static_cast<TRqDBGrid *>(best)->SetSelectedColumn(gridColumn);
}

} // namespace

void Install(QWidget *form)
{
    if (!form || form->property(kInstalled).toBool())
        return;
    form->setProperty(kInstalled, true);
    // The title's captions name their fields (a refused check finds them).
    for (const char *field : {"DateDBEdit", "NoDBEdit"})
        if (auto *label = form->findChild<QLabel *>(QStringLiteral("lb") + QLatin1String(field)))
            label->setBuddy(form->findChild<QWidget *>(QString::fromLatin1(field)));

    auto *enter = new EnterMovesOn(form);
    for (const char *name : {"palTitle", "palMaster", "palBottom"}) {
        QWidget *panel = form->findChild<QWidget *>(QString::fromLatin1(name));
        if (!panel)
            continue;
        for (QWidget *w : panel->findChildren<QWidget *>()) {
            if (isDataControl(w))
                w->installEventFilter(enter);
            if (qobject_cast<TRqDBDateEdit *>(w))
                for (QWidget *inner : w->findChildren<QLineEdit *>())
                    inner->installEventFilter(enter);
        }
    }
    setTabOrder(form);

    new WindowKeys(form);
    auto trigger = [form](const char *name) {
        return [form, name] {
            if (auto *a = form->findChild<QAction *>(QString::fromLatin1(name)); a && a->isEnabled())
                a->trigger();
        };
    };
    addWindowAction(form, "actFirst", QStringLiteral("第一单"), QKeySequence(Qt::CTRL | Qt::Key_Home), trigger("muFirst"));
    addWindowAction(form, "actLast", QStringLiteral("最后单"), QKeySequence(Qt::CTRL | Qt::Key_End), trigger("muLast"));
    // In the host's MDI area its 窗口 menu owns Ctrl+F4; a window on its own closes itself.
    if (!qobject_cast<QMdiSubWindow *>(form->parentWidget()))
        addWindowAction(form, "actCloseWindow", QStringLiteral("关闭"), QKeySequence(Qt::CTRL | Qt::Key_F4),
                        [form] { form->close(); });

    if (auto *root = qobject_cast<QVBoxLayout *>(form->layout()); root && !statusBarOf(form)) {
        auto *bar = new QStatusBar(form);
        bar->setObjectName(QStringLiteral("NoteStatusBar"));
        bar->setSizeGripEnabled(false);
        root->addWidget(bar);
    }
    wrapButtons(form);
    FitToScreen(form);
    FocusFirstField(form);
    // Again once the new layouts have settled, and whenever they change.
    QMetaObject::invokeMethod(form, [form] { FitToScreen(form); }, Qt::QueuedConnection);
    new FitKeeper(form);
}

void FocusFirstField(QWidget *form)
{
    if (!form)
        return;
    QWidget *first = nullptr;
    for (QWidget *w : fieldsOf(form->findChild<QWidget *>(QStringLiteral("palMaster"))))
        if (takesTab(form, w)) {
            first = w;
            break;
        }
    if (!first)
        for (const char *name : {"DateDBEdit", "ItemGrid"})
            if (QWidget *w = form->findChild<QWidget *>(QString::fromLatin1(name)); takesTab(form, w)) {
                first = w;
                break;
            }
    if (first)
        first->setFocus(Qt::OtherFocusReason);
}

bool Run(QWidget *form, const std::function<bool()> &action, const QString &done)
{
    QString code;
    if (auto *no = form->findChild<QLineEdit *>(QStringLiteral("NoDBEdit")))
        code = no->text();
    pub::MessageService &inner = pub::messageService();
    RefusalRecorder recorder(inner);
    pub::setMessageService(&recorder);
    bool ok = false;
    try {
        ok = action();
    } catch (...) {
        pub::setMessageService(&inner);
        throw;
    }
    pub::setMessageService(&inner);
    if (ok)
        ShowStatus(form, done.contains(QLatin1String("%1")) ? done.arg(code) : done);
    else
        focusFieldNamed(form, recorder.last());
    return ok;
}

void ShowStatus(QWidget *form, const QString &text)
{
    if (!form)
        return;
    if (QStatusBar *bar = statusBarOf(form))
        bar->showMessage(text);
    // The host's main window shows it too.
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(form, &tip);
}

QString StatusText(const QWidget *form)
{
    const QStatusBar *bar = form ? statusBarOf(form) : nullptr;
    return bar ? bar->currentMessage() : QString();
}

void FitToScreen(QWidget *form)
{
    if (!form)
        return;
    QWidget *frame = qobject_cast<QMdiSubWindow *>(form->parentWidget()) ? form->parentWidget() : form;
    QRect area;
    QMdiArea *mdi = nullptr;
    for (QWidget *p = frame->parentWidget(); p && !mdi; p = p->parentWidget())
        mdi = qobject_cast<QMdiArea *>(p);
    if (mdi)
        area = mdi->viewport()->rect();
    else if (QScreen *s = frame->screen() ? frame->screen() : QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isEmpty())
        return;
    // The frame of a top-level window (title bar, borders) is outside its geometry.
    const QMargins frameMargins = frame->isWindow() ? QMargins(frame->geometry().left() - frame->frameGeometry().left(),
                                                               frame->geometry().top() - frame->frameGeometry().top(),
                                                               frame->frameGeometry().right() - frame->geometry().right(),
                                                               frame->frameGeometry().bottom() - frame->geometry().bottom())
                                                      : QMargins();
    const QRect inside = area.marginsRemoved(frameMargins);
    form->layout()->activate();
    // Short screens take the height from the lines, down to a few rows with
    // their header and footer.
    const int excess = frame->minimumSizeHint().height() - inside.height();
    if (auto *grid = form->findChild<TRqDBGrid *>(QStringLiteral("ItemGrid")); grid && excess > 0) {
        const int floor = grid->horizontalHeader()->sizeHint().height() + grid->Footer()->height() +
                          4 * grid->verticalHeader()->defaultSectionSize() + 2 * grid->frameWidth();
        grid->setMinimumHeight(std::max(floor, grid->minimumHeight() - excess));
        form->layout()->activate();
    }
    // An MDI frame does not grow by itself when its window needs more room
    // (fields reflowed to more rows): it gets what it needs, within the area.
    const QSize want = frame->size().expandedTo(frame->minimumSizeHint()).boundedTo(inside.size());
    if (want != frame->size())
        frame->resize(want);
    // move() places the frame, title bar included.
    const QRect outer = frame->frameGeometry();
    QPoint at = outer.topLeft();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    frame->move(at);
}

} // namespace keyboard
