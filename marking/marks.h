// What the numbering operations share: the mark beside a dimension, its
// number, the rows of numbered dimensions, the ordering rule and `after`.
#pragma once

#include <cstdint>
#include <string>

namespace model {
class Form1;
}  // namespace model

namespace marking {

// The height of a mark's number at position p: 1.2 R for 1 to 9, R for 10
// to 98, 0.6 R from 99 on.
float markHeightFor(int position, float radius);

// markBase from the start box: its leading number minus 1, halves to even.
// False, with a message, when a mark number of positions 1 to last would
// leave the 16-bit range; nothing may be numbered then.
bool readMarkBase(model::Form1& f, int lastPosition);

// Draws the mark of position p beside its dimension's text.
void drawmark(model::Form1& f, int p);

// Appends the row of position p to dimRs (AddNew and the nine fields);
// every failing step is skipped.
void appendRow(model::Form1& f, int p);

// Opens a new dbConn and dimRs on dim1; failures are skipped.
void openTable(model::Form1& f);

// Orders positions first to last by text X (left to right) or Y (bottom to
// top), by the exchange procedure whose order of equal keys callers rely on.
void sortrange(model::Form1& f, int first, int last);

// Fills the browse list and opens the browse and measurement panels.
void after(model::Form1& f);

// The list entry of a mark: "7------25.40".
std::string listEntry(const std::string& markNumber, const std::string& value);

}  // namespace marking
