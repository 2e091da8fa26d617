// The main window: its panels, controls and menus, and its module-level
// state. Handlers of the subsystems take the form by reference.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cadhost/host.h"
#include "forms/form.h"
#include "model/context.h"
#include "sheethost/host.h"

namespace dimtable {
class Connection;
class Recordset;
}  // namespace dimtable

namespace model {

// The main window's width in twips (client area 9675 wide).
inline constexpr int kForm1Width = 9795;

class Form1 : public forms::Form {
 public:
  explicit Form1(AppContext& ctx);
  ~Form1() override;

  AppContext& ctx;

  // Banner and the buttons along the top.
  forms::Control* Picture1 = nullptr;
  forms::Control* Label3 = nullptr;
  forms::Control* ComAbout = nullptr;
  forms::Control* ComHELP = nullptr;
  forms::Control* ComExit = nullptr;
  forms::Control* Timer1 = nullptr;
  forms::CommonDialog* Cdlg1 = nullptr;

  // The file frame.
  forms::Control* Frame2 = nullptr;
  forms::Control* Label1 = nullptr;
  forms::Control* Text1 = nullptr;
  forms::Control* Com1 = nullptr;
  forms::Control* OptPlastic = nullptr;
  forms::Control* OptMetal = nullptr;
  forms::Control* ComToler = nullptr;
  forms::Control* Com2 = nullptr;

  // The marking frame.
  forms::Control* FrmSort = nullptr;
  forms::Control* Label4 = nullptr;
  forms::Control* Text8 = nullptr;
  forms::Control* OptRighttoleft = nullptr;
  forms::Control* OptToptobot = nullptr;
  forms::Control* ComLdefine = nullptr;
  forms::Control* comSort = nullptr;
  forms::Control* ComPart = nullptr;
  forms::Control* ComFree = nullptr;
  forms::Control* ComHadmark = nullptr;
  // Frames, roughness and notes numbered with the dimensions; remembered
  // between runs.
  forms::Control* CheChars = nullptr;

  // The browse frame.
  forms::Control* FrmDimen = nullptr;
  forms::Control* Frame1 = nullptr;
  forms::Control* Label2 = nullptr;
  forms::Control* Text2 = nullptr;
  forms::Control* ComFind = nullptr;
  forms::Control* Frame3 = nullptr;
  forms::Control* Label18 = nullptr;
  forms::Control* CSearch1 = nullptr;
  forms::Control* CSearch2 = nullptr;
  forms::Control* CSearch3 = nullptr;
  forms::Control* ComSearch = nullptr;
  forms::Control* ComFirst = nullptr;
  forms::Control* ComProious = nullptr;
  forms::Control* ComNext = nullptr;
  forms::Control* ComLast = nullptr;
  forms::Control* Label9 = nullptr;
  forms::Control* Combo1 = nullptr;
  forms::Control* Label5 = nullptr;
  forms::Control* Label6 = nullptr;
  forms::Control* Label7 = nullptr;
  forms::Control* Label8 = nullptr;
  forms::Control* Text3 = nullptr;
  forms::Control* Text4 = nullptr;
  forms::Control* Text5 = nullptr;
  forms::Control* Text6 = nullptr;
  forms::Control* Combo2 = nullptr;
  forms::Control* Label10 = nullptr;
  forms::Control* ComReview = nullptr;
  forms::Control* CheFIRST = nullptr;
  forms::Control* ComOK = nullptr;

  // The measurement frame.
  forms::Control* FrmInput = nullptr;
  forms::Control* Label19 = nullptr;
  forms::Control* Combo3 = nullptr;
  forms::Control* Label11 = nullptr;
  std::array<forms::Control*, 5> Text7{};
  std::array<forms::Control*, 5> Label13{};
  // A note's result per sample, in place of the number boxes: "", 合格,
  // 不合格.
  std::array<forms::Control*, 5> Combo4{};
  forms::Control* Label12 = nullptr;
  std::array<forms::Control*, 8> Option3{};
  forms::Control* ComFresh = nullptr;
  forms::Control* ComCPK = nullptr;
  // Continuous entry: Enter stores the reading and moves on in the order
  // chosen (browse/entry_keys.h).
  forms::Control* CheCont = nullptr;
  forms::Control* FrmOrder = nullptr;
  forms::Control* OptByDimension = nullptr;
  forms::Control* OptBySample = nullptr;

