// The road of one drawing to the marking frame: the file type window, the
// dialog, "确定" and the extraction.
#include "intake/opening.h"

#include "dimtable/dimtable.h"
#include "intake/reading.h"
#include "intake_fixture.h"

using namespace intake_test;

TEST_F(Intake, FileTypeWindowStartsNativeWithTwoDecimals) {
  f().Com1->userClick();
  auto& w = program->form2;
  EXPECT_TRUE(w.visible());
  EXPECT_EQ(w.caption(), "CAD文件类型");
  EXPECT_EQ(w.Option1->value(), 1);
  EXPECT_FALSE(w.Label1->visible());
  EXPECT_FALSE(w.Combo1->visible());
  EXPECT_EQ(w.Combo1->list(),
            (std::vector<std::string>{"0", "0.0", "0.00", "0.000", "0.0000"}));
  EXPECT_EQ(w.Combo1->listIndex(), 2);
  EXPECT_EQ(f().dimDecimals, 2);
  EXPECT_FALSE(f().decimalsChosen);
  w.Option2->userClick();
  EXPECT_TRUE(w.Label1->visible());
  EXPECT_TRUE(w.Combo1->visible());
  w.Combo1->userSelect(3);
  EXPECT_EQ(f().dimDecimals, 3);
  // Back to the native type before OK: two decimals, taken from the drawing.
  w.Option1->userClick();
  EXPECT_FALSE(w.Combo1->visible());
  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::Cancel));
  w.Command1->userClick();
  EXPECT_EQ(f().dimDecimals, 2);
  EXPECT_FALSE(f().decimalsChosen);
  EXPECT_FALSE(w.visible());
  // Shown again, it keeps its choice.
  f().Com1->userClick();
  EXPECT_EQ(w.Combo1->listIndex(), 3);
}

TEST_F(Intake, TheDialogFillsTheFileFrameEvenWhenCancelled) {
  f().Com1->userClick();
  queue.push(forms::QueuedAnswer::file(drawing));
  program->form2.Command1->userClick();
  const auto& d = desktop.dialogs().back();
  EXPECT_EQ(d.title, "OPEN FILE");
  EXPECT_EQ(d.filter, "图纸|*.dwg;*.dxf|DWG 图纸|*.dwg|DXF 图纸|*.dxf");
  EXPECT_EQ(f().Text1->text(), drawing);
  EXPECT_EQ(f().drawingPath, drawing);
  EXPECT_TRUE(f().Com2->enabled());
  EXPECT_TRUE(f().ComOK->enabled());
  EXPECT_EQ(f().height(), 735 + 615 + 350);

  // A cancel keeps the last file name and still enables "确定".
  f().Com2->setEnabled(false);
  f().Com1->userClick();
  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::Cancel));
  program->form2.Command1->userClick();
  EXPECT_EQ(f().Text1->text(), drawing);
  EXPECT_TRUE(f().Com2->enabled());
}

