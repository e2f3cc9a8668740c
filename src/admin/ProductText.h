#pragma once
// What the product dialogs check before they write a row: a name the catalogue
// column holds whole and a price by the rule of every price box (or no price
// at all). A refused text throws before anything is written, so no half row is
// left, and no price the grids would show as INF is ever stored.
#include "store/Price.h"
#include "store/Schema.h"
#include "ui/FormKit.h"
#include "ui/KeyFilter.h"
#include "ui/OneLine.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace product {
inline void requireStorable(const QString &name, const QString &unitPrice)
{
    schema::requireFits(schema::spxx, schema::col::pinming, name);
    price::requireValid(unitPrice);
}

// The name and price boxes with their labels, in the first two rows of the
// grid. A pasted line break or control character never becomes part of a
// product's name or price (the main window's boxes would not hold it).
inline void nameAndPriceBoxes(QWidget *dialog, QGridLayout *grid, QLabel *&nameLabel, QLineEdit *&name,
                              QLabel *&priceLabel, QLineEdit *&price)
{
    name = ui::make<QLineEdit>(dialog, "Edit1");
    nameLabel = ui::label(dialog, "Label1", QStringLiteral("品名："), name);
    price = ui::make<QLineEdit>(dialog, "Edit2");
    priceLabel = ui::label(dialog, "Label2", QStringLiteral("单价："), price);
    new ui::NumericKeyFilter(price);
    ui::keepOneLine(name);
    ui::keepOneLine(price);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(name, 0, 1);
    grid->addWidget(priceLabel, 1, 0);
    grid->addWidget(price, 1, 1);
}
} // namespace product
