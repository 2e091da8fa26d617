#include "intake/opening.h"

#include "app/form1.h"
#include "intake/dimtable.h"

namespace intake {

// Filled by the drawing intake.
void Com1_Click(app::Form1&) {}
void Com2_Click(app::Form1&) {}

void closeConnection(app::Form1& f) {
  try {
    if (f.dbConn) f.dbConn->Close();
  } catch (const std::exception&) {
  }
}

}  // namespace intake
