// An expense note entered, saved, audited, un-audited, voided and deleted from
// the outside, through the host's menus and the window's own buttons.
// notehost --db BOOKS --user admin --script expense_flow.js

function check(ok, what) {
    if (!ok)
        throw new Error("failed: " + what);
}
// The value a statement returns as V (read by its name, on either engine).
function one(sql) {
    var rows = host.sql(sql);
    return rows.length ? rows[0].V : null;
}
function cash() {
    return Number(one("select BALANCE as V from accountacth where ACCOUNTID = 1"));
}
function errors() {
    return host.messages.filter(function (m) { return m.kind === "Error"; }).map(function (m) { return m.text; });
}

// The menu entry is enabled and opens the window.
var entry = host.menus().filter(function (m) { return m.form === "OutMoneyForm"; })[0];
check(entry && entry.enabled, "menu entry of OutMoneyForm enabled");
check(host.call("SHOWNOTEFORM", "OutMoneyForm").result === 0, "SHOWNOTEFORM");
var w = host.form("OutMoneyForm");
check(w !== null, "window opened");
check(w.master.field("NOTEID") === -9999, "a blank new note");

var before = cash();
var notes = Number(one("select count(*) as V from expenseath"));

// Enter through the controls: cash payment, two lines.
w.find("cmbPayType").text = "现金";
check(w.master.field("PAYTYPESID") === 1, "the settlement method chosen by its name");
check(w.master.field("ACCOUNTID") === 1, "the settlement method brings its account");
w.find("edRemark").text = "脚本录入的费用";
check(w.master.field("REMARK") === "脚本录入的费用", "the remark typed into its box");
w.detail.append();
w.detail.setField("IETYPESID", 1);
w.detail.setField("AMOUNT", 58.5);
w.detail.setField("REMARK", "快递费");
w.detail.post();
w.detail.append();
w.detail.setField("IETYPESID", 4);
w.detail.setField("AMOUNT", 241.5);
w.detail.post();

// A remark longer than its column is refused at save, nothing written, the note kept.
w.master.setField("REMARK", new Array(202).join("长"));
w.find("OkBtn").click();
check(errors().join("|") === "字段 '备注' 的内容过长：最多 200 个字符，现有 201 个。", "overlong remark refused: " + errors().join("|"));
check(Number(one("select count(*) as V from expenseath")) === notes, "nothing written");
check(w.detail.count === 2, "the lines stay on screen");
host.clearMessages();
w.find("edRemark").text = "脚本录入的费用";

// Save.
w.find("OkBtn").click();
check(errors().length === 0, "saved without errors: " + errors().join("|"));
var id = w.master.field("NOTEID");
check(id > 0, "the note has its key");
check(Number(one("select count(*) as V from expenseath")) === notes + 1, "master row written");
check(Number(one("select AMOUNT as V from expenseath where NOTEID = " + id)) === 300, "amount is the line total");
check(one("select REMARK as V from expenseath where NOTEID = " + id) === "脚本录入的费用", "the remark saved");
check(Number(one("select count(*) as V from expenseathdetail where NOTEID = " + id)) === 2, "two line rows");
check(Number(one("select count(*) as V from noteprintabth where NOTETYPE = 52 and NOTEID = " + id)) === 1, "print register");
print("saved", id, w.master.field("NOTECODE"));

// Audit: the cash box pays.
w.find("CheckBtn").click();
check(errors().length === 0, "audited without errors: " + errors().join("|"));
check(Number(one("select NOTESTATE as V from expenseath where NOTEID = " + id)) === 1, "audited");
check(cash() === before - 300, "cash paid out");
print("audited", cash());

// Back to the note, un-audit.
host.call("LOCATENOTE", "", {NOTETYPE: 52, NOTEID: id});
w = host.form("OutMoneyForm");
check(w.master.field("NOTEID") === id, "located");
check(w.find("CheckBtn").text === "反审核(&O)", "button offers un-audit");
w.find("CheckBtn").click();
check(Number(one("select NOTESTATE as V from expenseath where NOTEID = " + id)) === 0, "un-audited");
check(cash() === before, "cash back");
print("unaudited", cash());

// Void, then un-void so it can be deleted.
w.muAbateClick();
check(Number(one("select NOTESTATE as V from expenseath where NOTEID = " + id)) === 2, "void");
print("voided");
w.muAbateClick();
check(Number(one("select NOTESTATE as V from expenseath where NOTEID = " + id)) === 0, "un-voided");

// Delete after confirming.
host.answer("yes");
w.muDeleteClick();
check(Number(one("select count(*) as V from expenseath where NOTEID = " + id)) === 0, "master deleted");
check(Number(one("select count(*) as V from expenseathdetail where NOTEID = " + id)) === 0, "lines deleted");
check(Number(one("select count(*) as V from noteprintabth where NOTETYPE = 52 and NOTEID = " + id)) === 0, "register row deleted");
var asked = host.messages.filter(function (m) { return m.kind === "YesNo"; }).map(function (m) { return m.text; });
check(asked.indexOf("是否确认删除数据？") >= 0, "delete was confirmed");
check(errors().length === 0, "no errors: " + errors().join("|"));
print("deleted");

// Closed and asked for again at once: a fresh window, not the one being freed.
w.close();
check(host.call("SHOWNOTEFORM", "OutMoneyForm").result === 0, "SHOWNOTEFORM again");
w = host.form("OutMoneyForm");
check(w !== null && w.master.field("NOTEID") === -9999, "a new window after the close");