TEST_F(Intake, OpeningANewDrawingCreatesItsDatabaseAndReadsEverything) {
  add("AcDbLine")->color = 3;
  add("AcDbCircle")->color = 5;  // item 1 gives firstEntityColor
  addText("7", 90, 50);
  addDim("AcDbRotatedDimension", 25.004, 100, 50);
  addText("零件图", 10, 20, "AcDbMText");
  addDim("AcDbDiametricDimension", 12.5, 60, 40, "", 2, 0.1, 0.05, 3.5);
  doc->variables["DIMDEC"] = 3.0;
  doc->variables["DIMTXT"] = 1.8;
  doc->variables["DIMLFAC"] = 2.0;
  open();
  EXPECT_TRUE(messages().empty());
  auto& s = f();
  EXPECT_EQ(s.dbPath, (dir / "work/part7.mdb").string());
  EXPECT_EQ(readFile(s.dbPath), readFile((dir / "dimdata/dimen.mdb").string()));
  EXPECT_TRUE(s.newDatabase);
  EXPECT_TRUE(host->visible);
  EXPECT_TRUE(host->log.has("PurgeAll"));
  EXPECT_EQ(s.firstEntityColor, 5);
  EXPECT_EQ(s.extMax, (cadhost::Point{400, 300, 0}));
  EXPECT_EQ(s.dimDecimals, 3);
  EXPECT_EQ(s.dimScale, 2.0);
  EXPECT_EQ(s.textHeight, 3.5f);  // the last dimension's
  EXPECT_EQ(s.lastEntityIndex, 5);

  auto& ctx = program->ctx;
  ASSERT_EQ(ctx.dimCount, 2);
  EXPECT_EQ(ctx.dimRecords.size(), 7u);  // 0 .. Count
  EXPECT_EQ(rec(1).type, "正交尺寸");
  EXPECT_EQ(rec(1).value, "25.004");
  EXPECT_EQ(rec(1).entityIndex, 3);
  EXPECT_EQ(rec(1).x, 100);
  EXPECT_EQ(rec(1).y, 50);
  EXPECT_EQ(rec(1).check, 0);
  EXPECT_EQ(rec(2).type, "直径尺寸");
  EXPECT_EQ(rec(2).value, "12.5");
  EXPECT_EQ(rec(2).up, 0.1f);
  EXPECT_EQ(rec(2).low, 0.05f);

  ASSERT_EQ(ctx.textNext, 3);
  EXPECT_EQ(ctx.textRecords[1].text, "7");
  EXPECT_EQ(ctx.textRecords[1].entityIndex, 2);
  EXPECT_EQ(ctx.textRecords[2].text, "零件图");
  EXPECT_EQ(ctx.textRecords[2].x, 10);

  // The other panels' arrays follow the number of dimensions.
  EXPECT_EQ(s.markCircles.size(), 3u);
  EXPECT_EQ(ctx.samples.size(), 3u);
  EXPECT_EQ(ctx.instrumentCodes.size(), 3u);
  // "确定" unlocks the marking frame.
  EXPECT_TRUE(s.FrmSort->enabled());
  EXPECT_EQ(s.height(), 735 + 615 + 350 + 735);
  EXPECT_EQ(s.freeNext, 1);
  EXPECT_EQ(s.zoneGroupStart, 1);
  EXPECT_EQ(s.zoneMarkedCount, 0);
  for (auto* c : {s.mnuAutomark, s.mnuLayout, s.comSort, s.ComHadmark})
    EXPECT_TRUE(c->enabled());
}

TEST_F(Intake, KindsAreMatchedWhateverTheirCase) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("ACDBALIGNEDDIMENSION", 10, 1, 1);
  addDim("acdbordinatedimension", 20, 2, 2);
  addDim("AcDbRadialDimension", 5, 3, 3);
  addDim("AcDbSomeFutureDimension", 9, 6, 6);
  open();
  ASSERT_EQ(program->ctx.dimCount, 4);
  EXPECT_EQ(rec(1).type, "平行尺寸");
  EXPECT_EQ(rec(2).type, "绝对坐标尺寸");
  EXPECT_EQ(rec(3).type, "半径尺寸");
  // A kind nobody knows keeps an empty, counted entry.
  EXPECT_EQ(rec(4).type, "");
  EXPECT_EQ(rec(4).value, "");
  EXPECT_EQ(rec(4).entityIndex, 0);
  EXPECT_EQ(rec(4).x, 0);
}

TEST_F(Intake, ThreePointAnglesArcLengthsAndJoggedRadiiAreRealDimensions) {
  add("AcDbLine");
  addDim("AcDb3PointAngularDimension", 0.5, 4, 4);
  addDim("acdbarcdimension", 31.41593, 5, 5);
  addDim("AcDbRadialDimensionLarge", 120.5, 7, 8, "", 1, 0.2, 0.2);
  open();
  ASSERT_EQ(program->ctx.dimCount, 3);
  EXPECT_EQ(rec(1).type, "角度尺寸");
  EXPECT_EQ(rec(1).value, "28.65");  // 0.5 rad in degrees
  EXPECT_EQ(rec(1).up, 1.0f);        // the plastic angle tolerance
  EXPECT_EQ(rec(1).entityIndex, 1);
  EXPECT_EQ(rec(1).x, 4);
  EXPECT_EQ(rec(2).type, "弧长尺寸");
  EXPECT_EQ(rec(2).value, "31.42");
  EXPECT_EQ(rec(2).low, 0.45f);  // size range 30 to 120
  EXPECT_EQ(rec(2).entityIndex, 2);
  EXPECT_EQ(rec(3).type, "半径尺寸");
  EXPECT_EQ(rec(3).value, "120.5");
  EXPECT_EQ(rec(3).up, 0.2f);  // its own tolerance
  EXPECT_EQ(rec(3).y, 8);
  EXPECT_EQ(f().textHeight, 2.5f);
}

