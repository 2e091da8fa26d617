// The numbering operations of the marking frame and the mark editing menu.
#pragma once

namespace model {
class Form1;
}  // namespace model

namespace marking {

void comSort_Click(model::Form1& f);
void ComPart_Click(model::Form1& f);
void ComFree_Click(model::Form1& f);
void ComHadmark_Click(model::Form1& f);
void ComLdefine_Click(model::Form1& f);
void mnuUndo_Click(model::Form1& f);
void mnuScalemax_Click(model::Form1& f);
void mnuScalemin_Click(model::Form1& f);
void mnuMovemark_Click(model::Form1& f);
void mnuColor_Click(model::Form1& f);
void mnuLayout_Click(model::Form1& f);

// With f.deferNumberingCommit, "自动标号" leaves its rows in an open
// transaction: commitNumbering keeps them (raising dimtable::DbError when it
// cannot), rollbackNumbering takes them back with the marks drawn, so the
// drawing can be numbered again.
void commitNumbering(model::Form1& f);
void rollbackNumbering(model::Form1& f);

}  // namespace marking
