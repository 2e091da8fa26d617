#include "cli/session.h"

#include <stdexcept>

#include "cli/hosts.h"

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
  if (all.size() == before) return true;
  failure_.clear();
  for (size_t i = before; i < all.size(); ++i) {
    if (!failure_.empty()) failure_ += "\n";
    failure_ += all[i].text;
  }
  return false;
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
    o.named.emplace_back(a, args[++i]);
  }
  return o;
}

}  // namespace cli
