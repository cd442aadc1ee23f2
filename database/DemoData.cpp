// The demo company: a stationery, electronics and food trading firm in Shanghai
// that also assembles office desks. Everything is fixed data except the
// password salts, so two demo books differ only there.

#include "notedb.h"
#include "NotedbPrivate.h"
#include "Procedures.h"

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <QVariantList>

namespace notedb {

using db::DbError;

namespace {

const QVariant null;

// Inserts rows into one table through the layer, one named parameter per column.
class Rows {
public:
    Rows(db::Database &database, const QString &table, const QString &columns)
        : m_db(database), m_table(table)
    {
        for (const QString &c : columns.split(u',', Qt::SkipEmptyParts))
            m_columns << c.trimmed();
        QStringList marks;
        for (const QString &c : m_columns)
            marks << u':' + c;
        m_sql = QStringLiteral("insert into %1 (%2) values (%3)")
                    .arg(table, m_columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    }

    Rows &add(const QVariantList &values)
    {
        if (values.size() != m_columns.size())
            throw DbError(QStringLiteral("演示数据 %1: 需要 %2 个值, 给出 %3 个")
                              .arg(m_table)
                              .arg(m_columns.size())
                              .arg(values.size()));
        db::Params p;
        for (int i = 0; i < m_columns.size(); ++i)
            p.insert(m_columns[i], values[i]);
        m_db.exec(m_sql, p);
        return *this;
    }

private:
    db::Database &m_db;
    QString m_table;
    QStringList m_columns;
    QString m_sql;
};

// Registered forms' privilege ids (purchase and sales first).
const QList<int> kPurchaseSalesForms = {2001, 2005, 2002, 2003, 2004, 2015, 2012, 2013, 2014, 2011};
const QList<int> kOtherForms = {2021, 2022, 2023, 2025, 2026, 2027, 2028, 2029, 2030, 2031, 2032, 2042, 2043,
                                2045, 2046, 2047, 2048, 2049, 2071, 2041, 2080, 2081, 2088, 2051, 2052, 2053,
                                2061, 2062, 2063, 2064, 2072, 2073, 2074, 2075, 2082, 2083, 2084, 2086, 8086};
// Items that are not forms: partner balances, price rights, POS batches and
// day-end, seeing and editing other users' notes.
const QList<int> kGlobalItems = {550, 551, 552, 2076, 2077, 2091, 2092};

struct NoteTypeRule {
    int id;
    const char *name;
    const char *head;
};
// Every note type with its number prefix; all share "-", "年月" and four digits.
const NoteTypeRule kNoteTypes[] = {
    {1, "采购计划", "CGJH"},     {2, "采购订单", "CGDD"},      {3, "预入库", "YRK"},
    {4, "采购开单", "CGKD"},     {5, "申购单", "SGD"},         {11, "销售计划", "XSJH"},
    {12, "销售订单", "XSDD"},    {13, "委销单", "WXD"},        {14, "销售开单", "XSKD"},
    {15, "报价单", "BJD"},       {21, "出入库单", "CRK"},      {22, "借出还入单", "JCHR"},
    {23, "借出单", "JCD"},       {25, "领料单", "LLD"},        {26, "调拨单", "DBD"},
    {27, "组装单", "ZZD"},       {28, "拆卸单", "CXD"},        {29, "报损单", "BSD"},
    {30, "盘点单", "PDD"},       {31, "调价单", "TJD"},        {32, "货位调整单", "HWTZ"},
    {41, "成品验收单", "CPYS"},  {42, "加工单", "JGD"},        {43, "主生产计划", "SCJH"},
    {45, "费用分摊单", "FYFT"},  {46, "委外加工单", "WWJG"},   {47, "委外发料单", "WWFL"},
    {48, "成品缴库单", "CPJK"},  {49, "委外缴库单", "WWJK"},   {50, "成品送检单", "CPSJ"},
    {51, "银行存取款", "YHCQ"},  {52, "费用开支", "FYKZ"},     {53, "其他收入", "QTSR"},
    {61, "付款单", "FKD"},       {62, "收款单", "SKD"},        {63, "对账单", "DZD"},
    {64, "开票管理", "KPGL"},    {71, "POS销售单", "POSXS"},   {72, "POS收银员出入款单", "POSCR"},
    {73, "POS日结单", "POSRJ"},  {74, "储值卡充值单", "CZKCZ"}, {75, "货品销价设置", "XJSZ"},
    {80, "报废单", "BFD"},       {81, "验收退回单", "YSTH"},   {88, "返工返修单", "FGFX"},
    {99, "进出口业务提单", "JCKTD"},
};

QString s(const char *text) { return QString::fromUtf8(text); }

void systemParameters(db::Database &d, const QDate &today)
{
    const QDate period(today.year(), today.month(), 1);
    const QDate start = period.addMonths(-3);
    const QString y = QString::number(period.year()), m = QString::number(period.month());
    Rows p(d, QStringLiteral("sysparamamth"), QStringLiteral("PARAMID, PARAMNAME, DATAVALUE, REMARK"));
    p.add({1001, "CompanyName", s("上海华信商贸有限公司"), s("公司名称")})
        .add({1002, "TaxNo", "91310112MA1GB3XK2Q", s("纳税登记号")})
        .add({1003, "Address", s("上海市闵行区莘庄工业区申富路88号"), s("公司地址")})
        .add({1004, "Tel", "021-64881234", s("公司电话")})
        .add({1005, "Bank", s("中国工商银行上海闵行支行"), s("开户银行")})
        .add({1006, "BankNo", "1001 2345 0920 0123 456", s("银行帐号")})
        .add({2001, "QtyDecimals", "4", s("数量小数位数")})
        .add({2002, "PriceDecimals", "4", s("单价小数位数")})
        .add({2003, "AmtDecimals", "2", s("金额小数位数")})
        .add({3001, "StartDate", db::Database::dateText(start), s("开帐日期")})
        .add({3002, "PosYear", y, s("当前进销存年度")})
        .add({3003, "PosMonth", m, s("当前进销存月份")})
        .add({3004, "StartYear", QString::number(start.year()), s("启用进销存年度")})
        .add({3005, "StartMonth", QString::number(start.month()), s("启用进销存月份")})
        .add({3006, "CurrAccYear", y, s("当前会计年度")})
        .add({3007, "CurrAccMonth", m, s("当前会计月份")})
        .add({3008, "IsStartUse", "1", s("帐套已启用")})
        .add({4001, "IsPSequence", "1", s("采购按流程: 订单-收货-开单")})
        .add({4002, "IsSSequence", "1", s("销售按流程: 订单-发货-开单")})
        .add({4003, "IsDistinctStore", "0", s("分仓核算成本")})
        .add({4004, "TaxKind", "1", s("一般纳税人(默认增值税专用发票)")})
        .add({4005, "TaxRate", "13", s("默认税率%")})
        .add({4006, "UsePlace", "0", s("使用货位管理")})
        .add({4007, "IsBand", "0", s("进销存与财务连用")})
        .add({4008, "TaxAmtLimit", "0.05", s("税额调整容差")})
        .add({4009, "CommodityAmtLimit", "0.05", s("金额调整容差")})
        .add({4010, "UseMsg", "1", s("单据消息提醒")})
        .add({4011, "chkorIsSame", "1", s("允许制单人和审核人相同")})
        .add({4012, "ZeroOnhand", "0", s("允许负库存出库")})
        .add({4013, "NegCloseOff", "0", s("允许负库存结帐")})
        .add({4014, "noteAutoValue", "1", s("单据号预留")});
}

void codeLists(db::Database &d)
{
    // Groups of kindamth; 17 and 18 belong to invoicing.
    struct K {
        int kind, id;
        const char *name;
    };
    const K kinds[] = {
        {1, 0, "待审核"}, {1, 1, "审核"}, {1, 2, "作废"},
        {2, 1, "采购"}, {2, 2, "采购退货"}, {2, 3, "估价结算"},
        {3, 1, "销售"}, {3, 2, "销售退货"}, {3, 3, "委托结算"},
        {4, 1, "自提"}, {4, 2, "送货上门"}, {4, 3, "快递"}, {4, 4, "物流托运"},
        {5, 1, "收据"}, {5, 2, "普通发票"}, {5, 3, "增值税专用发票"},
        {6, 1, "商品"}, {6, 2, "半成品"}, {6, 3, "产成品"}, {6, 4, "劳务"}, {6, 5, "费用"},
        {6, 6, "非库存品"}, {6, 7, "折扣项目"}, {6, 8, "组合套装"},
        {7, 1, "移动加权平均"}, {7, 2, "批次核算"}, {7, 3, "先进先出"},
        {8, 1, "生产厂家"}, {8, 2, "批发商"}, {8, 3, "零售商"}, {8, 4, "个人"},
        {9, 0, "未结案"}, {9, 1, "已结案"},
        {17, 1, "采购开单"}, {17, 2, "销售开单"},
        {18, 1, "按金额"}, {18, 2, "按数量"},
    };
    Rows k(d, QStringLiteral("kindamth"), QStringLiteral("KIND, ID, NAME"));
    for (const K &x : kinds)
        k.add({x.kind, x.id, s(x.name)});

    Rows t(d, QStringLiteral("notetypelth"), QStringLiteral("ID, NAME, HEAD, SEPA, MODE, CODE"));
    for (const NoteTypeRule &r : kNoteTypes)
        t.add({r.id, s(r.name), QString::fromLatin1(r.head), "-", s("年月"), "0000"});
}

void organisation(db::Database &d)
{
    Rows(d, QStringLiteral("shopdth"), QStringLiteral("SHOPERATEID, CODE, NAME, ADDRESS, TEL"))
        .add({1, "01", s("南京东路分店"), s("上海市黄浦区南京东路299号"), "021-63221188"});

    Rows a(d, QStringLiteral("arealth"), QStringLiteral("AREAID, LCODE, NAME"));
    a.add({1, "01", s("华东地区")}).add({2, "0101", s("上海")}).add({3, "0102", s("江苏")}).add({4, "0103", s("浙江")})
        .add({5, "02", s("华北地区")}).add({6, "0201", s("北京")}).add({7, "0202", s("天津")})
        .add({8, "03", s("华南地区")}).add({9, "0301", s("广东")});

    Rows dep(d, QStringLiteral("departmentlth"), QStringLiteral("DEPID, CODE, NAME, SHOPERATEID, CLOSED"));
    dep.add({1, "01", s("总经办"), 0, 0}).add({2, "02", s("采购部"), 0, 0}).add({3, "03", s("销售部"), 0, 0})
        .add({4, "04", s("仓储部"), 0, 0}).add({5, "05", s("财务部"), 0, 0}).add({6, "06", s("生产部"), 0, 0})
        .add({7, "07", s("市场部(已撤销)"), 0, 1}).add({8, "08", s("分店营业部"), 1, 0});

    Rows et(d, QStringLiteral("emptypelth"), QStringLiteral("EMPTYPESID, CODE, NAME"));
    et.add({1, "01", s("管理人员")}).add({2, "02", s("业务员")}).add({3, "03", s("仓管员")})
        .add({4, "04", s("财务人员")}).add({5, "05", s("生产工人")});

    Rows e(d, QStringLiteral("employlth"),
           QStringLiteral("EMPID, CODE, NAME, DEPID, EMPTYPESID, OPERATERID, SEX, PHONE, SHOPERATEID, CLOSED"));
    e.add({1, "001", s("王建国"), 1, 1, 1, s("男"), "13801710001", 0, 0})
        .add({2, "002", s("李红梅"), 2, 2, null, s("女"), "13801710002", 0, 0})
        .add({3, "003", s("张伟"), 3, 2, 2, s("男"), "13801710003", 0, 0})
        .add({4, "004", s("刘洋"), 3, 2, null, s("男"), "13801710004", 0, 0})
        .add({5, "005", s("陈静"), 4, 3, null, s("女"), "13801710005", 0, 0})
        .add({6, "006", s("赵敏"), 5, 4, null, s("女"), "13801710006", 0, 0})
        .add({7, "007", s("孙强"), 6, 5, null, s("男"), "13801710007", 0, 0})
        .add({8, "008", s("周晓东"), 6, 5, null, s("男"), "13801710008", 0, 0})
        .add({9, "009", s("吴磊"), 3, 2, null, s("男"), "13801710009", 0, 1})
        .add({10, "010", s("黄丽"), 8, 2, null, s("女"), "13801710010", 1, 0});

    Rows st(d, QStringLiteral("storelth"), QStringLiteral("BUILDINGID, CODE, NAME, LOCATION, EMPID, SHOPERATEID"));
    st.add({1, "01", s("总部仓库"), s("上海市闵行区申富路88号1号库"), 5, 0})
        .add({2, "02", s("原料仓库"), s("上海市闵行区申富路88号2号库"), 5, 0})
        .add({3, "03", s("成品仓库"), s("上海市闵行区申富路88号3号库"), 5, 0})
        .add({4, "04", s("食品冷藏库"), s("上海市闵行区申富路90号"), 5, 0})
        .add({5, "05", s("南京东路门店仓"), s("上海市黄浦区南京东路299号地下一层"), 10, 1});
}

void finance(db::Database &d)
{
    Rows sj(d, QStringLiteral("subjectalth"), QStringLiteral("SUBJECTID, SUBCODE, NAME, ISDETAIL"));
    sj.add({1, "1001", s("库存现金"), 1}).add({2, "1002", s("银行存款"), 0})
        .add({3, "100201", s("银行存款-工商银行"), 1}).add({4, "100202", s("银行存款-建设银行"), 1})
        .add({5, "1122", s("应收账款"), 1}).add({6, "1405", s("库存商品"), 1}).add({7, "2202", s("应付账款"), 1})
        .add({8, "6001", s("主营业务收入"), 1}).add({9, "6401", s("主营业务成本"), 1})
        .add({10, "6601", s("销售费用"), 0}).add({11, "660101", s("销售费用-运输费"), 1})
        .add({12, "6603", s("财务费用"), 0}).add({13, "660301", s("财务费用-现金折扣"), 1})
        .add({14, "6051", s("其他业务收入"), 1});

    Rows ac(d, QStringLiteral("accountacth"),
            QStringLiteral("ACCOUNTID, CODE, NAME, SUBJECTID, BANK, BANKACCNO, SHOPERATEID"));
    ac.add({1, "01", s("现金"), 1, null, null, 0})
        .add({2, "02", s("工商银行闵行支行"), 3, s("中国工商银行上海闵行支行"), "1001234509200123456", 0})
        .add({3, "03", s("建设银行上海分行"), 4, s("中国建设银行上海分行"), "31001550400056012345", 0})
        .add({4, "04", s("分店备用金"), 1, null, null, 1});

    Rows pm(d, QStringLiteral("paymethodlth"), QStringLiteral("PAYTYPESID, CODE, NAME, ACCOUNTID, POUPFLAG"));
    pm.add({1, "01", s("现金"), 1, 1}).add({2, "02", s("转账支票"), 2, 0}).add({3, "03", s("电汇"), 2, 0})
        .add({4, "04", s("银行承兑汇票"), 3, 0}).add({5, "05", s("储值卡"), 1, 2}).add({6, "06", s("银联刷卡"), 3, 3});

    Rows io(d, QStringLiteral("iotypelth"), QStringLiteral("IOTYPESID, CODE, NAME, IOFLAG, CLOSED"));
    io.add({1, "01", s("其他入库"), 1, 0}).add({2, "02", s("盘盈入库"), 1, 0}).add({3, "03", s("赠品入库"), 1, 0})
        .add({4, "11", s("其他出库"), -1, 0}).add({5, "12", s("样品出库"), -1, 0}).add({6, "13", s("赠送出库"), -1, 0})
        .add({7, "19", s("旧品报废(停用)"), -1, 1});
}

void commodities(db::Database &d)
{
    Rows u(d, QStringLiteral("unitlth"), QStringLiteral("UNITSID, CODE, NAME"));
    const char *units[] = {"个", "箱", "包", "台", "千克", "米", "瓶", "套", "次", "小时", "盒", "张", "支", "件"};
    int uid = 0;
    for (const char *name : units) {
        ++uid;
        u.add({uid, QStringLiteral("%1").arg(uid, 2, 10, QLatin1Char('0')), s(name)});
    }
    enum { GE = 1, XIANG, BAO, TAI, KG, MI, PING, TAO, CI, XIAOSHI, HE, ZHANG, ZHI, JIAN };

    Rows t(d, QStringLiteral("CommoditylthType"), QStringLiteral("GDTYPESID, LCODE, NAME, TAXRATE, ISDEFAULTTAXRATE"));
    t.add({1, "01", s("办公用品"), 13, 1}).add({2, "0101", s("纸张本册"), 13, 1}).add({3, "0102", s("书写工具"), 13, 1})
        .add({4, "02", s("电子产品"), 13, 1}).add({5, "0201", s("电脑配件"), 13, 1}).add({6, "0202", s("通讯设备"), 13, 1})
        .add({7, "03", s("食品饮料"), 13, 1}).add({8, "04", s("原材料"), 13, 1}).add({9, "05", s("办公家具"), 13, 1})
        .add({10, "06", s("服务费用"), 6, 0}).add({11, "07", s("折扣与赠品"), null, 0});

    Rows c(d, QStringLiteral("Commoditylth"),
           QStringLiteral("COMMODITYID, CODE, NAME, SHORTNAME, SPEEDSYMBOL, BARCODE, SPEC, GDTYPESID, "
                          "UNITSID, UNITSIDPAK1, TIMEPAK1, BUILDINGID, KIND, COSTTYPE, VALIDDAYS, TAXRATE, "
                          "APRICE, HIGHPRICE, LOWPRICE, LPRICE1, LPRICE2, LPRICE3, PARTNERID, CUSTDEF1, CUSTDEF2"));
    struct G {
        const char *code, *name, *speed, *barcode, *model;
        int type, unit, pakUnit;
        double perPak;
        int store, kind, costType, validDays;
        double cost, high, low, price1, price2, price3;
        int supplier;
        const char *brand, *origin;
    };
    const G goods[] = {
        // goods bought and sold
        {"BG0001", "A4复印纸", "A4FYZ", "6901234500011", "70g 500张/包", 2, BAO, XIANG, 5, 1, 1, 1, 0, 18, 22, 20, 25, 24, 23, 1, "晨光", "上海"},
        {"BG0002", "A3复印纸", "A3FYZ", "6901234500028", "80g 500张/包", 2, BAO, XIANG, 5, 1, 1, 1, 0, 38, 45, 42, 52, 50, 48, 1, "晨光", "上海"},
        {"BG0003", "中性笔", "ZXB", "6901234500035", "0.5mm 黑色", 3, ZHI, HE, 12, 1, 1, 1, 0, 1.2, 1.5, 1.6, 2.5, 2.3, 2.0, 1, "晨光", "上海"},
        {"BG0004", "软抄本", "RCB", "6901234500042", "B5 60页", 2, GE, XIANG, 100, 1, 1, 1, 0, 2.8, 3.5, 3.6, 5.0, 4.8, 4.5, 1, "晨光", "上海"},
        {"BG0005", "订书机", "DSJ", "6901234500059", "12号 中型", 3, GE, XIANG, 24, 1, 1, 3, 0, 9.5, 12, 12, 18, 17, 16, 1, "得力", "宁波"},
        {"DZ0001", "无线鼠标", "WXSB", "6922345600013", "2.4G 黑色", 5, GE, XIANG, 50, 1, 1, 3, 0, 35, 42, 45, 69, 65, 60, 2, "罗技", "苏州"},
        {"DZ0002", "机械键盘", "JXJP", "6922345600020", "104键 青轴", 5, GE, XIANG, 10, 1, 1, 3, 0, 180, 210, 220, 299, 289, 279, 2, "雷柏", "深圳"},
        {"DZ0003", "23.8寸显示器", "XSQ", "6922345600037", "1920x1080 IPS", 5, TAI, 0, 0, 1, 1, 1, 0, 620, 700, 720, 899, 879, 859, 2, "AOC", "福州"},
        {"DZ0004", "U盘", "UP", "6922345600044", "64GB USB3.0", 5, GE, HE, 20, 1, 1, 1, 0, 28, 35, 36, 59, 55, 52, 2, "金士顿", "深圳"},
        {"DZ0005", "对讲机", "DJJ", "6922345600051", "5W 民用", 6, TAI, XIANG, 20, 1, 1, 1, 0, 150, 180, 190, 268, 258, 248, 2, "摩托罗拉", "天津"},
        // food, costed by batch and with a shelf life
        {"SP0001", "纯净水", "CJS", "6933456700019", "550ml*24瓶", 7, XIANG, 0, 0, 4, 1, 2, 365, 18, 21, 22, 30, 28, 27, 3, "娃哈哈", "杭州"},
        {"SP0002", "纯牛奶", "CNN", "6933456700026", "250ml*24盒", 7, XIANG, 0, 0, 4, 1, 2, 180, 52, 58, 60, 79, 76, 74, 3, "光明", "上海"},
        {"SP0003", "苏打饼干", "SDBG", "6933456700033", "400g", 7, HE, XIANG, 12, 4, 1, 2, 270, 9.8, 11, 12, 16.8, 15.8, 15, 3, "康师傅", "天津"},
        {"SP0004", "挂耳咖啡", "GECF", "6933456700040", "10g*20包", 7, HE, XIANG, 30, 4, 1, 2, 540, 45, 52, 55, 88, 85, 80, 3, "雀巢", "东莞"},
        // raw materials for the desks
        {"YL0001", "刨花板", "PHB", "6944567800015", "1220*2440*25mm", 8, ZHANG, 0, 0, 2, 1, 1, 0, 95, 110, 0, 0, 0, 0, 5, "大亚", "东莞"},
        {"YL0002", "方钢管", "FGG", "6944567800022", "40*40*1.5mm", 8, MI, 0, 0, 2, 1, 1, 0, 12.5, 14, 0, 0, 0, 0, 4, "华岐", "常州"},
        {"YL0003", "封边条", "FBT", "6944567800039", "PVC 22*1mm", 8, MI, 0, 0, 2, 1, 1, 0, 0.6, 0.8, 0, 0, 0, 0, 5, "大亚", "东莞"},
        {"YL0004", "自攻螺丝", "ZGLS", "6944567800046", "M4*30 1000只/盒", 8, HE, 0, 0, 2, 1, 3, 0, 25, 30, 0, 0, 0, 0, 4, "东明", "常州"},
        {"YL0005", "桌脚垫", "ZJD", "6944567800053", "橡胶 40mm", 8, GE, 0, 0, 2, 1, 1, 0, 0.8, 1, 0, 0, 0, 0, 4, "东明", "常州"},
        // made in house
        {"BC0001", "桌面板", "ZMB", nullptr, "1400*700*25mm", 9, ZHANG, 0, 0, 2, 2, 1, 0, 78, 0, 0, 0, 0, 0, 0, "华信", "上海"},
        {"BC0002", "钢制桌架", "GZZJ", nullptr, "1400*700*720mm", 9, TAO, 0, 0, 2, 2, 1, 0, 120, 0, 0, 0, 0, 0, 0, "华信", "上海"},
        {"CP0001", "办公桌", "BGZ", "6955678900012", "1400*700*750mm 胡桃色", 9, TAO, 0, 0, 3, 3, 1, 0, 230, 0, 380, 599, 569, 539, 0, "华信", "上海"},
        {"CP0002", "职员办公桌", "ZYBGZ", "6955678900029", "1200*600*750mm 白色", 9, TAO, 0, 0, 3, 3, 1, 0, 190, 0, 320, 499, 479, 459, 0, "华信", "上海"},
        // services, expenses and other non-stock items
        {"FW0001", "送货安装服务", "SHAZFW", nullptr, "上海市区内", 10, CI, 0, 0, 0, 4, 1, 0, 0, 0, 0, 50, 50, 50, 0, nullptr, nullptr},
        {"FW0002", "设备维修工时", "SBWXGS", nullptr, "", 10, XIAOSHI, 0, 0, 0, 4, 1, 0, 0, 0, 0, 80, 80, 80, 0, nullptr, nullptr},
        {"FY0001", "运输费", "YSF", nullptr, "", 10, CI, 0, 0, 0, 5, 1, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
        {"FY0002", "包装费", "BZF", nullptr, "", 10, CI, 0, 0, 0, 5, 1, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
        {"QT0001", "礼品卡", "LPK", nullptr, "面值100元", 11, ZHANG, 0, 0, 0, 6, 1, 0, 0, 0, 0, 100, 100, 100, 0, nullptr, nullptr},
        {"QT0002", "延长保修", "YCBX", nullptr, "延保一年", 10, CI, 0, 0, 0, 6, 1, 0, 0, 0, 0, 99, 99, 99, 0, nullptr, nullptr},
        {"ZK0001", "销售折扣", "XSZK", nullptr, "", 11, CI, 0, 0, 0, 7, 1, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
        {"ZK0002", "采购返利", "CGFL", nullptr, "", 11, CI, 0, 0, 0, 7, 1, 0, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
        {"TZ0001", "开学文具套装", "KXWJTZ", "6901234500998", "笔10支 本2本 尺1把", 1, TAO, 0, 0, 0, 8, 1, 0, 0, 0, 0, 39, 37, 35, 0, nullptr, nullptr},
    };
    int id = 0;
    for (const G &g : goods) {
        ++id;
        const bool stocked = g.kind <= 3;
        c.add({id, g.code, s(g.name), s(g.name), g.speed, g.barcode ? QVariant(g.barcode) : null, s(g.model), g.type,
               g.unit, g.pakUnit ? QVariant(g.pakUnit) : null, g.pakUnit ? QVariant(g.perPak) : null,
               stocked && g.store ? QVariant(g.store) : null, g.kind, g.costType,
               g.validDays ? QVariant(g.validDays) : null, g.type == 10 ? 6 : 13, g.cost, g.high, g.low, g.price1,
               g.price2, g.price3, g.supplier ? QVariant(g.supplier) : null, g.brand ? QVariant(s(g.brand)) : null,
               g.origin ? QVariant(s(g.origin)) : null});
    }
}

void partners(db::Database &d)
{
    Rows p(d, QStringLiteral("partnerlth"),
           QStringLiteral("PARTNERID, CODE, NAME, FULLNAME, ISVENDOR, ISCLIENT, ISCASHPARTNER, PTYPESID, AREAID, "
                          "TAXNO, ADDRESS, TEL1, FAX, BANK, BANKACCNO, CONTACTOR, PHONE, TRANSLATETO, "
                          "TRANSLATETYPE, EMPID, DEPID, CREDITDAY, CREDIT, SHOPERATEID, CLOSED"));
    struct P {
        const char *code, *name, *fullName;
        int vendor, client, cash, type, area;
        const char *taxNo, *address, *tel, *fax, *bank, *bankNo, *contact, *phone;
        int delivery, emp, dep, creditDays;
        double credit;
        int shop, closed;
    };
    const P list[] = {
        // suppliers
        {"S001", "晨光文具", "上海晨光文具股份有限公司", 1, 0, 0, 1, 2, "913100006073920521", "上海市奉贤区金钱公路3469号", "021-57475621", "021-57475622", "招商银行上海奉贤支行", "121909876510201", "周敏", "13916520001", 2, 2, 2, 30, 200000, 0, 0},
        {"S002", "华强电子", "深圳华强电子有限公司", 1, 0, 0, 2, 9, "914403001922068861", "深圳市福田区华强北路1002号", "0755-83216688", "0755-83216689", "中国银行深圳华强支行", "745857912010", "林志强", "13802960002", 4, 2, 2, 45, 300000, 0, 0},
        {"S003", "娃哈哈食品", "杭州娃哈哈食品有限公司", 1, 0, 0, 1, 4, "913301001437526318", "杭州市上城区清泰街160号", "0571-86796666", "0571-86796667", "中国农业银行杭州清泰支行", "19025101040012345", "方建华", "13906510003", 4, 2, 2, 15, 100000, 0, 0},
        {"S004", "常州钢管", "江苏常州钢管制造有限公司", 1, 0, 0, 1, 3, "913204007327461985", "常州市武进区湖塘镇工业园18号", "0519-86321001", "0519-86321002", "中国工商银行常州武进支行", "1105020109000123456", "钱国平", "13915080004", 4, 2, 2, 30, 80000, 0, 0},
        {"S005", "东莞木业", "东莞市华森木业板材有限公司", 1, 0, 0, 1, 9, "914419007929834526", "东莞市厚街镇家具大道88号", "0769-85821234", "0769-85821235", "中国建设银行东莞厚街支行", "44050177000800001234", "何志明", "13712340005", 4, 2, 2, 30, 80000, 0, 0},
        {"S006", "华远商贸", "北京华远商贸有限公司", 1, 0, 0, 2, 6, "911101055695321478", "北京市朝阳区建国路93号", "010-65012345", "010-65012346", "北京银行建国支行", "01090312300120105678", "马力", "13601010006", 3, 2, 2, 30, 0, 0, 1},
        // customers (联华超市 owes more than its credit allows)
        {"C001", "联华超市", "上海联华超市股份有限公司", 0, 1, 0, 3, 2, "91310000132245345X", "上海市普陀区真光路1258号", "021-52796000", "021-52796001", "交通银行上海普陀支行", "310066726018010123456", "徐丽娟", "13817720007", 2, 3, 3, 30, 1000, 0, 0},
        {"C002", "国美电器", "北京国美电器有限公司", 0, 1, 0, 3, 6, "91110000633717863K", "北京市朝阳区霄云路26号", "010-59288888", "010-59288889", "中国民生银行北京分行", "0102014170001234", "高峰", "13911110008", 4, 4, 3, 60, 500000, 0, 0},
        {"C003", "苏宁易购", "南京苏宁易购商贸有限公司", 0, 1, 0, 3, 3, "91320000608950912Y", "南京市玄武区苏宁大道1号", "025-84418888", "025-84418889", "南京银行玄武支行", "0123240000000456", "陶然", "13851230009", 4, 4, 3, 45, 300000, 0, 0},
        {"C004", "天河城百货", "广州天河城百货有限公司", 0, 1, 0, 3, 9, "914401016186012345", "广州市天河区天河路208号", "020-85592888", "020-85592889", "广州银行天河支行", "800212345601234", "梁嘉欣", "13802200010", 3, 3, 3, 30, 100000, 0, 0},
        {"C005", "西湖办公设备", "杭州西湖区办公设备经营部", 1, 1, 0, 2, 4, "92330106MA27Y0KX3P", "杭州市西湖区文三路398号", "0571-88231234", nullptr, "杭州银行文三支行", "3301040160001234567", "沈立", "13957110011", 3, 3, 3, 15, 50000, 0, 0},
        {"C999", "零售客户", "零售客户(现金)", 0, 1, 1, 4, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 1, 3, 3, 0, 0, 0, 0},
        {"C006", "分店散客", "南京东路分店散客", 0, 1, 1, 4, 2, nullptr, "上海市黄浦区南京东路299号", "021-63221188", nullptr, nullptr, nullptr, nullptr, nullptr, 1, 10, 8, 0, 0, 1, 0},
    };
    const auto text = [](const char *t) { return t ? QVariant(s(t)) : null; };
    int id = 0;
    for (const P &x : list) {
        ++id;
        p.add({id, x.code, s(x.name), s(x.fullName), x.vendor, x.client, x.cash, x.type, x.area, text(x.taxNo),
               text(x.address), text(x.tel), text(x.fax), text(x.bank), text(x.bankNo), text(x.contact),
               text(x.phone), text(x.address), x.delivery, x.emp, x.dep, x.creditDays, x.credit, x.shop, x.closed});
    }

    // Agreed prices: a few purchase prices and customer prices, one of them 0 (a free sample).
    Rows pp(d, QStringLiteral("partnerprice"), QStringLiteral("PARTNERID, COMMODITYID, PRICE, REMARK"));
    pp.add({1, 1, 17.5, s("年度协议价")}).add({1, 3, 1.1, s("年度协议价")}).add({2, 6, 33, null})
        .add({2, 8, 600, s("季度促销")}).add({3, 11, 17.2, null}).add({7, 1, 23.5, s("超市供货价")})
        .add({7, 11, 27.5, null}).add({8, 8, 849, null}).add({9, 7, 279, null}).add({9, 9, 0, s("赠品样机")});
}

// The demo passwords are public (each equals its login), so their hashes
// guard nothing: one per process spares every demo books the KDF's cost.
QString demoHash(const QString &password)
{
    static QMutex mutex;
    static QHash<QString, QString> made;
    QMutexLocker lock(&mutex);
    auto it = made.constFind(password);
    if (it == made.constEnd())
        it = made.insert(password, hashPassword(password));
    return it.value();
}

void operators(db::Database &d)
{
    Rows o(d, QStringLiteral("operatormth"),
           QStringLiteral("OPERATEID, LOGINNAME, OPERATENAME, OPERATEPWD, PWDSALT, ISADMIN, EMPID, SHOPERATEID"));
    const struct {
        int id;
        const char *login, *name;
        int admin, emp;
    } people[] = {{1, "admin", "系统管理员", 1, 1}, {2, "clerk", "张伟", 0, 3}};
    for (const auto &x : people) {
        // Password equal to the login, as the demo instructions say.
        o.add({x.id, x.login, s(x.name), demoHash(QString::fromLatin1(x.login)), null, x.admin, x.emp, 0});
    }

    Rows r(d, QStringLiteral("privilegemth"), QStringLiteral("OPERATEID, PRIVILEGEID, ACTION"));
    QList<int> every = kPurchaseSalesForms + kOtherForms + kGlobalItems;
    for (const NoteTypeRule &t : kNoteTypes)
        every << 2000 + t.id; // item of the note type (message recipients, "next" on the last note)
    std::sort(every.begin(), every.end());
    every.erase(std::unique(every.begin(), every.end()), every.end());
    for (int item : every)
        for (int action = 1; action <= 7; ++action)
            r.add({1, item, action});
    for (int item : kPurchaseSalesForms)
        for (int action : {1, 2})
            r.add({2, item, action});
}

} // namespace

void createDemo(db::Database &database, const QDate &today)
{
    if (!today.isValid())
        throw DbError(QStringLiteral("演示数据需要有效的当前日期"));
    database.beginTran();
    try {
        systemParameters(database, today);
        codeLists(database);
        organisation(database);
        finance(database);
        commodities(database);
        partners(database);
        operators(database);
        createStockDemo(database, today);
        detail::raiseKeysToData(database);
        createMoneyDemo(database, today);
        createPurchaseDemo(database, today);
        createSalesDemo(database, today);
        createPaymentDemo(database, today);
        database.commitTran();
    } catch (...) {
        if (database.inTransaction())
            database.rollbackTran();
        throw;
    }
}

} // namespace notedb
