#pragma once
// Ending a sale: 打印(F5) and the F5 key print the working ticket, archive it
// and start the next one; 预览 shows the receipt the options select.
class TMainForm;

namespace print {

// The checkout, in its steps. Not re-entrant: a trigger that arrives while a
// checkout runs does nothing. An error of the print step ends it before
// anything is archived; an error while archiving stores none of the ticket.
void checkout(TMainForm &form);
bool checkoutRunning();

// Sales archived while their receipt printed when the program last ended
// (killed, a power cut): each is shown to the cashier, who prints it again
// (重打), undoes it (作废: the lines return to the working ticket) or leaves
// it for the next start. Run once somebody logged in.
void resolveMarkedSales(TMainForm &form);

// Selects the options' page in both receipt windows and shows the window of
// the paper width, modally; any other paper text shows nothing.
void preview(TMainForm &form);

} // namespace print
