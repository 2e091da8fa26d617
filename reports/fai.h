// The FAI and CPK reports.
#pragma once

#include <cstdint>
#include <string>

#include "sheethost/host.h"

namespace model {
class Form1;
}  // namespace model

namespace reports {

void ComOk_Click(model::Form1& f);
void ComFresh_Click(model::Form1& f);
void ComCPK_Click(model::Form1& f);

// A cell's value as its text: a number as its shortest text, nothing as "".
std::string cellText(const sheethost::CellValue& v);

}  // namespace reports
