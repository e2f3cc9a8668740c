#pragma once
#include <QString>
#include <functional>

class QWidget;

namespace ui {
// Opens "使用帮助.chm" of the current directory with its viewer; a missing
// file shows nothing.
void openHelp(QWidget *owner);
QString helpFileName();
// Tests watch what would be opened instead.
void setHelpOpener(std::function<void(const QString &path)> opener);
} // namespace ui
