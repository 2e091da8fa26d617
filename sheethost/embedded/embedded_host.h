// The program's own spreadsheet host: workbooks are held in memory, filled
// cell by cell and written only when someone asks for a save. It has no
// window of its own; a window attaches through SheetObserver.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sheethost/host.h"
#include "sheethost/xlsx/workbook.h"

namespace sheethost::embedded {

class EmbeddedWorkbook;

// Told what happens inside one application instance. Calls come
// synchronously, after the change.
class SheetObserver {
 public:
  virtual ~SheetObserver() = default;
  virtual void workbookOpened(EmbeddedWorkbook& /*book*/) {}
  // sheetIndex counts from 1, as Worksheets(i) does.
  virtual void cellChanged(EmbeddedWorkbook& /*book*/, int /*sheetIndex*/,
                           int /*row*/, int /*column*/) {}
  virtual void sheetActivated(EmbeddedWorkbook& /*book*/, int /*sheetIndex*/) {}
  virtual void visibilityChanged(bool /*visible*/) {}
};

namespace detail {
struct BookState;
struct Observers;
}  // namespace detail

class EmbeddedWorkbook : public Workbook {
 public:
  ~EmbeddedWorkbook() override;

  WorksheetRef Worksheets(int index) override;
  WorksheetRef ActiveSheet() override;
  bool Saved() const override;
  bool Save() override;
  std::string Name() const override { return fileName(); }
  void SetSuggestedPath(const std::string& path) override;
  // Asks where to save the first time (a window sets it); without it a
  // workbook never saved cannot be saved by Save.
  std::function<bool(EmbeddedWorkbook&)> askAndSave;

  // Where Save As proposes to write ("" when nobody said), and where the
  // workbook was last saved ("" before its first save).
  const std::string& suggestedPath() const;
  const std::string& savedPath() const;
  // Whether the program fills this cell (1-based), so the user may not type
  // into it; formula cells are not typed into either.
  bool reserved(int sheetIndex, int row, int column) const;
  bool hasFormula(int sheetIndex, int row, int column) const;
  // A cell the user typed into the window: a whole number becomes a
  // number, anything else text, nothing clears it. Reserved and formula
  // cells refuse (SheetError), as do texts the cell cannot hold.
  void typeCell(int sheetIndex, int row, int column, const std::string& text);

  // The path it was opened from, and its file name ("fai.xlsx").
  const std::string& path() const;
  std::string fileName() const;

  int worksheetCount() const;
  std::string worksheetName(int index) const;  // from 1
  int activeIndex() const;                     // from 1
  // Read access for a window: cells, formulas, used range, merged cells.
  const xlsx::Sheet& sheetContent(int index) const;  // from 1
  bool modified() const;

  // Writes the workbook to another file; the file it was opened from is
  // only replaced when overwriteSource is given.
  void saveAs(const std::string& path, bool overwriteSource = false);

 private:
  friend class EmbeddedSheetApplication;
  explicit EmbeddedWorkbook(std::shared_ptr<detail::BookState> state);
  std::shared_ptr<detail::BookState> state_;
  std::vector<WorksheetRef> sheets_;
};

class EmbeddedSheetApplication : public SheetApplication {
 public:
  EmbeddedSheetApplication();
  ~EmbeddedSheetApplication() override;

  // A missing or unreadable file, or one that is no workbook, raises
  // SheetError naming the file. Opening a file that is already open gives
  // the open workbook; another file of the same name is refused, as the
  // spreadsheet program does.
  WorkbookRef Open(const std::string& path) override;
  bool Visible() const override;
  void SetVisible(bool visible) override;
  void SetClosedHandler(std::function<void()> handler) override;

  const std::vector<std::shared_ptr<EmbeddedWorkbook>>& workbooks() const;
  // By the full path it was opened from, or by its file name (letter case
  // ignored); null when none matches.
  std::shared_ptr<EmbeddedWorkbook> findWorkbook(
      const std::string& openedName) const;
  // Save As for the command line and the window; raises SheetError when no
  // workbook was opened under that name or the file cannot be written.
  void saveWorkbook(const std::string& openedName, const std::string& path,
                    bool overwriteSource = false);

  // The user closed the host's window: the window is gone (Visible reads
  // False), the workbooks stay as they are, and the closed handler runs.
  void closeWindow();

  // Observers are held weakly: one that is destroyed simply stops hearing.
  void addObserver(const std::shared_ptr<SheetObserver>& observer);

 private:
  std::shared_ptr<detail::Observers> observers_;
  std::vector<std::shared_ptr<EmbeddedWorkbook>> books_;
  std::function<void()> closedHandler_;
  bool visible_ = false;
};

// Called with every new instance, so that a window can attach to it.
using InstanceHook =
    std::function<void(const std::shared_ptr<EmbeddedSheetApplication>&)>;

// CreateObject for the embedded host: "excel.application" (letter case
// ignored) gives a new, invisible instance; any other class raises
// SheetError.
SheetFactory makeSheetHost(InstanceHook onCreate = {});

}  // namespace sheethost::embedded
