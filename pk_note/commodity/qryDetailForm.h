#pragma once
// TqryDetailForm: the colour/size matrix of a commodity line ("颜色\尺码组").
// Rows are the commodity's colours, columns its sizes, cells quantities; the
// last row and column hold the totals.

#include "CommodityDialogs.h"

#include <QDialog>
#include <QVector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TqryDetailForm : public QDialog {
    Q_OBJECT
public:
    explicit TqryDetailForm(QWidget *parent = nullptr);

    // Reads the commodity's colours and sizes and the quantities stored under
    // `source`; throws the database's error. The cells can be changed only
    // when `editable`, and then OK writes them under `target`.
    void Open(const commodity::ColorSizeKey &source, const commodity::ColorSizeKey &target, bool editable);
    bool Editable() const { return m_editable; }
    // Sum of every cell.
    double Total() const;
    double Cell(int color, int size) const;
    // Writes every cell under the target key, all or nothing; throws.
    void Save();

    QTableWidget *DetailGrid;
    QLabel *lbTotal;
    QPushButton *OkBtn;
    QPushButton *CancelBtn;

public slots:
    void OkBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Axis {
        qint64 id = 0;
        QString name;
        QVariant background, foreground; // 0xRRGGBB or null
    };
    void readAxes(qint64 commodityId);
    void readCells(const commodity::ColorSizeKey &source);
    void buildGrid();
    void cellChanged(int row, int column);
    void updateTotals();
    QLineEdit *openEditor() const;
    void finishEditing();
    void moveNext();
    QString cellStatement(int color, int size) const;

    QVector<Axis> m_colors, m_sizes;
    QVector<QVector<double>> m_cells; // [colour][size]
    commodity::ColorSizeKey m_target;
    bool m_editable = false;
    bool m_filling = false;
};
