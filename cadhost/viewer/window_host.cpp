#include "cadhost/viewer/window_host.h"

#include <QPointer>

#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/cad_window.h"

namespace cadhost::viewer {

namespace {

// The host's pick source; it owns the window, and the host owns it.
class WindowPicks : public cadhost::PickSource,
                    public std::enable_shared_from_this<WindowPicks> {
 public:
  ~WindowPicks() override { delete window.data(); }

  cadhost::Point pickPoint(const std::string& prompt) override {
    // The host may be let go while the user picks: this stays alive, and
    // with it the window, until the pick is over.
    auto keep = shared_from_this();
    if (!window) throw HostError("the CAD window is closed");
    return window->pick(DrawingView::PickMode::Point, {0, 0, 0}, prompt);
  }
  cadhost::Point pickCorner(const cadhost::Point& base,
                            const std::string& prompt) override {
    auto keep = shared_from_this();
    if (!window) throw HostError("the CAD window is closed");
    return window->pick(DrawingView::PickMode::Corner, base, prompt);
  }

  QPointer<CadWindow> window;
};

}  // namespace

cadhost::ApplicationRef makeWindowHost() {
  auto picks = std::make_shared<WindowPicks>();
  auto app = std::make_shared<engine::EngineApplication>(picks);
  picks->window = new CadWindow(app);
  return app;
}

CadWindow* windowOf(const cadhost::ApplicationRef& host) {
  auto app = std::dynamic_pointer_cast<engine::EngineApplication>(host);
  if (!app) return nullptr;
  auto* picks = dynamic_cast<WindowPicks*>(app->pickSource());
  return picks ? picks->window.data() : nullptr;
}

}  // namespace cadhost::viewer
