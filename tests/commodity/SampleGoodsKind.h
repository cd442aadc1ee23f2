#pragma once
// A small purchase-like commodity kind for the tests and benchmarks of the
// commodity lines, over tables of its own, until the real purchase and sales
// kinds carry the same lines.

#include "Commoditynote.h"
#include "NoteTypes.h"
#include "Registry.h"
#include "db/Database.h"
#include "notedb.h"

namespace goodskind {

constexpr int kType = 4; // a purchase receipt: line stores, batch rules, breakdown table

inline const basenote::Resource kMaster{
    .formName = "TestGoodsForm",
    .caption = "货品测试单",
    .noteType = kType,
    .masterSql = "select m.* from testgoodsath m",
    .controls = {
        {"PARTNERID", "供应商", basenote::Ctl::Lookup, "cmbPartner", "dsPartner"},
        {"BUILDINGID", "仓库", basenote::Ctl::Lookup, "cmbBuildingID", "dsStore"},
        {"DISC", "整单折扣", basenote::Ctl::Edit, "edDisc"},
    },
    .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryStore")},
    .size = {1100, 620},
    .tableName = "testgoodsath",
};

inline const mdnote::DetailResource kLines{
    .detailSql = "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, "
                 "u.NAME as UNITNAME, g.TIMESEC, s.CODE as STORECODE, s.NAME as BUILDINGNAME, "
                 "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice, Round(m.Price / m.DISC*100,8) as ORIGPRICE, "
                 "Round(m.price/m.disc*100*(1+m.TaxRate/100),8) as ORIGTAXPRICE, "
                 "Round((m.Price/m.Disc*100)*(1-m.Disc/100)*m.Quantity,2) as DiscAmt "
                 "from testgoodsathdetail m left join Commoditylth g on g.COMMODITYID = m.COMMODITYID "
                 "left join unitlth u on u.UNITSID = g.UNITSID left join storelth s on s.BUILDINGID = m.BUILDINGID",
    .detailTable = "testgoodsathdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY", nullptr, 0, nullptr, {}, {}, true}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"},
                {"TAXPRICE"}, {"COMMODITYAMT"}, {"TAXAMT"}, {"AMOUNT"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
                {"REMARK"}},
};

class TTestGoodsForm : public TCommoditynoteForm {
public:
    explicit TTestGoodsForm(QWidget *owner = nullptr) : TCommoditynoteForm(kMaster, kLines, owner) { PriceClass = 1; }
};

inline void CreateTables(db::Database &db)
{
    db.exec(QStringLiteral(
            "create table testgoodsath (NOTEID INTEGER NOT NULL PRIMARY KEY, NOTECODE VARCHAR(30), NOTEDATE DATE, "
            "NOTESTATE INTEGER NOT NULL DEFAULT 0, NOTEKIND INTEGER DEFAULT 1, OPERATEID INTEGER, CHKORID INTEGER, "
            "EMPID INTEGER, DEPID INTEGER, SHOPERATEID INTEGER DEFAULT 0, REFERCOUNT INTEGER DEFAULT 0, "
            "PARTNERID INTEGER, BUILDINGID INTEGER, DISC NUMERIC(19,6), NOTETYPE INTEGER, PAYTYPESID INTEGER, "
            "ACCOUNTID INTEGER, IOTYPESID INTEGER, SCAMT NUMERIC(19,6), TERMDAYS INTEGER, CONTACTOR VARCHAR(40), "
            "AMOUNT NUMERIC(19,6) DEFAULT 0, UPDATETIME TIMESTAMP, REMARK VARCHAR(200), UPFLAG INTEGER DEFAULT 0)"));
    db.exec(QStringLiteral(
            "create table testgoodsathdetail (NOTEID INTEGER NOT NULL, ITEMSNO INTEGER NOT NULL, COMMODITYID INTEGER, "
            "BUILDINGID INTEGER, QUANTITY NUMERIC(19,6), PRICE NUMERIC(19,6), DISC NUMERIC(19,6) DEFAULT 100, "
            "TAXRATE NUMERIC(19,6) DEFAULT 0, AMOUNT NUMERIC(19,6), TAXAMT NUMERIC(19,6), COMMODITYAMT NUMERIC(19,6), "
            "BCODE VARCHAR(30), BTURNNOTEID INTEGER, PRODUCTDAY DATE, VALIDDAY DATE, REFERCOUNT INTEGER DEFAULT 0, "
            "REFERNOTETYPE INTEGER, REFERNOTEID INTEGER, REFERITEMSNO INTEGER, REFERQTY NUMERIC(19,6) DEFAULT 0, "
            "CUSTDEF1 VARCHAR(60), CUSTDEF2 VARCHAR(60), CUSTDEF3 VARCHAR(60), CUSTDEF4 VARCHAR(60), "
            "CUSTDEF5 VARCHAR(60), REMARK VARCHAR(200), PRIMARY KEY (NOTEID, ITEMSNO))"));
    notedb::ensureKey(db, QStringLiteral("testgoodsath"), 100);
}

// The tables, and the kind's window registered as the package registers its own.
inline void Install(db::Database &db)
{
    CreateTables(db);
    RegisterPrivilegedForm(NoteTypeFormName(kType), nullptr, 2000 + kType);
}

// A line holding the columns `cols` with their values and `blank` ones as null.
inline commodity::LineValues LineOf(const QVector<std::pair<commodity::Col, double>> &cols,
                                    std::initializer_list<commodity::Col> blank = {})
{
    commodity::LineValues v;
    for (const auto &[c, x] : cols) {
        v.SetPresent(c, true);
        v.Load(c, x, false);
    }
    for (commodity::Col c : blank) {
        v.SetPresent(c, true);
        v.Load(c, 0, true);
    }
    return v;
}

} // namespace goodskind
