#include "intake/opening.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "dimtable/dimtable.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "intake/characteristics.h"
#include "intake/reading.h"
#include "model/form1.h"
#include "sheethost/host.h"

namespace intake {
namespace fs = std::filesystem;
using forms::Kind;

namespace {

constexpr const char* kHostFailed = "AutoCAD启动出现错误！请检查AutoCAD系统！";
constexpr const char* kNotFound = "该文件没有发现！";

// The database name is the drawing's minus its last four characters:
// only a name ending in .dxf or .dwg gives a database of its own
// ("bracketdxf1" would take bracket.mdb).
bool drawingName(const std::string& fileName) {
  if (fileName.size() < 4) return false;
  std::string ext = fileName.substr(fileName.size() - 4);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".dxf" || ext == ".dwg";
}

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

cadhost::Point point(const cadhost::Variable& v) {
  if (const cadhost::Point* p = std::get_if<cadhost::Point>(&v)) return *p;
  throw cadhost::HostError("type mismatch");
}

void sizeLists(model::Form1& f, size_t entries) {
  auto& ctx = f.ctx;
  ctx.textRecords.assign(entries, {});
  ctx.dimRecords.assign(entries, {});
  ctx.adoptedRecords.assign(entries, {});
}

}  // namespace

void sizeMarkArrays(model::Form1& f) {
  auto n = static_cast<size_t>(std::max(0, f.ctx.dimCount));
  f.markCircles.assign(n + 1, nullptr);
  f.markTexts.assign(n + 1, nullptr);
  f.ctx.sampleCounts.assign(n + 1, 0);
  f.ctx.instrumentCodes.assign(n + 1, std::string());
  f.ctx.samples.assign(n + 1, {});
  f.ctx.passed.assign(n + 1, {});
  // Nothing of the drawing before is shown, nor saved for this one.
  f.currentPosition = 0;
  f.unsavedMeasurements.clear();
  for (auto* box : f.Text7) box->setText("");
}

namespace {

// The walk over model space of a drawing new to us.
void walk(model::Form1& f) {
  auto& ctx = f.ctx;
  cadhost::ModelSpace& ms = *ctx.modelSpace;
  int count = ms.Count();
  // Entity indexes are 16-bit: a larger model space cannot be walked.
  f.lastEntityIndex = forms::ToInt16(count - 1);
  ctx.dimCount = 0;
  ctx.cadDoc->PurgeAll();
  sizeLists(f, static_cast<size_t>(count) + 1);
  for (int i = 0; i <= f.lastEntityIndex; ++i) {
    f.entityIndex = static_cast<std::int16_t>(i);
    cadhost::EntityRef e = ms.Item(i);
    f.entityType = e->ObjectName();
    std::string kind = lower(f.entityType);
    if (kind == "acdbmtext" || kind == "acdbtext") {
      f.entityPoint = e->InsertionPoint();
      auto& t = ctx.textRecords[static_cast<size_t>(ctx.textNext)];
      t.text = e->TextString();
      t.x = static_cast<float>(f.entityPoint[0]);
      t.y = static_cast<float>(f.entityPoint[1]);
      t.entityIndex = i;
      ctx.textNext += 1;
    }
    // A jogged radius is the one dimension whose name does not end so.
    bool dimension = (kind.size() >= 9 &&
                      kind.compare(kind.size() - 9, 9, "dimension") == 0) ||
                     kind == "acdbradialdimensionlarge";
    if (dimension) {
      ctx.dimCount += 1;
      f.textHeight = static_cast<float>(e->TextHeight());
      auto& r = ctx.dimRecords[static_cast<size_t>(ctx.dimCount)];
      if (kind == "acdbrotateddimension") {
        r.type = kRotated;
        dimm(f);
      } else if (kind == "acdbradialdimension") {
        r.type = kRadial;
        dimm(f);
      } else if (kind == "acdbdiametricdimension") {
        r.type = kDiametric;
        dimm(f);
      } else if (kind == "acdb2lineangulardimension") {
        r.type = kAngular;
        readAngle(f);
      } else if (kind == "acdbaligneddimension") {
        r.type = kAligned;
        dimm(f);
      } else if (kind == "acdbordinatedimension") {
        r.type = kOrdinate;
        dimm(f);
      } else if (kind == "acdb3pointangulardimension") {
        readAngle(f);
      } else if (kind == "acdbarcdimension") {
        r.type = kArcLength;
        dimm(f);
      } else if (kind == "acdbradialdimensionlarge") {
        r.type = kRadial;
        dimm(f);
      }
      // Any other dimension keeps its counted, empty entry.
    }
    // The 16-bit counter cannot step past its last value.
    if (i == 32767) throw forms::OverflowError("Overflow");
  }
}

}  // namespace

// The drawing's path minus its last four characters, counted as characters
// and not bytes, so that a Chinese file name is cut where the user sees it.
std::string databasePath(const std::string& fileName) {
  size_t cut = fileName.size();
  for (int n = 0; n < 4; ++n) {
    if (cut == 0) throw std::length_error("the file name is too short");
    --cut;
    while (cut > 0 &&
           (static_cast<unsigned char>(fileName[cut]) & 0xC0) == 0x80)
      --cut;
  }
  return fileName.substr(0, cut) + ".mdb";
}

Form2::Form2(model::Form1& main) : forms::Form("Form2"), main_(main) {}

void Form2::build() {
  setCaption("CAD文件类型");
  setGeometry(0, 0, 4800, 2850);
  Option1 = &add(Kind::OptionButton, "Option1");
  Option1->setCaption("AutoCAD 文件");
  Option1->setGeometry(360, 240, 4000, 300);
  Option1->setValue(1);
  Option2 = &add(Kind::OptionButton, "Option2");
  Option2->setCaption("Pro_E 文件转换而来(低版本Pro_E)");
  Option2->setGeometry(360, 640, 4000, 300);
  Label1 = &add(Kind::Label, "Label1");
  Label1->setCaption("尺寸精度：");
  Label1->setGeometry(600, 1140, 1100, 255);
  Combo1 = &add(Kind::ComboBox, "Combo1");
  Combo1->setGeometry(1750, 1080, 1500, 315);
  Command1 = &add(Kind::CommandButton, "Command1");
  Command1->setCaption("确定");
  Command1->setGeometry(1700, 1700, 1200, 420);
  Command1->setDefault(true);
  Load = [this] { Form_Load(); };
  Option1->Click = [this] { Option_Click(); };
  Option2->Click = [this] { Option_Click(); };
  Combo1->Click = [this] { Combo1_Click(); };
  Command1->Click = [this] { Command1_Click(); };
}

void Form2::Form_Load() {
  Label1->setVisible(false);
  Combo1->setVisible(false);
  for (const char* item : {"0", "0.0", "0.00", "0.000", "0.0000"})
    Combo1->addItem(item);
  Combo1->setListIndex(2);
  main_.dimDecimals = 2;
  main_.decimalsChosen = false;
}

void Form2::Option_Click() {
  bool manual = Option2->value() != 0;
  Label1->setVisible(manual);
  Combo1->setVisible(manual);
}

void Form2::Combo1_Click() { main_.dimDecimals = Combo1->listIndex(); }

void Form2::Command1_Click() {
  if (Option2->value() != 0) {
    main_.dimDecimals = Combo1->listIndex();
    main_.decimalsChosen = true;
  } else {
    main_.dimDecimals = 2;
    main_.decimalsChosen = false;
  }
  hide();
  openfile(main_);
}

void Com1_Click(model::Form1& f) {
  if (forms::Form* w = f.ctx.forms.find("Form2")) w->show();
}

void openfile(model::Form1& f) {
  f.undoFilePick = nullptr;
  if (f.ctx.cadDoc) {
    struct Box {
      forms::Control* c;
      std::string text;
      bool visible;
    };
    std::vector<Box> boxes;
    for (forms::Control* c : {f.Text1, f.Combo1, f.Text3, f.Text4, f.Text5,
                              f.Text6, f.Com2, f.ComOK})
      boxes.push_back({c, c->text(), c->visible()});
    for (size_t i = 0; i < 5; ++i)
      for (forms::Control* c : {f.Text7[i], f.Label13[i], f.Combo4[i]})
        boxes.push_back({c, c->text(), c->visible()});
    const bool com2 = f.Com2->enabled(), ok = f.ComOK->enabled();
    f.undoFilePick = [&f, boxes, com2, ok, height = f.height(),
                      path = f.drawingPath, name = f.Cdlg1->FileName] {
      f.setHeight(height);
      for (const Box& b : boxes) {
        b.c->setText(b.text);
        b.c->setVisible(b.visible);
      }
      f.Com2->setEnabled(com2);
      f.ComOK->setEnabled(ok);
      f.drawingPath = path;
      f.Cdlg1->FileName = name;
    };
  }
  f.setHeight(f.Frame2->height() + f.Picture1->height() + 350);
  f.Cdlg1->Filter = kDrawingFilter;
  f.Cdlg1->DialogTitle = "OPEN FILE";
  // A cancel is not special: the steps below run all the same.
  f.Cdlg1->ShowOpen(f.ctx.desktop);
  f.Text1->setText(f.Cdlg1->FileName);
  f.Com2->setEnabled(true);
  f.ComOK->setEnabled(true);
  f.drawingPath = f.Text1->text();
  f.Combo1->setText("");
  for (forms::Control* box : {f.Text3, f.Text4, f.Text5, f.Text6})
    box->setText("");
  for (int i = 0; i <= f.Combo3->listIndex() && i < 5; ++i) {
    f.Text7[static_cast<size_t>(i)]->setVisible(false);
    f.Label13[static_cast<size_t>(i)]->setVisible(false);
  }
  for (forms::Control* c : f.Combo4) c->setVisible(false);
}

namespace {

std::string fileNameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

}  // namespace

namespace {

// The workbooks of the report shown, while its window shows them.
std::vector<sheethost::WorkbookRef> shownBooks(const model::Form1& f) {
  std::vector<sheethost::WorkbookRef> books;
  try {
    if (!f.excelApp || !f.excelApp->Visible()) return books;
  } catch (const std::exception&) {
    return books;
  }
  for (const auto& b : {f.faiBook, f.cpkBook})
    if (b) books.push_back(b);
  return books;
}

// The report of the drawing before is put away: its window closes (no
// "Exit Excel!" for that), and the buttons that write to it wait for the
// next "创建 FAI".
void closeReports(model::Form1& f) {
  if (f.excelApp) {
    forms::resumeNext([&] { f.excelApp->SetClosedHandler(nullptr); });
    forms::resumeNext([&] { f.excelApp->SetVisible(false); });
  }
  f.excelApp.reset();
  f.faiBook.reset();
  f.faiSheet.reset();
  f.cpkBook.reset();
  f.cpkSheet.reset();
  f.cpkColumn = 2;
  for (forms::Control* c : {f.ComFresh, f.ComCPK, f.mnuFresh, f.mnuCPK})
    c->setEnabled(false);
}

// Nothing the user chose or typed for the drawing before stays on show:
// the browse list and its position, the searches, the instrument.
void clearPanels(model::Form1& f) {
  f.Combo1->clear();
  f.markedCount = 0;
  f.Text2->setText("");
  for (forms::Control* c : {f.CSearch1, f.CSearch2, f.CSearch3})
    if (c->listCount() > 0) forms::resumeNext([&] { c->setListIndex(0); });
  f.Option3[0]->setValue(1);
  f.FrmDimen->setEnabled(false);
  f.ComReview->setEnabled(false);
  f.FrmInput->setEnabled(false);
}

}  // namespace

OpenChoice saveBeforeOpening(model::Form1& f) {
  auto& ctx = f.ctx;
  bool drawingUnsaved = false;
  std::string name;
  if (ctx.cadDoc) {
    try {
      drawingUnsaved = !ctx.cadDoc->Saved();
      name = fileNameOf(ctx.cadDoc->FullName());
    } catch (const std::exception&) {
      drawingUnsaved = false;  // closed with the host: nothing to keep
    }
  }
  std::vector<sheethost::WorkbookRef> books;
  for (const auto& b : shownBooks(f)) {
    try {
      if (!b->Saved()) books.push_back(b);
    } catch (const std::exception&) {
    }
  }
  if (!drawingUnsaved && books.empty()) return OpenChoice::NothingToSave;
  std::string question;
  if (books.empty()) {
    question = "图纸“" + name +
               "”有没保存的修改（如标号）。打开图纸之前，是否保存它？";
  } else {
    question = "以下文件有没保存的修改：";
    if (drawingUnsaved) question += "\n    " + name + "（图纸）";
    for (const auto& b : books) {
      std::string bookName;
      forms::resumeNext([&] { bookName = b->Name(); });
      question += "\n    " + bookName + "（报表）";
    }
    question += "\n打开图纸之前是否保存？不保存的报表将被关闭。";
  }
  const forms::Answer a =
      ctx.desktop.message(question, forms::Buttons::SaveDiscardCancel, "");
  if (a == forms::Answer::Cancel) return OpenChoice::Cancel;
  if (a == forms::Answer::Discard) return OpenChoice::Discard;
  // 保存: every file, or no opening; a save the user cancels keeps all.
  try {
    if (drawingUnsaved && !ctx.cadDoc->Save()) return OpenChoice::Cancel;
    for (const auto& b : books)
      if (!b->Save()) return OpenChoice::Cancel;
    return OpenChoice::Saved;
  } catch (const std::exception& e) {
    ctx.desktop.message((books.empty() ? "图纸“" + name + "”没有保存："
                                       : std::string("没有保存：")) +
                            e.what(),
                        forms::Buttons::Ok, "");
  }
  return OpenChoice::Cancel;
}

void drawingSavedAs(model::Form1& f, const std::string& path) {
  auto& desk = f.ctx.desktop;
  std::string newDb;
  try {
    newDb = databasePath(path);
  } catch (const std::exception&) {
    return;
  }
  std::error_code ec;
  auto follow = [&] {
    f.drawingPath = path;
    f.Text1->setText(path);
    f.Cdlg1->FileName = path;
  };
  if (newDb == f.dbPath) {  // a DWG saved as DXF beside it: same database
    follow();
    return;
  }
  if (f.dbPath.empty() || !fs::exists(f.dbPath, ec)) {
    follow();  // nothing numbered yet: the new name gets its own at "确定"
    return;
  }
  if (fs::exists(newDb, ec)) {
    desk.message("图纸已另存为“" + path + "”。它旁边已有尺寸数据库“" + newDb +
                     "”，没有改动它；标号和测量值仍在“" + f.dbPath + "”中。",
                 forms::Buttons::Ok, "");
    return;
  }
  if (f.dbConn && f.dbConn->InTransaction()) {
    desk.message("图纸已另存为“" + path +
                     "”，但正在标号，尺寸数据库没有复制过去。"
                     "标号结束后请再另存一次。",
                 forms::Buttons::Ok, "");
    return;
  }
  try {
    dimtable::copyTemplate(f.dbPath, newDb);
  } catch (const dimtable::DbError& e) {
    desk.message(
        "图纸已另存为“" + path + "”，但尺寸数据库没有复制过去：" + e.what(),
        forms::Buttons::Ok, "");
    return;
  }
  // The program goes on with the drawing under its new name, and with the
  // copy of its table, so what is entered next stays with it.
  try {
    auto conn = std::make_shared<dimtable::Connection>();
    conn->Open(newDb);
    std::shared_ptr<dimtable::Recordset> rs;
    if (f.dimRs) {
      rs = std::make_shared<dimtable::Recordset>();
      rs->Open(*conn, "dim1");
    }
    if (f.dbConn) f.dbConn->Close();
    f.dbConn = std::move(conn);
    f.dimRs = std::move(rs);
  } catch (const dimtable::DbError& e) {
    desk.message("尺寸数据库已复制到“" + newDb + "”，但不能打开它：" +
                     e.what() + "。标号和测量值仍写入“" + f.dbPath + "”。",
                 forms::Buttons::Ok, "");
    return;
  }
  f.dbPath = newDb;
  follow();
}

bool Com2_Click(model::Form1& f) {
  // Changes to the drawing and the workbooks in hand are not dropped
  // without asking.
  const cadhost::DocumentRef before = f.ctx.cadDoc;
  const OpenChoice choice = saveBeforeOpening(f);
  if (choice == OpenChoice::Cancel) {
    if (f.undoFilePick) f.undoFilePick();
    f.undoFilePick = nullptr;
    return false;
  }
  f.undoFilePick = nullptr;
  for (forms::Control* c :
       {f.mnuAutomark, f.mnuPartmark, f.mnuFreemark, f.mnuHadmark, f.mnuUndo,
        f.mnuScalemax, f.mnuScalemin, f.mnuMovemark, f.mnuColor, f.mnuLayout,
        f.comSort, f.ComPart, f.ComFree, f.ComHadmark})
    c->setEnabled(true);
  f.freeNext = 1;
  const bool opened = acd(f);
  f.setHeight(f.Frame2->height() + f.Picture1->height() + 350 +
              f.FrmSort->height());
  f.zoneGroupStart = 1;
  f.zoneMarkedCount = 0;
  f.FrmSort->setEnabled(true);
  if (opened) {
    clearPanels(f);
    closeReports(f);
  }
  // The drawing given up is closed once another is open, so nothing asks
  // about it again.
  if (choice == OpenChoice::Discard && before && f.ctx.cadDoc != before) {
    forms::resumeNext([&] { before->SetClosedHandler(nullptr); });
    forms::resumeNext([&] { before->Close(); });
  }
  return opened;
}

bool acd(model::Form1& f) {
  auto& ctx = f.ctx;
  auto& desk = ctx.desktop;
  auto fail = [&](const std::string& reason) {
    std::string text = kHostFailed;
    if (!reason.empty()) text += "\n" + reason;
    desk.message(text, forms::Buttons::Ok, "");
  };

  std::string dbPath;
  try {
    dbPath = databasePath(f.Cdlg1->FileName);
  } catch (const std::exception&) {
    fail("");
    return false;
  }
  std::string drawing = f.Text1->text();
  std::error_code ec;
  if (drawing.empty() || !fs::is_regular_file(drawing, ec)) {
    desk.message(kNotFound, forms::Buttons::Ok, "");
    return false;
  }
  if (!drawingName(f.Cdlg1->FileName)) {
    desk.message("图纸“" + fs::path(f.Cdlg1->FileName).filename().string() +
                     "”的文件名不以 .dxf 或 .dwg 结尾：它的尺寸数据库“" +
                     fs::path(dbPath).filename().string() +
                     "”不会是它自己的，图纸没有打开。",
                 forms::Buttons::Ok, "");
    return false;
  }

  // The database is checked, or made, before anything changes: a file that
  // is not ours or cannot be created leaves the program as it was.
  bool created = false;
  bool empty = false;  // ours, but no numbering was ever kept in it
  try {
    if (fs::exists(dbPath, ec)) {
      dimtable::Connection check;
      check.Open(dbPath);
      dimtable::Recordset rows;
      rows.Open(check, "dim1");
      // Left by a refused or interrupted numbering, or by an extraction
      // alone: it holds nothing, so the drawing is read afresh.
      empty = rows.RecordCount() == 0 && check.LoadMeasurements().empty();
      rows.Close();
      check.Close();
    } else {
      dimtable::copyTemplate((ctx.dataDir() / "dimen.mdb").string(), dbPath);
      created = true;
    }
  } catch (const dimtable::DbError& e) {
    desk.message(e.what(), forms::Buttons::Ok, "");
    return false;
  }

  bool committed = false;  // from here on the drawing is ours
  bool switched = false;   // the drawing before is no longer in hand
  try {
    // Nothing of the program changes before the drawing is open: opening
    // may fail, or the user may cancel a DWG's conversion.
    cadhost::DocumentRef doc = ctx.cadApp->Open(drawing);
    ctx.textNext = 1;
    f.dbPath = dbPath;
    f.drawingPath = drawing;
    if (ctx.cadDoc && ctx.cadDoc != doc) {
      // Only the drawing in hand reports its closing and its new name.
      forms::resumeNext([&] { ctx.cadDoc->SetClosedHandler(nullptr); });
      forms::resumeNext([&] { ctx.cadDoc->SetSavedAsHandler(nullptr); });
      forms::resumeNext([&] { ctx.cadDoc->SetUndoneHandler(nullptr); });
    }
    ctx.cadDoc = doc;
    switched = true;
    ctx.modelSpace = &doc->GetModelSpace();
    doc->SetClosedHandler([&f] { f.AcadDoc_Close(); });
    doc->SetSavedAsHandler(
        [&f](const std::string& path) { drawingSavedAs(f, path); });
    doc->SetUndoneHandler([&f] {
      if (f.AcadDoc_Undo) f.AcadDoc_Undo();
    });
    ctx.cadApp->SetVisible(true);
    // Item 1 is the second entity: a model space of one or none has no
    // colour to keep.
    if (ctx.modelSpace->Count() > 1)
      f.firstEntityColor = forms::ToInt16(ctx.modelSpace->Item(1)->Color());
    f.extMax = point(doc->GetVariable("EXTMAX"));
    f.extMin = point(doc->GetVariable("EXTMIN"));
    if (!f.decimalsChosen)
      f.dimDecimals =
          forms::ToInt32(variableNumber(doc->GetVariable("dimdec")));
    f.textHeight =
        static_cast<float>(variableNumber(doc->GetVariable("dimtxt")));
    f.dimScale = variableNumber(doc->GetVariable("dimlfac"));
    f.numberedRows = 0;
    if (created || empty) {
      committed = true;
      readAsNew(f);
    } else {
      committed = true;
      f.newDatabase = false;
      ctx.dimCount = 1000;
      sizeLists(f, 1001);
      sizeMarkArrays(f);
      forms::resumeNext([&] { doc->MarkSaved(); });
    }
  } catch (const cadhost::Cancelled&) {
    // The user stopped the drawing's conversion: as if never asked.
    if (created && !committed) fs::remove(dbPath, ec);
    return false;
  } catch (const std::exception& e) {
    if (created && !committed) {
      // The database was made for a drawing that never opened.
      fs::remove(dbPath, ec);
    }
    fail(e.what());
    return switched;
  }
  return true;
}

void readAsNew(model::Form1& f) {
  f.newDatabase = true;
  f.numberedRows = 0;
  f.ctx.textNext = 1;
  walk(f);
  sizeMarkArrays(f);
  // After the dimensions, at the same point of the opening.
  if (f.CheChars->value() == 1) addCharacteristics(f);
  // Reading the drawing changed it (purge, precisions), but none of that
  // is the user's work: only what they do from here is asked about.
  forms::resumeNext([&] { f.ctx.cadDoc->MarkSaved(); });
}

void closeConnection(model::Form1& f) {
  try {
    if (f.dbConn) f.dbConn->Close();
  } catch (const std::exception&) {
  }
}

}  // namespace intake
