// Builds the empty template dimen.mdb from the committed schema at build
// time, then opens it the way the program will, so a schema that the
// program would refuse fails the build instead of the user.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "dimtable/dimtable.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " SCHEMA.sql OUTPUT.mdb\n";
    return 2;
  }
  const std::string schemaPath = argv[1];
  const std::string outPath = argv[2];
  std::ifstream in(schemaPath, std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << schemaPath << "\n";
    return 2;
  }
  std::stringstream schema;
  schema << in.rdbuf();

  // Built aside and moved into place, so a failed run leaves no template.
  const std::string tmp = outPath + ".new";
  std::error_code ec;
  std::filesystem::remove(tmp, ec);
  std::filesystem::create_directories(
      std::filesystem::path(outPath).parent_path(), ec);

  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  char* err = nullptr;
  if (rc == SQLITE_OK) {
    rc = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &err);
  }
  if (rc != SQLITE_OK) {
    std::cerr << schemaPath << ": " << (err ? err : sqlite3_errmsg(db)) << "\n";
    sqlite3_free(err);
    sqlite3_close(db);
    std::filesystem::remove(tmp, ec);
    return 1;
  }
  sqlite3_close(db);

  try {
    dimtable::Connection conn;
    conn.Open(tmp);
    dimtable::Recordset rs;
    rs.Open(conn, "dim1");
    if (!rs.Eof() || rs.RecordCount() != 0) {
      std::cerr << schemaPath << ": the template must hold no rows\n";
      std::filesystem::remove(tmp, ec);
      return 1;
    }
  } catch (const dimtable::DbError& e) {
    std::cerr << schemaPath << ": " << e.what() << "\n";
    std::filesystem::remove(tmp, ec);
    return 1;
  }
  std::filesystem::rename(tmp, outPath, ec);
  if (ec) {
    std::cerr << outPath << ": " << ec.message() << "\n";
    return 1;
  }
  return 0;
}
