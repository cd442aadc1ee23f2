// Demo run of notehost without a display (scripts/run under Xvfb): opens the
// windows the package provides so far and saves screenshots into demo/shots/.
var shots = "demo/shots/";
var saved = [];
function shot(target, name, menu) {
  host.grab(target, shots + name, menu);
  saved.push(shots + name);
}

print("用户: " + host.userName + "  帐套: " + host.books);
shot(host.mainWindow, "main.png");
shot(host.mainWindow, "menu-purchase.png", "采购");
shot(host.mainWindow, "menu-tools.png", "工具");
shot(host.navigator, "navigator.png");

// Up to three of the forms that are built, each opened from its menu entry.
var opened = 0;
host.menus().forEach(function (m) {
  if (opened >= 3 || !m.enabled || !m.form || m.function !== "SHOWNOTEFORM" || m.argument !== m.form) return;
  host.trigger(m.name);
  host.wait(100);
  var w = host.form(m.form);
  if (w !== null) {
    shot(w, "form-" + m.form + ".png");
    ++opened;
  }
});
if (opened > 0) shot(host.mainWindow, "main-with-forms.png");

var available = host.menus().filter(function (m) { return m.enabled; }).length;
print("可用菜单项: " + available + " / " + host.menus().length + ", 打开的窗口: " + opened);
host.messages.forEach(function (m) { print("消息 " + m.kind + ": " + m.text); });
saved.forEach(function (p) { print("截图: " + p); });
