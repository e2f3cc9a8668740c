#pragma once
// Every message box of the program goes through msg::show, titled "提示"
// unless told otherwise. Tests install a hook that records each prompt and
// answers it from a script instead of showing a dialog.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace msg {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct Prompt {
    QString owner; // objectName of the owning window
    QString title;
    QString text;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    // The buttons' own captions, in order, where the question names its
    // answers (重打, 作废, ...); empty: 确定, 取消, 是, 否.
    QStringList captions;
};

QString defaultTitle(); // "提示"

Answer show(QWidget *owner, const QString &text, Icon icon, Buttons buttons = Buttons::Ok,
            const QString &title = defaultTitle(), const QStringList &captions = {});

using Hook = std::function<Answer(const Prompt &)>;
// Replaces the dialog; an empty hook restores it.
void setHook(Hook hook);

} // namespace msg
