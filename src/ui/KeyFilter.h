#pragma once
// The numeric key filter of the amount boxes: only digits, one "." and
// backspace can be typed; every other character is dropped, among them the
// control characters of Ctrl+C, Ctrl+X and Ctrl+V. Text that arrives any
// other way (Shift+Insert, the context menu, list choices, the program) is
// not examined.
// Each key release runs the box's recomputation.
#include <QObject>
#include <functional>

class QWidget;

namespace ui {

// Whether a typed character may enter a box whose text is currentText.
bool numericKeyAccepted(QChar typed, const QString &currentText);

class NumericKeyFilter : public QObject {
    Q_OBJECT
public:
    // box: the QLineEdit, or the editable QComboBox whose line edit is filtered.
    NumericKeyFilter(QWidget *box, std::function<void()> onKeyRelease = {});
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *box_;
    QWidget *edit_;
    std::function<void()> onKeyRelease_;
};

// Runs a handler when the user changes a box's text without a key: a paste
// from the context menu, a drop. A recomputation run at each key release
// would miss such a change and leave figures computed from the old text.
class KeylessEditHook : public QObject {
    Q_OBJECT
public:
    KeylessEditHook(QWidget *box, std::function<void()> onEdit);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool keyDown_ = false; // a key of the box is pressed: its release runs the hook
    std::function<void()> onEdit_;
};

} // namespace ui
