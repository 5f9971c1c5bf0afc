#pragma once

#include <QFont>

namespace harbolink::ui {

// The windows' own font: registers the bundled Quicksand file with the application's font
// database (once per process) and returns "Quicksand Medium", 12 points, weight 3, not italic.
// Where the family is missing, Qt's font matching picks another one.
QFont quicksandFont();

} // namespace harbolink::ui
