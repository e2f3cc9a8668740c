#include "app/Rights.h"

#include "admin/XtUnit.h"
#include "admin/YhxgUnit.h"
#include "history/XstjUnit.h"
#include "ticket/MainUnit.h"
#include "ui/FormKit.h"

namespace app {

RightsColumn rightsColumn(const QString &rights)
{
    return rights == QStringLiteral("管理员") ? RightsColumn::Administrator : RightsColumn::Ordinary;
}

void applyRights(RightsColumn column, const QString &user)
{
    const bool admin = column == RightsColumn::Administrator;
    ui::setEditable(MainForm->Edit1, admin);
    ui::setEditable(MainForm->Edit5, false);
    ui::setEditable(MainForm->Memo1, false);
    ui::setEditable(XtForm->Edit1, admin);
    ui::setEditable(XtForm->Memo1, admin);
    XtForm->SpeedButton1->setEnabled(admin);
    XtForm->SpeedButton3->setEnabled(admin);
    // Only an administrator gives rights: an ordinary user who knows a
    // password may change it, never make anyone an administrator.
    YhxgForm->ComboBox1->setEnabled(admin);
    // Nor does he change another's password: knowing it would let him in as
    // that user, and the administrator's is empty until the owner sets it.
    if (admin)
        YhxgForm->allowEveryUser();
    else
        YhxgForm->allowOnly(user);
    XstjForm->SpeedButton4->setEnabled(admin);
    XstjForm->N6->setEnabled(admin);
}

} // namespace app