TEST_F(Intake, WithoutDimensionsTheTextHeightIsTheDrawingsDimtxt) {
  add("AcDbLine");
  add("AcDbLine");
  doc->variables["DIMTXT"] = 1.8;
  open();
  EXPECT_EQ(program->ctx.dimCount, 0);
  EXPECT_EQ(f().textHeight, 1.8f);
  EXPECT_EQ(program->ctx.textNext, 1);
}

TEST_F(Intake, ProEDrawingsTakeTheChosenDecimals) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 25.00049, 1, 1);
  doc->variables.erase("DIMDEC");  // not read at all
  open(3);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(f().dimDecimals, 3);
  EXPECT_TRUE(f().decimalsChosen);
  EXPECT_EQ(rec(1).value, "25");
  EXPECT_TRUE(host->log.has("AcDbRotatedDimension.PrimaryUnitsPrecision=3"));
}

TEST_F(Intake, AKnownDrawingIsOpenedButNotRead) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 10, 1, 1);
  open();
  ASSERT_TRUE(f().newDatabase);
  f().comSort->userClick();
  ASSERT_EQ(f().numberedRows, 1);
  host->log.calls.clear();
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(f().newDatabase);
  EXPECT_EQ(program->ctx.dimCount, 1000);
  EXPECT_EQ(program->ctx.dimRecords.size(), 1001u);
  EXPECT_EQ(rec(1).value, "");
  EXPECT_EQ(f().markTexts.size(), 1001u);
  EXPECT_TRUE(host->log.has("Open " + drawing));
  EXPECT_FALSE(host->log.has("PurgeAll"));
  EXPECT_FALSE(host->log.has("AcDbRotatedDimension.Move"));
  EXPECT_TRUE(host->visible);
}

// A database whose numbering was refused, interrupted or never asked for
// holds nothing: the drawing is read afresh and numbers as a new one.
TEST_F(Intake, ADatabaseWithoutRowsCountsAsNone) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 10, 1, 1);
  addDim("AcDbRotatedDimension", 20, 5, 1);
  open();  // as an extraction alone leaves it
  ASSERT_TRUE(f().newDatabase);
  f().Text8->userType("32767");  // its second mark would not fit
  f().comSort->userClick();
  ASSERT_EQ(messages().size(), 1u);
  ASSERT_TRUE(fs::exists(dir / "work/part7.mdb"));

  host->log.calls.clear();
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(f().newDatabase);
  EXPECT_EQ(program->ctx.dimCount, 2);
  EXPECT_EQ(rec(2).value, "20");
  EXPECT_TRUE(host->log.has("PurgeAll"));
  f().Text8->userType("1");
  f().comSort->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(f().numberedRows, 2);

  // Now it holds a numbering: the next opening loads nothing.
  open();
  EXPECT_FALSE(f().newDatabase);
}

// Item 1, whose colour the browser gives back, may not exist.
TEST_F(Intake, ModelSpacesOfOneEntityOrNoneOpen) {
  f().firstEntityColor = 3;
  addDim("AcDbRotatedDimension", 10, 1, 1)->color = 5;
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(f().newDatabase);
  EXPECT_EQ(program->ctx.dimCount, 1);
  EXPECT_EQ(f().firstEntityColor, 3);
  f().comSort->userClick();
  EXPECT_EQ(f().numberedRows, 1);

  std::string empty = (dir / "work/empty.dxf").string();
  dir.write("work/empty.dxf", "0\nEOF\n");
  auto emptyDoc = host->addDocument(empty);
  open(-1, empty);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(f().newDatabase);
  EXPECT_EQ(program->ctx.dimCount, 0);
  EXPECT_EQ(program->ctx.cadDoc, emptyDoc);
}

