// Skipping a failed step, as handlers written with "resume next" do. Only
// failures (std::exception) are skipped; the end of the program and a
// script's unanswered question pass through.
#pragma once

#include <exception>

namespace forms {

template <typename F>
bool resumeNext(F&& step) {
  try {
    step();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace forms
