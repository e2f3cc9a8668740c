#pragma once
// What a screen reader is told about the program's controls.

namespace ui {
// Drop-down lists are named by their label (the accessible name the label
// gives them), read their text as the value, and give their entries as the
// children of their list (read as they are reached, like the list itself).
// Qt on Linux names a combo box by its current text, so a reader would
// announce "10" for 折扣. Installed once; later calls do nothing.
void nameListsByTheirLabels();

// A grid's footer is read as its sums: "合计：数量 3，金额 25.5，折后 22.95".
// Installed once; later calls do nothing.
void readFootersAsText();
} // namespace ui