// The database is the name minus four characters: "bracketdxf1" would
// take bracket.mdb, another drawing's.
TEST_F(Intake, ANameNotEndingInDxfOrDwgIsRefused) {
  add("AcDbLine");
  add("AcDbLine");
  for (const char* name : {"bracketdxf1", "part7.dxf.bak", "part7.txt"}) {
    std::string path = (dir / "work" / name).string();
    dir.write(std::string("work/") + name, "0\nEOF\n");
    host->addDocument(path);
    open(-1, path);
    auto m = messages();
    ASSERT_EQ(m.size(), 1u) << name;
    EXPECT_NE(m[0].find(name), std::string::npos) << m[0];
    EXPECT_NE(m[0].find(".dxf 或 .dwg"), std::string::npos) << m[0];
    EXPECT_FALSE(host->log.has("Open " + path)) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "work/bracket.mdb"));
  EXPECT_FALSE(fs::exists(dir / "work/part7.mdb"));
  EXPECT_EQ(program->ctx.cadDoc, nullptr);
  // Any letter case is a drawing's.
  std::string upper = (dir / "work/PART8.DXF").string();
  dir.write("work/PART8.DXF", "0\nEOF\n");
  host->addDocument(upper)->modelSpace.add("AcDbLine");
  open(-1, upper);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(fs::exists(dir / "work/PART8.mdb"));
}

TEST_F(Intake, AMissingDrawingIsReportedAndNothingChanges) {
  std::string gone = (dir / "work/gone.dxf").string();
  open(-1, gone);
  EXPECT_EQ(messages(), std::vector<std::string>{"该文件没有发现！"});
  EXPECT_FALSE(fs::exists(dir / "work/gone.mdb"));
  EXPECT_EQ(program->ctx.cadDoc, nullptr);
  EXPECT_FALSE(f().newDatabase);
  EXPECT_EQ(f().dbPath, "");
}

TEST_F(Intake, AShortOrEmptyFileNameFailsWithTheExtractionMessage) {
  open(-1, "a.b");
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("AutoCAD启动出现错误！请检查AutoCAD系统！", 0), 0u);
}

TEST_F(Intake, AForeignFileAtTheDatabasePathIsRefusedUntouched) {
  add("AcDbLine");
  add("AcDbLine");
  dir.write("work/part7.mdb", "Standard Jet DB, not ours");
  open();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("part7.mdb"), std::string::npos) << m[0];
  EXPECT_EQ(dir.read("work/part7.mdb"), "Standard Jet DB, not ours");
  EXPECT_EQ(program->ctx.cadDoc, nullptr);
  EXPECT_FALSE(host->log.has("Open " + drawing));
  EXPECT_FALSE(f().newDatabase);
}

TEST_F(Intake, ADatabaseThatCannotBeCreatedLeavesNothingHalfMade) {
  add("AcDbLine");
  add("AcDbLine");
  fs::remove(dir / "dimdata/dimen.mdb");
  open();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("dimen.mdb"), std::string::npos) << m[0];
  EXPECT_FALSE(fs::exists(dir / "work/part7.mdb"));
  EXPECT_EQ(program->ctx.cadDoc, nullptr);
  EXPECT_FALSE(f().newDatabase);
}

TEST_F(Intake, ADrawingTheHostCannotOpenLeavesNoDatabase) {
  host->documents.clear();  // Open raises
  open();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("AutoCAD启动出现错误！请检查AutoCAD系统！", 0), 0u);
  EXPECT_NE(m[0].find("cannot open"), std::string::npos) << m[0];
  EXPECT_FALSE(fs::exists(dir / "work/part7.mdb"));
  EXPECT_FALSE(f().newDatabase);
}

