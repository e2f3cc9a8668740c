#pragma once
// Where the windows meet: each window asks for another through a signal,
// and this is the one place that answers. A window folder never includes a
// sibling; only app/ knows them all.
#include "print/Checkout.h"

class TMainForm;

namespace app {

// Connects every window's requests; run once the windows exist.
void wireForms();

// The main window's state as the checkout takes it, with the ways to show
// what becomes of the sale.
print::Till tillOf(TMainForm &form);

} // namespace app
