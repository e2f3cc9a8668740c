#pragma once
// What a screen reader is told about the program's controls.

namespace ui {
// Drop-down lists are named by their label (the accessible name the label
// gives them) and read their text as the value. Qt on Linux names a combo
// box by its current text, so a reader would announce "10" for 折扣.
// Installed once; later calls do nothing.
void nameListsByTheirLabels();
} // namespace ui
