// The FAI and CPK reports.
#pragma once

namespace model {
class Form1;
}  // namespace model

namespace reports {

void ComOk_Click(model::Form1& f);
void ComFresh_Click(model::Form1& f);
void ComCPK_Click(model::Form1& f);

}  // namespace reports
