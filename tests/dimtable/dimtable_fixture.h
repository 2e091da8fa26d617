// A scratch folder with a fresh copy of the template database per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dimtable/dimtable.h"

namespace dimtable_test {

inline const std::string kTemplate = "dimdata/dimen.mdb";

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Expects `f` to raise DbError of `kind` with a message naming `path` and
// holding `phrase`.
template <typename F>
void expectDbError(F&& f, dimtable::DbError::Kind kind, const std::string& path,
                   const std::string& phrase = "") {
  try {
    f();
    ADD_FAILURE() << "no DbError raised";
  } catch (const dimtable::DbError& e) {
    const std::string what = e.what();
    EXPECT_EQ(e.kind(), kind) << what;
    EXPECT_NE(what.find(path), std::string::npos) << what;
    EXPECT_NE(what.find(phrase), std::string::npos) << what;
  }
}

class DimTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name =
        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = std::filesystem::temp_directory_path() /
           ("dimtable-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    db_ = (dir_ / "part7.mdb").string();
    dimtable::copyTemplate(kTemplate, db_);
  }
  void TearDown() override {
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(dir_);
  }

  // One numbering pass as the automatic marking writes it.
  static void writePass(dimtable::Recordset& rs, int n, int firstMark) {
    for (int p = 1; p <= n; ++p) {
      rs.AddNew();
      rs.Set("DIMNUM", p * 3);
      rs.Set("DIMVALUE", std::to_string(p) + ".5");
      rs.Set("DIMUP", 0.1f);
      rs.Set("DIMLOW", 0.05f);
      rs.Set("DIMTYPE", "正交尺寸");
      rs.Set("DIMCHECK", false);
      rs.Set("DIMX", static_cast<float>(p) * 10.25f);
      rs.Set("DIMY", -static_cast<float>(p));
      rs.Set("marknum", static_cast<short>(p + firstMark - 1));
    }
    rs.Update();
  }

  static long countRows(const std::string& path) {
    dimtable::Connection c;
    c.Open(path);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    return rs.RecordCount();
  }

  std::filesystem::path dir_;
  std::string db_;
};

}  // namespace dimtable_test
