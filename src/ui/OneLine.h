#pragma once
// One-line boxes hold one line: line breaks and tabs that come in with
// pasted text (a cell copied from a spreadsheet ends with one) are not kept
// as part of a name or a number.
#include <QString>
#include <QValidator>

class QComboBox;
class QLineEdit;

namespace ui {

// The text with leading and trailing line breaks and tabs removed and each
// run of them inside replaced by one space. Blanks are kept as they are.
QString oneLine(const QString &text);

class OneLineValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Every change of the box's text, typed, pasted or set, goes through oneLine.
void keepOneLine(QLineEdit *box);
void keepOneLine(QComboBox *box);

} // namespace ui
