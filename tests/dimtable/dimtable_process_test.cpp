// What other processes do to the database: a numbering pass killed in the
// middle, and another program holding the file.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "dimtable_fixture.h"

namespace dimtable_test {
namespace {

using dimtable::Connection;
using dimtable::DbError;
using dimtable::Recordset;
using Kind = DbError::Kind;

// A child process that runs `body`, then reports on the pipe and waits
// until the parent writes to it or kills it.
class Child {
 public:
  explicit Child(const std::function<void()>& body) {
    if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toParent_[0]);
      ::close(toChild_[1]);
      int rc = 0;
      try {
        body();
      } catch (...) {
        rc = 1;
      }
      char c = rc ? 'E' : 'R';
      if (::write(toParent_[1], &c, 1) != 1) ::_exit(3);
      if (::read(toChild_[0], &c, 1) < 0) ::_exit(3);
      ::_exit(rc);
    }
    // Only the child writes to the parent: a child that dies unannounced
    // then reads as the end of the pipe.
    ::close(toParent_[1]);
    ::close(toChild_[0]);
    toParent_[1] = toChild_[0] = -1;
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {toParent_[0], toChild_[1]}) ::close(fd);
  }
  // Waits until the child has run its body; false if the body failed.
  bool ready() {
    char c = 0;
    return ::read(toParent_[0], &c, 1) == 1 && c == 'R';
  }
  void release() {
    char c = 'G';
    ASSERT_EQ(::write(toChild_[1], &c, 1), 1);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void killHard() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
};

TEST_F(DimTableTest, KilledPassLeavesNoneOfItsRows) {
  const std::string before = readBytes(db_);
  Child child([&] {
    static Connection c;  // a killed process runs no destructor anyway
    static Recordset rs;
    c.Open(db_);
    rs.Open(c, "dim1");
    writePass(rs, 3, 1);  // an earlier, finished pass
    // Big enough that the engine writes pages into the file itself before
    // the pass ends: the reopen then has to roll them back.
    const std::string text(100, 'x');
    for (int p = 1; p <= 40000; ++p) {
      rs.AddNew();
      rs.Set("DIMVALUE", text);
      rs.Set("marknum", p);
    }
  });
  ASSERT_TRUE(child.ready());
  ASSERT_TRUE(std::filesystem::exists(db_ + "-journal"));
  ASSERT_GT(std::filesystem::file_size(db_), 10 * before.size());
  child.killHard();

  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.MoveLast();
    EXPECT_EQ(rs.Get("number1").asInt(), 3);
    // The numbers of the lost pass are given again: no gap.
    writePass(rs, 1, 4);
    EXPECT_EQ(rs.Get("number1").asInt(), 4);
  }
  EXPECT_FALSE(std::filesystem::exists(db_ + "-journal"));
  EXPECT_EQ(countRows(db_), 4);
}

TEST_F(DimTableTest, ExitBeforeCommitTransLeavesNoRows) {
  Child child([&] {
    Connection c;
    c.Open(db_);
    c.BeginTrans();
    Recordset rs;
    rs.Open(c, "dim1");
    for (int p = 1; p <= 40; ++p) {  // free marking: Update per row
      rs.AddNew();
      rs.Set("marknum", p);
      rs.Update();
    }
    ::_exit(0);  // gone without CommitTrans or any cleanup
  });
  EXPECT_FALSE(child.ready());
  EXPECT_EQ(countRows(db_), 0);
}

// Another program holding the file: open waits about 2 s, then a clear
// message; once it lets go, the database is usable again.
TEST_F(DimTableTest, HeldDatabaseWaitsThenRaisesBusy) {
  sqlite3* other = nullptr;
  Child child([&] {
    sqlite3_open(db_.c_str(), &other);
    if (sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
      throw 1;
    }
  });
  ASSERT_TRUE(child.ready());
  auto start = std::chrono::steady_clock::now();
  expectDbError(
      [&] {
        Connection c;
        c.Open(db_);
      },
      Kind::Busy, db_);
  std::chrono::duration<double> waited =
      std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited.count(), 1.5);
  child.release();
  EXPECT_EQ(countRows(db_), 0);
}

// A write lock taken by another program while a pass is under way: the
// pass fails as a whole, its later rows are refused at once instead of
// each waiting again, and the next pass works.
TEST_F(DimTableTest, FailedWriteFailsTheWholePass) {
  sqlite3* other = nullptr;
  Child child([&] {
    sqlite3_open(db_.c_str(), &other);
    if (sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
      throw 1;
    }
  });
  ASSERT_TRUE(child.ready());
  // Opened only now: an open connection must not be carried into a fork.
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  rs.AddNew();
  rs.Set("marknum", 1);
  expectDbError([&] { rs.AddNew(); }, Kind::Busy, db_);
  child.release();

  auto start = std::chrono::steady_clock::now();
  expectDbError([&] { rs.AddNew(); }, Kind::PassFailed, db_);
  expectDbError([&] { rs.Update(); }, Kind::PassFailed, db_);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took.count(), 1.0) << "the refused rest of the pass must not wait";
  EXPECT_EQ(countRows(db_), 0);

  writePass(rs, 2, 1);
  EXPECT_EQ(countRows(db_), 2);
  rs.MoveFirst();
  EXPECT_EQ(rs.Get("number1").asInt(), 1);
}

}  // namespace
}  // namespace dimtable_test
