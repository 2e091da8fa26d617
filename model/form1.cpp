#include "model/form1.h"

#include "dimtable/dimtable.h"
#include "forms/desktop.h"

namespace model {

using forms::Kind;

Form1::Form1(AppContext& context) : forms::Form("Form1"), ctx(context) {}

Form1::~Form1() = default;

void Form1::build() {
  setCaption("DimMark 尺寸检测");
  setGeometry(0, 0, kForm1Width, 7870);
  buildBanner();
  buildFileFrame();
  buildSortFrame();
  buildBrowseFrame();
  buildInputFrame();
  buildMenus();
  // Its handlers live above the subsystems; the program hands them in.
  if (wiring) wiring(*this);
}

void Form1::buildBanner() {
  Picture1 = &add(Kind::PictureBox, "Picture1");
  Picture1->setGeometry(0, 0, 19530, 615);
  Label3 = &add(Kind::Label, "Label3", Picture1);
  Label3->setCaption("欢迎使用");
  Label3->setGeometry(600, 150, 1800, 315);
  ComAbout = &add(Kind::CommandButton, "ComAbout");
  ComAbout->setCaption("关于");
  ComAbout->setGeometry(5400, 120, 1335, 375);
  ComHELP = &add(Kind::CommandButton, "ComHELP");
  ComHELP->setCaption("帮助");
  ComHELP->setGeometry(6960, 120, 1215, 375);
  ComExit = &add(Kind::CommandButton, "ComExit");
  ComExit->setCaption("退出系统");
  ComExit->setGeometry(8400, 120, 1215, 375);
  Timer1 = &add(Kind::Timer, "Timer1");
  Timer1->setInterval(50);
  Cdlg1 = &addDialog("Cdlg1");
}

void Form1::buildFileFrame() {
  Frame2 = &add(Kind::Frame, "Frame2");
  Frame2->setCaption("打开AutoCAD文件");
  Frame2->setGeometry(0, 600, 9615, 735);
  Label1 = &add(Kind::Label, "Label1", Frame2);
  Label1->setCaption("文件位置：");
  Label1->setGeometry(120, 300, 900, 255);
  Text1 = &add(Kind::TextBox, "Text1", Frame2);
  Text1->setLocked(true);
  Text1->setGeometry(1020, 240, 3450, 315);
  Com1 = &add(Kind::CommandButton, "Com1", Frame2);
  Com1->setCaption("浏览");
  Com1->setGeometry(4560, 225, 735, 345);
  OptPlastic = &add(Kind::OptionButton, "OptPlastic", Frame2);
  OptPlastic->setCaption("塑胶件");
  OptPlastic->setGeometry(5400, 270, 950, 255);
  OptPlastic->setValue(1);
  OptMetal = &add(Kind::OptionButton, "OptMetal", Frame2);
  OptMetal->setCaption("铁件");
  OptMetal->setGeometry(6400, 270, 800, 255);
  ComToler = &add(Kind::CommandButton, "ComToler", Frame2);
  ComToler->setCaption("公差编辑");
  ComToler->setGeometry(7250, 225, 1100, 345);
  Com2 = &add(Kind::CommandButton, "Com2", Frame2);
  Com2->setCaption("确定");
  Com2->setGeometry(8450, 225, 1000, 345);
  Com2->setEnabled(false);
}

void Form1::buildSortFrame() {
  FrmSort = &add(Kind::Frame, "FrmSort");
  FrmSort->setCaption("标号");
  FrmSort->setGeometry(0, 1320, 9615, 735);
  FrmSort->setEnabled(false);
  Label4 = &add(Kind::Label, "Label4", FrmSort);
  Label4->setCaption("起始号：");
  Label4->setGeometry(120, 300, 800, 255);
  Text8 = &add(Kind::TextBox, "Text8", FrmSort);
  Text8->setText("1");
  Text8->setGeometry(900, 240, 500, 315);
  OptRighttoleft = &add(Kind::OptionButton, "OptRighttoleft", FrmSort);
  OptRighttoleft->setCaption("从左到右");
  OptRighttoleft->setGeometry(1500, 270, 1100, 255);
  OptRighttoleft->setValue(1);
  OptToptobot = &add(Kind::OptionButton, "OptToptobot", FrmSort);
  OptToptobot->setCaption("从下到上");
  OptToptobot->setGeometry(2650, 270, 1100, 255);
  struct B {
    forms::Control** slot;
    const char* name;
    const char* caption;
    int left;
  };
  for (const B& b : {B{&ComLdefine, "ComLdefine", "位置定义", 3800},
                     B{&comSort, "comSort", "自动标号", 4900},
                     B{&ComPart, "ComPart", "分区标号", 6050},
                     B{&ComFree, "ComFree", "自由标号", 7200},
                     B{&ComHadmark, "ComHadmark", "已经标号", 8350}}) {
    *b.slot = &add(Kind::CommandButton, b.name, FrmSort);
    (*b.slot)->setCaption(b.caption);
    (*b.slot)->setGeometry(b.left, 225, 1100, 345);
  }
  CheChars = &add(Kind::CheckBox, "CheChars", FrmSort);
  CheChars->setCaption("形位公差、粗糙度、技术要求一起标号");
  // On the frame's title line: the row below is full, and a taller frame
  // would change every height the window takes from it.
  CheChars->setGeometry(900, 0, 3900, 225);
}

void Form1::buildBrowseFrame() {
  FrmDimen = &add(Kind::Frame, "FrmDimen");
  FrmDimen->setCaption("尺寸浏览");
  FrmDimen->setGeometry(0, 2040, 5655, 4935);
  FrmDimen->setEnabled(false);

  Frame1 = &add(Kind::Frame, "Frame1", FrmDimen);
  Frame1->setGeometry(120, 240, 5415, 555);
  Label2 = &add(Kind::Label, "Label2", Frame1);
  Label2->setCaption("尺寸值：");
  Label2->setGeometry(120, 220, 900, 255);
  Text2 = &add(Kind::TextBox, "Text2", Frame1);
  Text2->setGeometry(1020, 165, 2800, 315);
  ComFind = &add(Kind::CommandButton, "ComFind", Frame1);
  ComFind->setCaption("查询");
  ComFind->setGeometry(4200, 150, 1000, 345);

  Frame3 = &add(Kind::Frame, "Frame3", FrmDimen);
  Frame3->setGeometry(120, 840, 5415, 555);
  Label18 = &add(Kind::Label, "Label18", Frame3);
  Label18->setCaption("尺寸编号：");
  Label18->setGeometry(120, 220, 1000, 255);
  CSearch1 = &add(Kind::ComboBox, "CSearch1", Frame3);
  CSearch1->setGeometry(1150, 165, 700, 315);
  CSearch2 = &add(Kind::ComboBox, "CSearch2", Frame3);
  CSearch2->setGeometry(1950, 165, 700, 315);
  CSearch3 = &add(Kind::ComboBox, "CSearch3", Frame3);
  CSearch3->setGeometry(2750, 165, 700, 315);
  ComSearch = &add(Kind::CommandButton, "ComSearch", Frame3);
  ComSearch->setCaption("查询");
  ComSearch->setGeometry(4200, 150, 1000, 345);

  struct B {
    forms::Control** slot;
    const char* name;
    const char* caption;
    int left;
    const char* key;  // the panel's key for it, told in its hint
  };
  for (const B& b : {B{&ComFirst, "ComFirst", "1号尺寸", 120, "Ctrl+Home"},
                     B{&ComProious, "ComProious", "前一尺寸", 1465, "PageUp"},
                     B{&ComNext, "ComNext", "后一尺寸", 2810, "PageDown"},
                     B{&ComLast, "ComLast", "最后尺寸", 4155, "Ctrl+End"}}) {
    *b.slot = &add(Kind::CommandButton, b.name, FrmDimen);
    (*b.slot)->setCaption(b.caption);
    (*b.slot)->setGeometry(b.left, 1500, 1275, 375);
    (*b.slot)->setToolTipText(std::string(b.caption) + "（" + b.key + "）");
  }

  Label9 = &add(Kind::Label, "Label9", FrmDimen);
  Label9->setCaption("编号：");
  Label9->setGeometry(120, 2040, 700, 255);
  Combo1 = &add(Kind::ComboBox, "Combo1", FrmDimen);
  Combo1->setGeometry(900, 1980, 4635, 315);

  struct D {
    forms::Control** label;
    const char* labelName;
    const char* caption;
    forms::Control** box;
    const char* boxName;
    int left;
    int top;
  };
  for (const D& d :
       {D{&Label5, "Label5", "尺寸类型：", &Text3, "Text3", 120, 2460},
        D{&Label6, "Label6", "尺寸值：", &Text4, "Text4", 2850, 2460},
        D{&Label7, "Label7", "上公差：", &Text5, "Text5", 120, 2910},
        D{&Label8, "Label8", "下公差：", &Text6, "Text6", 2850, 2910}}) {
    *d.label = &add(Kind::Label, d.labelName, FrmDimen);
    (*d.label)->setCaption(d.caption);
    (*d.label)->setGeometry(d.left, d.top + 60, 1000, 255);
    *d.box = &add(Kind::TextBox, d.boxName, FrmDimen);
    (*d.box)->setLocked(true);
    (*d.box)->setGeometry(d.left + 1020, d.top, 1650, 315);
  }

  Combo2 = &add(Kind::ComboBox, "Combo2", FrmDimen);
  Combo2->setGeometry(120, 3480, 1500, 315);
  Combo2->setText("1.红");
  Label10 = &add(Kind::Label, "Label10", FrmDimen);
  Label10->setGeometry(1720, 3510, 255, 255);
  Label10->setBackColor(0xFF0000);
  ComReview = &add(Kind::CommandButton, "ComReview", FrmDimen);
  ComReview->setCaption("浏览");
  ComReview->setGeometry(2150, 3450, 1100, 375);
  CheFIRST = &add(Kind::CheckBox, "CheFIRST", FrmDimen);
  CheFIRST->setCaption("FAI首次");
  CheFIRST->setGeometry(120, 4140, 1300, 255);
  CheFIRST->setValue(1);
  ComOK = &add(Kind::CommandButton, "ComOK", FrmDimen);
  ComOK->setCaption("创建 FAI");
  ComOK->setGeometry(1650, 4050, 1600, 420);
  ComOK->setEnabled(false);
}

void Form1::buildInputFrame() {
  FrmInput = &add(Kind::Frame, "FrmInput");
  FrmInput->setCaption("输入测量值");
  FrmInput->setGeometry(5760, 2040, 3855, 4935);
  FrmInput->setEnabled(false);
  Label19 = &add(Kind::Label, "Label19", FrmInput);
  Label19->setCaption("样本数：");
  Label19->setGeometry(120, 300, 800, 255);
  Combo3 = &add(Kind::ComboBox, "Combo3", FrmInput);
  Combo3->setGeometry(950, 240, 800, 315);
  Label11 = &add(Kind::Label, "Label11", FrmInput);
  Label11->setCaption("测量值");
  Label11->setGeometry(120, 700, 900, 255);
  for (int i = 0; i < 5; ++i) {
    Label13[i] = &add(Kind::Label, "Label13", FrmInput, i);
    Label13[i]->setCaption("样本" + std::to_string(i + 1));
    Label13[i]->setGeometry(120, 1060 + i * 420, 600, 255);
    Text7[i] = &add(Kind::TextBox, "Text7", FrmInput, i);
    Text7[i]->setGeometry(750, 1000 + i * 420, 1200, 315);
    Text7[i]->setInputMethod(false);
    Label13[i]->setVisible(i == 0);
    Text7[i]->setVisible(i == 0);
    Combo4[i] = &add(Kind::ComboBox, "Combo4", FrmInput, i);
    Combo4[i]->setGeometry(750, 1000 + i * 420, 1200, 315);
    for (const char* item : {"", "合格", "不合格"}) Combo4[i]->addItem(item);
    Combo4[i]->setListIndex(0);
    Combo4[i]->setVisible(false);
  }
  Label12 = &add(Kind::Label, "Label12", FrmInput);
  Label12->setCaption("测量仪器");
  Label12->setGeometry(2100, 700, 1000, 255);
  static const char* kInstruments[8] = {"游标卡尺", "千分尺", "高度规",
                                        "三次元",   "投影仪", "厚薄规",
                                        "半径规",   "检具"};
  for (int i = 0; i < 8; ++i) {
    Option3[i] = &add(Kind::OptionButton, "Option3", FrmInput, i);
    Option3[i]->setCaption(kInstruments[i]);
    Option3[i]->setGeometry(2100, 1000 + i * 360, 1600, 255);
  }
  Option3[0]->setValue(1);
  ComFresh = &add(Kind::CommandButton, "ComFresh", FrmInput);
  ComFresh->setCaption("刷新");
  ComFresh->setGeometry(120, 4290, 1600, 420);
  ComFresh->setEnabled(false);
  ComCPK = &add(Kind::CommandButton, "ComCPK", FrmInput);
  ComCPK->setCaption("创建 CPK");
  ComCPK->setGeometry(2000, 4290, 1700, 420);
  ComCPK->setEnabled(false);

  CheCont = &add(Kind::CheckBox, "CheCont", FrmInput);
  CheCont->setCaption("连续输入");
  CheCont->setGeometry(1950, 270, 1300, 255);
  FrmOrder = &add(Kind::Frame, "FrmOrder", FrmInput);
  FrmOrder->setCaption("输入顺序");
  FrmOrder->setGeometry(120, 3100, 1830, 1050);
  OptByDimension = &add(Kind::OptionButton, "OptByDimension", FrmOrder);
  OptByDimension->setCaption("按尺寸");
  OptByDimension->setGeometry(150, 330, 1500, 255);
  OptByDimension->setValue(1);
  OptBySample = &add(Kind::OptionButton, "OptBySample", FrmOrder);
  OptBySample->setCaption("按样品");
  OptBySample->setGeometry(150, 660, 1500, 255);
}

void Form1::buildMenus() {
  auto menu = [this](const char* name, const char* caption) {
    forms::Control& m = add(Kind::Menu, name);
    m.setCaption(caption);
    m.setVisible(false);  // none of them is in a menu bar
    return &m;
  };
  auto item = [this](forms::Control* parent, const char* name,
                     const char* caption) {
    forms::Control& m = add(Kind::Menu, name, parent);
    m.setCaption(caption);
    return &m;
  };
  mnu1 = menu("mnu1", "SKIP");
  mnufirst = item(mnu1, "mnufirst", "一号尺寸");
  mnuPr = item(mnu1, "mnuPr", "前一尺寸");
  mnuNext = item(mnu1, "mnuNext", "下一尺寸");
  mnuLast = item(mnu1, "mnuLast", "最末尺寸");
  mnuReviw = item(mnu1, "mnuReviw", "浏览尺寸");
  mnuFAI = item(mnu1, "mnuFAI", "创建FAI报表");
  mnuFresh = item(mnu1, "mnuFresh", "刷新FAI报表");
  mnuFresh->setEnabled(false);
  mnuCPK = item(mnu1, "mnuCPK", "创建CPK报表");
  mnuCPK->setEnabled(false);
  mnuImport = item(mnu1, "mnuImport", "导入测量结果…");
  mnuGauge = item(mnu1, "mnuGauge", "量具端口…");

  mnuMARK = menu("mnuMARK", "标号");
  mnuAutomark = item(mnuMARK, "mnuAutomark", "自动标号");
  mnuPartmark = item(mnuMARK, "mnuPartmark", "分区域标号");
  mnuFreemark = item(mnuMARK, "mnuFreemark", "自由标号");
  mnuHadmark = item(mnuMARK, "mnuHadmark", "已经标号");
  mnuUndo = item(mnuMARK, "mnuUndo", "撤消标号");
  mnuScalemax = item(mnuMARK, "mnuScalemax", "放大标号");
  mnuScalemin = item(mnuMARK, "mnuScalemin", "缩小标号");
  mnuMovemark = item(mnuMARK, "mnuMovemark", "移动标号");
  mnuColor = item(mnuMARK, "mnuColor", "设置颜色");
  mnuLayout = item(mnuMARK, "mnuLayout", "设置图层");

  mnuFILE = menu("mnuFILE", "文件菜单");
  for (auto [name, caption] : {std::pair{"mnuOpendwg", "打开CAD文档"},
                               {"mnuSavsdwg", "存盘CAD文档"},
                               {"mnuSaveasdwg", "另存CAD文档"},
                               {"mnuClosedwg", "关闭CAD文档"},
                               {"mnuOpenfai", "打开FAI报表"},
                               {"mnuSaveasfai", "另存FAI报表"},
                               {"mnuClosefai", "关闭FAI报表"},
                               {"mnuExitcad", "退出CAD系统"},
                               {"mnuExitexcel", "退出EXCEL"},
                               {"mnuExit", "退出系统"}})
    item(mnuFILE, name, caption);
}

void Form1::Timer1_Timer() {
  marqueeTicks += 1;
  if (marqueeTicks > 651) {
    marqueeStep = -marqueeStep;
    marqueeTicks = 0;
    Label3->setLeft(9765);
  }
  Picture1->setLeft(Picture1->left() + marqueeStep);
}

void Form1::Form_Resize() {}

void Form1::FrmInput_MouseDown(int button, int, float x, float y) {
  if (button == forms::mouse::kRight)
    popupMenu(*mnu1, x + static_cast<float>(FrmInput->left()),
              y + static_cast<float>(FrmInput->top()));
}

void Form1::FrmSort_MouseDown(int button, int, float x, float y) {
  if (button == forms::mouse::kRight)
    popupMenu(*mnuMARK, x + static_cast<float>(FrmSort->left()),
              y + static_cast<float>(FrmSort->top()));
}

void Form1::Form_MouseDown(int button, int shift, float x, float y) {
  if (button != forms::mouse::kRight) return;
  auto inside = [x, y](const forms::Control* c) {
    return x >= static_cast<float>(c->left()) &&
           x < static_cast<float>(c->left() + c->width()) &&
           y >= static_cast<float>(c->top()) &&
           y < static_cast<float>(c->top() + c->height());
  };
  if (inside(FrmInput) && FrmInput->reachable())
    FrmInput_MouseDown(button, shift, x - static_cast<float>(FrmInput->left()),
                       y - static_cast<float>(FrmInput->top()));
  else if (FrmSort->reachable())
    FrmSort_MouseDown(button, shift, x - static_cast<float>(FrmSort->left()),
                      y - static_cast<float>(FrmSort->top()));
}

void Form1::AcadDoc_Close() {
  ctx.desktop.message("System hint !", forms::Buttons::Ok, "Exit AutoCAD!");
  ComReview->setEnabled(false);
}

void Form1::ExcelClose() {
  ctx.desktop.message("System hint!", forms::Buttons::Ok, "Exit Excel!");
  ComFresh->setEnabled(false);
}

}  // namespace model
