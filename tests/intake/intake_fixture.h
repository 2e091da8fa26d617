// The program with the scripted CAD host and desktop, and a drawing file on
// disk whose model space the test fills.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "app/program.h"
#include "fakes/fake_cad.h"
#include "fakes/temp_dir.h"
#include "forms/scripted_desktop.h"

namespace intake_test {

namespace fs = std::filesystem;
using fakes::FakeEntity;

class Intake : public ::testing::Test {
 protected:
  Intake() : desktop(queue) {
    fs::copy("dimdata", dir / "dimdata", fs::copy_options::recursive);
    fs::create_directories(dir / "work");
    drawing = (dir / "work/part7.dxf").string();
    dir.write("work/part7.dxf", "0\nEOF\n");
    doc = host->addDocument(drawing);
    program = std::make_unique<app::Program>(
        desktop,
        [this](const std::string&) {
          return std::static_pointer_cast<cadhost::Application>(host);
        },
        nullptr, dir.path());
    program->start();
    program->splash.Timer1->tick();
  }

  model::Form1& f() { return program->main; }

  std::shared_ptr<FakeEntity> add(const std::string& objectName) {
    auto e = doc->modelSpace.add(objectName);
    e->color = 7;
    return e;
  }
  std::shared_ptr<FakeEntity> addText(const std::string& text, double x,
                                      double y, const char* kind = "AcDbText") {
    auto e = add(kind);
    e->textString = text;
    e->insertion = cadhost::Point{x, y, 0};
    return e;
  }
  std::shared_ptr<FakeEntity> addDim(const std::string& objectName,
                                     double measurement, double x, double y,
                                     const std::string& override = "",
                                     int display = 0, double up = 0,
                                     double low = 0, double height = 2.5) {
    auto e = add(objectName);
    e->measurement = measurement;
    e->textPosition = cadhost::Point{x, y, 0};
    e->textOverride = override;
    e->toleranceDisplay = display;
    e->upper = up;
    e->lower = low;
    e->textHeight = height;
    e->primaryPrecision = 4;
    e->tolerancePrecision = 4;
    e->textPrecision = 0;
    return e;
  }

  // "浏览", the file type window's OK, the dialog, then "确定".
  void open(int decimals = -1, const std::string& path = "") {
    f().Com1->userClick();
    auto& form2 = program->form2;
    if (decimals >= 0) {
      form2.Option2->userClick();
      form2.Combo1->userSelect(decimals);
    } else {
      form2.Option1->userClick();
    }
    queue.push(forms::QueuedAnswer::file(path.empty() ? drawing : path));
    form2.Command1->userClick();
    f().Com2->userClick();
  }

  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& m : desktop.takeMessages()) out.push_back(m.text);
    return out;
  }

  const dimtable::DimRecord& rec(int i) {
    return program->ctx.dimRecords.at(static_cast<size_t>(i));
  }

  fakes::TempDir dir;
  std::string drawing;
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  std::shared_ptr<fakes::FakeDocument> doc;
  std::unique_ptr<app::Program> program;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace intake_test