  // Menus (none shown in a menu bar).
  forms::Control* mnu1 = nullptr;
  forms::Control* mnufirst = nullptr;
  forms::Control* mnuPr = nullptr;
  forms::Control* mnuNext = nullptr;
  forms::Control* mnuLast = nullptr;
  forms::Control* mnuReviw = nullptr;
  forms::Control* mnuFAI = nullptr;
  forms::Control* mnuFresh = nullptr;
  forms::Control* mnuCPK = nullptr;
  forms::Control* mnuImport = nullptr;
  forms::Control* mnuGauge = nullptr;
  forms::Control* mnuMARK = nullptr;
  forms::Control* mnuAutomark = nullptr;
  forms::Control* mnuPartmark = nullptr;
  forms::Control* mnuFreemark = nullptr;
  forms::Control* mnuHadmark = nullptr;
  forms::Control* mnuUndo = nullptr;
  forms::Control* mnuScalemax = nullptr;
  forms::Control* mnuScalemin = nullptr;
  forms::Control* mnuMovemark = nullptr;
  forms::Control* mnuColor = nullptr;
  forms::Control* mnuLayout = nullptr;
  forms::Control* mnuFILE = nullptr;

  // Module-level state. Everything starts at zero, empty or False; the load
  // sets the defaults that differ.
  std::shared_ptr<dimtable::Connection> dbConn;
  std::shared_ptr<dimtable::Recordset> dimRs;
  bool newDatabase = false;
  std::string dbPath;
  std::string drawingPath;
  // Undoes what picking a file reset, for an opening given up at the
  // save question; empty when no drawing was open to come back to.
  std::function<void()> undoFilePick;
  std::int32_t dimDecimals = 0;
  bool decimalsChosen = false;
  cadhost::Point extMin{};
  cadhost::Point extMax{};
  double dimScale = 0;
  float textHeight = 0;
  std::int16_t firstEntityColor = 0;
  std::int16_t lastEntityIndex = 0;
  std::int16_t entityIndex = 0;
  std::string entityType;
  cadhost::Point entityPoint{};

  std::int16_t markBase = 0;
  float markTextHeight = 0;
  std::vector<cadhost::EntityRef> markCircles;  // from 1
  std::vector<cadhost::EntityRef> markTexts;    // from 1
  std::int16_t markedCount = 0;
  // The marks of a drawing numbered before this run, found in it by their
  // numbers (browse::marksOf), for the document foundMarksDoc.
  std::vector<std::array<cadhost::EntityRef, 2>> foundMarks;  // circle, text
  cadhost::DocumentRef foundMarksDoc;
  std::int32_t loopIndex = 0;

  std::int32_t currentPosition = 0;
  std::int32_t currentSample = 0;
  std::int16_t highlightColor = 0;
  float lastReviewed = 0;
  // The drawing in which lastReviewed was painted; only there is its
  // colour given back.
  cadhost::DocumentRef highlightDoc;

  std::int16_t freeNext = 0;
  std::int16_t freeCurrent = 0;
  cadhost::Point pickedPoint{};
  std::int16_t nearestPosition = 0;
  float nearestDistance = 0;

  // Rows appended to the open drawing's table since it was opened: a
  // numbering that would start again at position 1 refuses once there are
  // any, so the table never holds a second set.
  std::int32_t numberedRows = 0;
  // The command line keeps a numbering pass's rows uncommitted until the
  // marked drawing is saved (marking::commitNumbering, rollbackNumbering).
  bool deferNumberingCommit = false;
  // Set while the browse list is put back after a refused move, so that
  // its Click does not run again.
  bool revertingList = false;
  // Positions whose measurement the database has not taken yet.
  std::vector<std::int32_t> unsavedMeasurements;
  // The sample box (0 to 4) the next reading of a gauge goes to when no
  // sample box has the focus: where the continuous order stands.
  std::int32_t entryBox = 0;

  std::int16_t zoneGroupStart = 0;
  std::int16_t zoneMarkedCount = 0;
  std::int32_t adoptNext = 0;

  std::int16_t cpkColumn = 0;
  float zoneWidth = 0;
  float zoneHeight = 0;
  sheethost::SheetApplicationRef excelApp;
  sheethost::WorkbookRef faiBook;
  sheethost::WorksheetRef faiSheet;
  sheethost::WorkbookRef cpkBook;
  sheethost::WorksheetRef cpkSheet;

  std::int32_t marqueeTicks = 0;
  std::int32_t marqueeStep = 0;

  // Handlers of the shell that need nothing beyond the form; the load, the
  // exit and the wiring of the other handlers are the program's (app/).
  void Timer1_Timer();
  void Form_Resize();
  void FrmInput_MouseDown(int button, int shift, float x, float y);
  void FrmSort_MouseDown(int button, int shift, float x, float y);
  // A right click anywhere else in the window: the marking menu, or the
  // measuring one over the measurement frame.
  void Form_MouseDown(int button, int shift, float x, float y);
  void AcadDoc_Close();
  void ExcelClose();
  // The user took back a change in the CAD window: the program follows
  // what the drawing now holds (the wiring sets it).
  std::function<void()> AcadDoc_Undo;

  // Connects the controls to their handlers; run at every build.
  std::function<void(Form1&)> wiring;

 protected:
  void build() override;

 private:
  void buildBanner();
  void buildFileFrame();
  void buildSortFrame();
  void buildBrowseFrame();
  void buildInputFrame();
  void buildMenus();
};

}  // namespace model
