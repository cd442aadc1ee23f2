// The shared catalogue of line columns: what a commodity, money or stock line
// column is called, how wide it is, how it is shown and whether users type
// into it. Kinds name the columns they show and override what differs.

#include "MDnoteResource.h"

#include <QHash>

namespace mdnote {

namespace {

constexpr const char *kAmount = "#0.00";
constexpr const char *kQuantity = "#0.####";
constexpr const char *kPrice = "#0.########";

const QHash<QString, DetailColumn> &catalogue()
{
    static const QHash<QString, DetailColumn> columns = [] {
        const DetailColumn list[] = {
            {.field = "COMMODITYCODE", .caption = "货品编号", .width = 110, .ellipsis = true},
            {.field = "COMMODITYNAME", .caption = "货品名称", .width = 160, .readOnly = true},
            {.field = "BARCODE", .caption = "条码", .width = 110, .readOnly = true},
            {.field = "SPEC", .caption = "规格型号", .width = 100, .readOnly = true},
            {.field = "UNITNAME", .caption = "单位", .width = 50, .readOnly = true},
            {.field = "UNITSECNAME", .caption = "辅助单位", .width = 60, .readOnly = true},
            {.field = "STORECODE", .caption = "仓库编号", .width = 80, .ellipsis = true},
            {.field = "BUILDINGNAME", .caption = "仓库", .width = 100, .readOnly = true},
            {.field = "QUANTITY", .caption = "数量", .width = 80, .displayFormat = kQuantity, .total = true},
            {.field = "ORIGPRICE", .caption = "原价", .width = 90, .displayFormat = kPrice},
            {.field = "DISC", .caption = "折扣%", .width = 60, .displayFormat = kQuantity},
            {.field = "PRICE", .caption = "单价", .width = 90, .displayFormat = kPrice},
            {.field = "ORIGTAXPRICE", .caption = "含税原价", .width = 90, .displayFormat = kPrice},
            {.field = "TAXRATE", .caption = "税率%", .width = 60, .displayFormat = kQuantity},
            {.field = "TAXPRICE", .caption = "含税单价", .width = 90, .displayFormat = kPrice},
            {.field = "COMMODITYAMT", .caption = "金额", .width = 100, .displayFormat = kAmount, .total = true},
            {.field = "TAXAMT", .caption = "税额", .width = 90, .displayFormat = kAmount, .total = true},
            {.field = "AMOUNT", .caption = "价税合计", .width = 110, .displayFormat = kAmount, .total = true},
            {.field = "DISCAMT", .caption = "折扣额", .width = 90, .displayFormat = kAmount, .total = true},
            {.field = "PRICESEC", .caption = "辅助单价", .width = 90, .displayFormat = kPrice},
            {.field = "APRICE", .caption = "成本价", .width = 90, .displayFormat = kPrice, .readOnly = true},
            {.field = "BCODE", .caption = "批号", .width = 90, .ellipsis = true},
            {.field = "PRODUCTDAY", .caption = "生产日期", .width = 90},
            {.field = "VALIDDAY", .caption = "有效期至", .width = 90},
            {.field = "CUSTDEF1", .caption = "自定义1", .width = 80, .readOnly = true},
            {.field = "CUSTDEF2", .caption = "自定义2", .width = 80, .readOnly = true},
            {.field = "CUSTDEF3", .caption = "自定义3", .width = 80, .readOnly = true},
            {.field = "CUSTDEF4", .caption = "自定义4", .width = 80, .readOnly = true},
            {.field = "CUSTDEF5", .caption = "自定义5", .width = 80, .readOnly = true},
            {.field = "REFERQTY", .caption = "已执行数量", .width = 80, .displayFormat = kQuantity, .readOnly = true},
            {.field = "REFERCOUNT", .caption = "引用次数", .width = 60, .readOnly = true, .visible = false},
            {.field = "REFERNOTETYPE", .caption = "源单类型", .width = 60, .readOnly = true, .visible = false},
            {.field = "REFERNOTEID", .caption = "源单", .width = 60, .readOnly = true, .visible = false},
            {.field = "REFERITEMSNO", .caption = "源单行号", .width = 60, .readOnly = true, .visible = false},
            {.field = "REMARK", .caption = "备注", .width = 240},
        };
        QHash<QString, DetailColumn> h;
        for (const DetailColumn &c : list)
            h.insert(QString::fromLatin1(c.field), c);
        return h;
    }();
    return columns;
}

} // namespace

const DetailColumn *LineColumn(const QString &field)
{
    const auto &c = catalogue();
    const auto it = c.constFind(field.toUpper());
    return it == c.constEnd() ? nullptr : &it.value();
}

ResolvedColumn ResolveColumn(const DetailColumn &declared)
{
    static const DetailColumn none;
    const QString field = QString::fromLatin1(declared.field);
    const DetailColumn *shared = LineColumn(field);
    const DetailColumn &base = shared ? *shared : none;
    ResolvedColumn r;
    r.field = field;
    const char *caption = declared.caption ? declared.caption : base.caption;
    r.caption = caption ? QString::fromUtf8(caption) : field;
    r.width = declared.width != 0 ? declared.width : (base.width != 0 ? base.width : -1);
    const char *format = declared.displayFormat ? declared.displayFormat : base.displayFormat;
    r.displayFormat = format ? QString::fromUtf8(format) : QString();
    r.readOnly = declared.readOnly.value_or(base.readOnly.value_or(false));
    r.total = declared.total.value_or(base.total.value_or(false));
    r.ellipsis = declared.ellipsis.value_or(base.ellipsis.value_or(false));
    r.visible = declared.visible.value_or(base.visible.value_or(true));
    r.required = declared.required.value_or(base.required.value_or(false));
    return r;
}

} // namespace mdnote
