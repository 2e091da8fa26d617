// The program kept in step with the marks its drawing holds: when the
// drawing is opened, and after the user took back changes in the CAD
// window.
#pragma once

#include <cstdint>

namespace model {
class Form1;
}  // namespace model

namespace marking {

// After "确定" opened a drawing: its own zone grid, and a database that
// says numbered while the drawing holds none of its marks (a numbering
// killed before the drawing was saved) is told of, with the offer to
// number the drawing again.
void drawingOpened(model::Form1& f);

// The user's undo in the CAD window. Marks of this run's numbering that
// came back bring the browse panel back; marks that are gone for good
// (their numbering taken back) give their positions back, rows and all,
// so that the drawing can be numbered again from there. Measurements
// entered for those positions are only given up when the user says so.
void drawingUndone(model::Form1& f);

// Gives up the numbering from position `first` on: the rows and
// measurements in the database, and the program's state of those
// positions. False, with the reason told, when the database refused
// (nothing changed then).
bool giveUpNumbering(model::Form1& f, std::int32_t first);

}  // namespace marking
