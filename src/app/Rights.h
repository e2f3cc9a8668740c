#pragma once
// The rights of the logged-in user are the states that the login gives to a
// few controls of three windows.
#include <QString>

namespace app {
enum class RightsColumn { Administrator, Ordinary };
// "管理员" is the administrator; anything else gets the ordinary user's
// column (least privilege).
RightsColumn rightsColumn(const QString &rights);
// user: the one who logged in; an ordinary user changes no password but his own.
void applyRights(RightsColumn column, const QString &user = {});
} // namespace app
