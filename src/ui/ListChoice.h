#pragma once
// Editable drop-down lists: an item counts as chosen only when the user picks
// it from the open list or steps to it with Up, Down, PageUp or PageDown.
// QComboBox::activated alone is not that: Qt also emits it when an editable
// box loses the focus, or gets Enter, while its text equals a list item.
#include <QComboBox>
#include <QObject>
#include <functional>

namespace ui {

class ListChoice : public QObject {
    Q_OBJECT
public:
    // Runs onChoice (through the general error display) after each choice.
    ListChoice(QComboBox *box, std::function<void()> onChoice);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arm();
    void watchPopup();
    QComboBox *box_;
    std::function<void()> onChoice_;
    bool armed_ = false;
    QObject *popupView_ = nullptr;
};

// Connects a handler to the choices of a list (see ListChoice).
ListChoice *onListChoice(QComboBox *box, std::function<void()> onChoice);

// Sets the text of an editable list from the program: no change handling runs,
// and the list position follows the text, so the arrow keys go on from the
// item shown (no item when the text is none of them).
void setListText(QComboBox *box, const QString &text);

} // namespace ui
