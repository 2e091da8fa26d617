#include "cli/session.h"

#include <filesystem>
#include <stdexcept>

#include "cli/hosts.h"
#include "intake/opening.h"

namespace cli {

Session::Session()
    : hosts_(embeddedHosts()),
      queue_(std::make_shared<forms::AnswerQueue>()),
      desktop_(*queue_, forms::ScriptedDesktop::Policy::Lenient) {
  auto cad = [this](const std::string& className) {
    return hosts_.cad(className, nullptr);
  };
  program_ = std::make_unique<app::Program>(desktop_, cad, hosts_.sheets,
                                            programDir());
}

bool Session::quietSince(size_t before) {
  const auto& all = desktop_.allMessages();
  failure_.clear();
  for (size_t i = before; i < all.size(); ++i) {
    // An offer declined (the command line answers No) leaves everything
    // as it was: no failure.
    if (all[i].buttons == forms::Buttons::YesNo &&
        all[i].answer == forms::Answer::No)
      continue;
    if (!failure_.empty()) failure_ += "\n";
    failure_ += all[i].text;
  }
  return failure_.empty();
}

bool Session::start() {
  size_t before = desktop_.allMessages().size();
  program_->run([&] { program_->start(); });
  program_->run([&] {
    if (program_->splash.loaded()) program_->splash.Timer1->tick();
  });
  return quietSince(before) && !program_->ctx.ended;
}

bool Session::openDrawing(const std::string& path, std::optional<int> decimals,
                          const std::string& material) {
  size_t before = desktop_.allMessages().size();
  auto& f = main();
  auto& form2 = program_->form2;
  program_->run([&] {
    f.CheChars->setValue(characteristics ? 1 : 0);
    if (material == "metal") f.OptMetal->userClick();
    if (material == "plastic") f.OptPlastic->userClick();
    f.Com1->userClick();
    if (decimals) {
      form2.Option2->userClick();
      form2.Combo1->userSelect(*decimals);
    } else {
      form2.Option1->userClick();
    }
    queue_->push(forms::QueuedAnswer::file(path));
    form2.Command1->userClick();
    f.Com2->userClick();
  });
  return quietSince(before) && !program_->ctx.ended;
}

std::string Session::takeMessages() {
  std::string out;
  for (const auto& m : desktop_.takeMessages()) out += m.text + "\n";
  return out;
}

std::optional<std::string> Options::get(const std::string& name) const {
  for (const auto& [k, v] : named)
    if (k == name) return v;
  return std::nullopt;
}

Options parseOptions(const std::vector<std::string>& args,
                     const std::vector<std::string>& known) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      o.positional.push_back(a);
      continue;
    }
    bool ok = false;
    for (const auto& k : known) ok = ok || k == a;
    if (!ok) throw std::invalid_argument("unknown option " + a);
    if (i + 1 >= args.size())
      throw std::invalid_argument("option " + a + " needs a value");
    if (o.get(a))
      throw std::invalid_argument("option " + a + " is given twice");
    o.named.emplace_back(a, args[++i]);
  }
  return o;
}

std::optional<long> wholeNumber(const std::string& text, long lo, long hi) {
  std::size_t i = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size() || text.size() - i > 12) return std::nullopt;
  long v = 0;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
    v = v * 10 + (text[k] - '0');
  }
  if (text[0] == '-') v = -v;
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

bool drawingOptions(const Options& o, const std::string& command,
                    std::optional<int>& decimals, std::string& material,
                    std::ostream& err) {
  if (auto d = o.get("--decimals")) {
    auto n = wholeNumber(*d, 0, 4);
    if (!n) {
      err << command << ": --decimals takes 0 to 4, not \"" << *d << "\"\n";
      return false;
    }
    decimals = static_cast<int>(*n);
  }
  material = o.get("--material").value_or("");
  if (o.get("--material") && material != "plastic" && material != "metal") {
    err << command << ": --material takes plastic or metal, not \"" << material
        << "\"\n";
    return false;
  }
  return true;
}

bool characteristicsOption(const Options& o, const std::string& command,
                           bool& all, std::ostream& err) {
  const std::string v = o.get("--characteristics").value_or("dimensions");
  if (v != "all" && v != "dimensions") {
    err << command << ": --characteristics takes all or dimensions, not \"" << v
        << "\"\n";
    return false;
  }
  all = v == "all";
  return true;
}

std::string databaseOf(const std::string& drawing) {
  try {
    return intake::databasePath(drawing);
  } catch (const std::length_error&) {
    return drawing + ".mdb";  // no drawing's name: no database of any
  }
}

std::string notNumbered(const std::string& command, const std::string& drawing,
                        const std::string& db) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(drawing, ec))
    return command + ": no drawing " + drawing;
  // The database of "bracketdxf1" would be bracket.mdb, another's.
  auto ext =
      drawing.size() < 4 ? std::string() : drawing.substr(drawing.size() - 4);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".dxf" && ext != ".dwg")
    return command + ": " + drawing +
           " does not end in .dxf or .dwg, so its database would not be its "
           "own";
  if (!std::filesystem::exists(db, ec))
    return command + ": " + drawing + " has not been numbered (no database " +
           db + "); number it first";
  return {};
}

}  // namespace cli
