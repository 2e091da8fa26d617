// The FAI and CPK reports.
#pragma once

namespace app {
class Form1;
}

namespace reports {

void ComOk_Click(app::Form1& f);
void ComFresh_Click(app::Form1& f);
void ComCPK_Click(app::Form1& f);

}  // namespace reports
