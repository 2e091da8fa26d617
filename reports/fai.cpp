#include "reports/fai.h"

#include "app/form1.h"

namespace reports {

// Filled by the reports work.
void ComOk_Click(app::Form1&) {}
void ComFresh_Click(app::Form1&) {}
void ComCPK_Click(app::Form1&) {}

}  // namespace reports
