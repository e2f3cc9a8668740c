#pragma once
// What the product dialogs check before they write a row: a name the catalogue
// column holds whole and a price that reads as a number (or no price at all).
// A refused text throws before anything is written, so no half row is left.
#include "store/NumberText.h"
#include "store/Schema.h"

namespace product {
inline void requireStorable(const QString &name, const QString &price)
{
    schema::requireFits(schema::spxx, schema::col::pinming, name);
    if (!price.isEmpty())
        numtext::parse(price);
}
} // namespace product
