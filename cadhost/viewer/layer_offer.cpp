#include "cadhost/viewer/layer_offer.h"

#include <QFileInfo>

namespace cadhost::viewer {

bool offerToShowLayers(engine::EngineDocument& doc,
                       const std::function<bool(const QString&)>& confirm) {
  if (doc.isClosed() || !doc.everyLayerHidden()) return false;
  QString name = QFileInfo(QString::fromStdString(doc.path())).fileName();
  QString question =
      QStringLiteral(
          "图纸“%1”的 %2 个图层全部关闭或冻结，图上什么也不显示。\n"
          "显示全部图层吗？（只改变显示；保存图纸时才随图纸保存。）")
          .arg(name)
          .arg(doc.layers().size());
  if (!confirm(question)) return false;
  return doc.showAllLayers() > 0;
}

}  // namespace cadhost::viewer
