#pragma once
// The steps by which one window reaches into another, kept in one place: a
// window includes only what it owns and calls these for the rest.
#include <QString>

namespace app {

// The main window's product list (from the catalogue), filled anew; the box
// is left with empty text.
void reloadProductList();
// The main window's cashier list (from the users), filled anew; the box keeps
// the cashier it shows.
void reloadCashierList();
// The main window's copies of the print content: its store name box and its
// remark holder.
void renewPrintContent(const QString &storeName, const QString &remark);

// The settings window rereads its lists after another window wrote to them.
void refreshSettingsWindow();

// The settings window's dialogs, opened on its lists' current rows.
void openAddUser();
void openModifyUser();
void openAddProduct();
void openModifyProduct();
void openRightsExplanation();

} // namespace app
