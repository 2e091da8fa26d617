// DWG drawings in the engine: converted through the host's hook, they keep
// the DWG's path (and with it the database's name) and are never written
// over the DWG.
#include <filesystem>

#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::HostError;
using cadhost::engine::EngineApplication;
using cadhost::engine::EngineDocument;

struct DwgHost {
  std::shared_ptr<EngineApplication> app =
      std::make_shared<EngineApplication>(nullptr);
  std::vector<std::string> asked;
  std::string dxf = readBytes(fixture("dims_r2018.dxf"));
  DwgHost() {
    app->dwgToDxf = [this](const std::string& path) {
      asked.push_back(path);
      return dxf;
    };
  }
  std::shared_ptr<EngineDocument> open(const std::string& path) {
    return std::dynamic_pointer_cast<EngineDocument>(app->Open(path));
  }
};

std::string saveError(EngineDocument& doc, const std::string& path) {
  try {
    doc.saveAs(path);
  } catch (const HostError& e) {
    return e.what();
  }
  return "(saved)";
}

TEST(DwgOpen, ADwgOpensThroughTheHookAndKeepsItsPath) {
  TempDir dir;
  std::string dwg = dir.file("part.dwg");
  writeBytes(dwg, "AC1032 not really a drawing");
  DwgHost h;
  auto doc = h.open(dwg);
  ASSERT_EQ(h.asked, std::vector<std::string>{dwg});
  EXPECT_EQ(doc->path(), dwg);
  EXPECT_TRUE(doc->fromDwg());
  EXPECT_EQ(h.app->Caption(), "DimMark CAD - part.dwg");
  EXPECT_EQ(doc->GetModelSpace().Count(),
            open(fixture("dims_r2018.dxf")).ms().Count());

  // Never over the DWG, however its name is spelt.
  std::filesystem::create_symlink(dwg, dir.file("link.dxf"));
  for (const std::string& target :
       {dwg, dir.file("./part.dwg"), dir.file("link.dxf"),
        dir.file("other.DWG")}) {
    EXPECT_NE(saveError(*doc, target), "(saved)") << target;
  }
  EXPECT_EQ(readBytes(dwg), "AC1032 not really a drawing");
  EXPECT_FALSE(std::filesystem::exists(dir.file("other.DWG")));

  // Saved as DXF, the drawing belongs to the DXF.
  EXPECT_EQ(saveError(*doc, dir.file("part.dxf")), "(saved)");
  EXPECT_EQ(doc->path(), dir.file("part.dxf"));
  EXPECT_FALSE(doc->fromDwg());
  EXPECT_EQ(readBytes(dir.file("part.dxf")), h.dxf);
  // ...and still never goes over the DWG.
  EXPECT_NE(saveError(*doc, dwg), "(saved)");
  EXPECT_EQ(readBytes(dwg), "AC1032 not really a drawing");
}

TEST(DwgOpen, DwgBytesUnderAnotherNameAreConvertedToo) {
  DwgHost h;
  std::string path = fixture("broken/dwg_inside.dxf");
  auto doc = h.open(path);
  EXPECT_EQ(h.asked, std::vector<std::string>{path});
  EXPECT_TRUE(doc->fromDwg());
  EXPECT_NE(saveError(*doc, path), "(saved)");
}

TEST(DwgOpen, AFailedOrCancelledConversionOpensNothing) {
  TempDir dir;
  std::string dwg = dir.file("part.dwg");
  writeBytes(dwg, "AC1032");
  DwgHost h;
  h.app->dwgToDxf = [](const std::string&) -> std::string {
    throw HostError("DWG 图纸“part.dwg”无法转换：转换程序意外终止（信号 11）");
  };
  try {
    h.open(dwg);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_STREQ(e.what(),
                 "DWG 图纸“part.dwg”无法转换：转换程序意外终止（信号 11）");
  }
  h.app->dwgToDxf = [](const std::string&) -> std::string {
    throw cadhost::Cancelled("cancelled");
  };
  EXPECT_THROW(h.open(dwg), cadhost::Cancelled);
  // A converter that answers something that is not DXF.
  h.app->dwgToDxf = [](const std::string&) -> std::string { return "garbage"; };
  try {
    h.open(dwg);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("part.dwg: line 1:", 0), 0u)
        << e.what();
  }
  EXPECT_TRUE(h.app->documents().empty());
  EXPECT_EQ(h.app->Caption(), "DimMark CAD");
}

}  // namespace
