// What the numbering operations share: the mark beside a dimension, its
// number, the rows of numbered dimensions, the ordering rule and `after`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cadhost/host.h"
#include "dimtable/records.h"

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

// Draws the mark of position p beside its dimension's text; the second
// row of a composite frame has none of its own.
void drawmark(model::Form1& f, int p);

// The number on position p's mark: p + markBase, counting a composite
// frame's two rows as one mark.
int markNumberAt(const model::Form1& f, int p);

// Appends the row of position p to dimRs (AddNew and the nine fields, and
// what a characteristic keeps beside them); every failing step is skipped.
void appendRow(model::Form1& f, int p);

// The list's entries as the reorderings move them: one entry, or the two
// rows of a composite frame, which stay together and in order.
using Unit = std::vector<dimtable::DimRecord>;
// Positions first to last as units, from index 1 (index 0 is scratch, as
// entry 0 of the list is).
std::vector<Unit> unitsOf(const std::vector<dimtable::DimRecord>& d, int first,
                          int last);
// Units 1 to count back into the list from position first; the last
// position written.
int putUnits(std::vector<dimtable::DimRecord>& d, int first,
             const std::vector<Unit>& units, std::size_t count);
// The exchange procedure of the ordering rule on any list with a scratch
// entry 0: whoever swaps records swaps them so.
template <typename List, typename Key>
void exchangeSort(List& d, int first, int last, Key key) {
  for (int i = first; i <= last; ++i) {
    for (int j = i; j <= last; ++j) {
      if (key(d[static_cast<size_t>(j)]) < key(d[static_cast<size_t>(i)])) {
        // Through the scratch entry, which keeps a copy of record i.
        d[0] = std::move(d[static_cast<size_t>(i)]);
        d[static_cast<size_t>(i)] = std::move(d[static_cast<size_t>(j)]);
        d[static_cast<size_t>(j)] = d[0];
      }
    }
  }
}

// Opens a new dbConn and dimRs on dim1; failures are skipped.
void openTable(model::Form1& f);

// The same for an operation that writes rows later: a table that cannot be
// opened is reported and false returned, with nothing changed.
bool openTableOrSay(model::Form1& f);

// Saves the rows appended since the table was opened (one pass). False,
// with the reason told, when the table refused them: none was kept.
bool saveRows(model::Form1& f, int rows);

// Why a numbering that would start again at the first position does
// nothing: the drawing was numbered before (its rows wait for "已经标号"),
// or in this run.
void sayNumbered(model::Form1& f);

// Brings the CAD host's window to the front for the user's picks.
void showCadWindow(model::Form1& f);

// The window test of zone marking: the point lies in the rectangle spanned
// by two opposite corners, edges included, whichever corners were picked.
bool inWindow(float x, float y, const cadhost::Point& a,
              const cadhost::Point& b);

// The plane distance of two points, worked out in double precision and
// rounded to a single: the searches compare distances as singles.
float dist(float x1, float y1, float x2, float y2);

// The number a text stands for as a mark, or nothing when it is no mark:
// it holds no "%" and begins with a whole number other than 0 ("12", " 7",
// "3A" qualify; "12.5", "0", "A3" and "%%c12" do not).
std::optional<double> markNumberOf(const std::string& text);

// The CAD host's changes from here to the end of the scope are one change
// for its undo. Failures of the host are skipped.
class UndoMark {
 public:
  explicit UndoMark(model::Form1& f);
  ~UndoMark();
  UndoMark(const UndoMark&) = delete;
  UndoMark& operator=(const UndoMark&) = delete;

 private:
  cadhost::DocumentRef doc_;
};

// Orders positions first to last by text X (left to right) or Y (bottom to
// top), by the exchange procedure whose order of equal keys callers rely on.
void sortrange(model::Form1& f, int first, int last);

// Fills the browse list and opens the browse and measurement panels.
void after(model::Form1& f);

// The list entry of a mark: "7------25.40".
std::string listEntry(const std::string& markNumber, const std::string& value);

}  // namespace marking
