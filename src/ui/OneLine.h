#pragma once
// One-line boxes hold one line: line breaks and tabs that come in with
// pasted text (a cell copied from a spreadsheet ends with one) are not kept
// as part of a name or a number, nor are other invisible control characters
// (a NUL, an escape) that a paste can bring.
//
// Every box keeps only text the database gives back as it was stored: SQLite
// stores U+FFFE, U+FFFF and a lone half of a surrogate pair, but reads each
// back as U+FFFD, so a name or password holding one would never match
// itself again. A box takes them as U+FFFD at once.
#include <QString>
#include <QValidator>

class QComboBox;
class QLineEdit;

namespace ui {

// The text with U+FFFE, U+FFFF and unpaired surrogates as U+FFFD.
QString storable(const QString &text);

// storable(text) with leading and trailing line breaks and tabs removed,
// each run of them inside replaced by one space, and other control
// characters dropped. Blanks are kept as they are.
QString oneLine(const QString &text);

class OneLineValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Keeps a box's text storable, and nothing else (a password, compared
// exactly as typed).
class StorableValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Every change of the box's text, typed, pasted or set, goes through oneLine.
void keepOneLine(QLineEdit *box);
void keepOneLine(QComboBox *box);
// Every change of the box's text goes through storable.
void keepStorable(QLineEdit *box);

} // namespace ui