TEST_F(Intake, ADwgDrawingHasItsDatabaseBesideIt) {
  std::string dwg = (dir / "work/零件 7.dwg").string();
  dir.write("work/零件 7.dwg", "AC1032");
  auto dwgDoc = host->addDocument(dwg);
  dwgDoc->modelSpace.add("AcDbLine");
  dwgDoc->modelSpace.add("AcDbLine");
  open(-1, dwg);
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(fs::exists(dir / "work/零件 7.mdb"));
  EXPECT_EQ(f().dbPath, (dir / "work/零件 7.mdb").string());
  EXPECT_EQ(program->ctx.cadDoc, dwgDoc);
}

TEST_F(Intake, ACancelledConversionChangesNothing) {
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 12.5, 10, 20);
  open();
  ASSERT_TRUE(messages().empty());
  const std::string dbBefore = f().dbPath;
  const std::int32_t dimsBefore = program->ctx.dimCount;

  std::string dwg = (dir / "work/part8.dwg").string();
  dir.write("work/part8.dwg", "AC1032");
  host->beforeOpen = [](const std::string&) {
    throw cadhost::Cancelled("the conversion was cancelled");
  };
  open(-1, dwg);
  // Quietly: no message, no database, the drawing in hand kept.
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(fs::exists(dir / "work/part8.mdb"));
  EXPECT_EQ(f().dbPath, dbBefore);
  EXPECT_EQ(program->ctx.cadDoc, doc);
  EXPECT_EQ(program->ctx.dimCount, dimsBefore);
  EXPECT_EQ(rec(1).value, "12.5");

  // A failed conversion says so, and also leaves no database.
  host->beforeOpen = [](const std::string&) {
    throw cadhost::HostError("DWG 图纸“part8.dwg”无法转换：转换程序意外终止");
  };
  open(-1, dwg);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0],
            "AutoCAD启动出现错误！请检查AutoCAD系统！\n"
            "DWG 图纸“part8.dwg”无法转换：转换程序意外终止");
  EXPECT_FALSE(fs::exists(dir / "work/part8.mdb"));
  EXPECT_EQ(f().dbPath, dbBefore);
}

TEST_F(Intake, EntityIndexesAre16Bit) {
  doc->modelSpace.items.reserve(32768);
  for (int i = 0; i < 32766; ++i) add("AcDbLine");
  addText("last", 1, 2);
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(program->ctx.textNext, 2);
  EXPECT_EQ(program->ctx.textRecords[1].entityIndex, 32766);

  // One entity more cannot be walked.
  add("AcDbLine");
  fs::remove(dir / "work/part7.mdb");
  open();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("AutoCAD启动出现错误！请检查AutoCAD系统！", 0), 0u);
}

TEST_F(Intake, AnAngleThatCannotBeReadEndsTheExtraction) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 10, 1, 1);
  auto angle = addDim("AcDb2LineAngularDimension", 0.5, 2, 2);
  angle->measurement.reset();
  addDim("AcDbRotatedDimension", 20, 3, 3);
  open();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("AutoCAD启动出现错误！请检查AutoCAD系统！", 0), 0u);
  EXPECT_EQ(program->ctx.dimCount, 2);  // stopped at the angle
  EXPECT_EQ(rec(1).value, "10");
  // The arrays of the other panels are not sized after a failure.
  EXPECT_TRUE(f().markCircles.empty());
}

TEST_F(Intake, ClosingTheDrawingInTheHostDisablesBrowsing) {
  add("AcDbLine");
  add("AcDbLine");
  open();
  f().ComReview->setEnabled(true);
  doc->close();
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].title, "Exit AutoCAD!");
  EXPECT_FALSE(f().ComReview->enabled());
}

TEST_F(Intake, ChoosingAMaterialBringsItsTable) {
  f().OptMetal->userClick();
  EXPECT_EQ(program->ctx.tolValues[0], 0.1f);
  EXPECT_EQ(program->ctx.tolValues[6], 0.5f);
  f().OptPlastic->userClick();
  EXPECT_EQ(program->ctx.tolValues[0], 0.15f);
  // A missing table is reported; the tolerances in use stay.
  fs::remove(dir / "dimdata/metal.txt");
  f().OptMetal->userClick();
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "缺少公差文件");
  EXPECT_EQ(program->ctx.tolValues[0], 0.15f);
  EXPECT_FALSE(program->ctx.ended);
}
