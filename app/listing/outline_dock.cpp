#include "listing/outline_dock.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

namespace brevin {

namespace {
constexpr int kAddressRole = Qt::UserRole + 1;
QString Hex4(std::int64_t value) { return QString("$%1").arg(value, 4, 16, QChar('0')).toUpper(); }
}  // namespace

OutlineDock::OutlineDock(QWidget* parent) : QDockWidget("Outline", parent) {
  setObjectName("OutlineDock");
  setAccessibleName("Outline");
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  tree_ = new QTreeWidget(this);
  tree_->setObjectName("OutlineTree");
  tree_->setAccessibleName("Outline entries");
  tree_->setHeaderHidden(true);
  tree_->setUniformRowHeights(true);
  setWidget(tree_);
  auto choose = [this](QTreeWidgetItem* item) {
    const QVariant address = item != nullptr ? item->data(0, kAddressRole) : QVariant();
    if (address.isValid()) emit addressChosen(address.toInt());
  };
  connect(tree_, &QTreeWidget::itemClicked, this, choose);
  connect(tree_, &QTreeWidget::itemActivated, this, choose);
}

QTreeWidgetItem* OutlineDock::AddEntry(QTreeWidgetItem* parent, const QString& text, std::int32_t address) {
  auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, text);
  item->setToolTip(0, text + "  " + Hex4(address));
  item->setData(0, kAddressRole, address);
  byAddress_.emplace_back(address, item);
  return item;
}

void OutlineDock::SetAnalysis(const AnalysisPtr& analysis) {
  tree_->clear();
  byAddress_.clear();
  subObjects_.clear();
  if (!analysis) return;
  const Analysis& a = *analysis;
  for (std::size_t i = 0; i < a.objects.size(); ++i) {
    const ObjectInfo& o = a.objects[i];
    const std::int32_t end = i + 1 < a.objects.size() ? a.objects[i + 1].address : a.image.vbase;
    QString title = i == 0 ? "Object " + Hex4(o.address) + " (top)" : "Object " + Hex4(o.address);
    if (o.libraryName) title += "  " + QString::fromStdString(*o.libraryName);
    QTreeWidgetItem* object = AddEntry(nullptr, title, o.address);
    for (const Method& m : o.methods) {
      QString name = QString::fromStdString(m.sourceName.value_or(m.label));
      if (name.isEmpty()) name = Hex4(m.address);
      // The library's name for a method the source does not name, beside its label.
      if (!m.sourceName && m.libraryName) name = QString::fromStdString(*m.libraryName) + "  " + name;
      if (m.traced) {
        AddEntry(object, name, m.address);
      } else {
        // Listed all the same, dimmed: a click still goes to its address.
        QTreeWidgetItem* item = AddEntry(object, name + " (not traced)", m.address);
        item->setForeground(0, tree_->palette().brush(QPalette::Disabled, QPalette::Text));
      }
    }
    for (const AsmBlock& b : a.asmBlocks) {
      if (b.hubAddress < o.address || b.hubAddress >= end) continue;
      const QString label = b.label.empty() ? Hex4(b.hubAddress) : QString::fromStdString(b.label);
      AddEntry(object, "ORG 0  " + label + QString("  (%1 longs)").arg(b.longs), b.hubAddress);
    }
    if (i > 0) subObjects_[o.address] = object;
    object->setExpanded(true);
  }
  QTreeWidgetItem* dataEntry = nullptr;
  for (const Region& r : a.regions) {
    if (r.kind == RegionKind::Data && r.name == "DAT") {
      if (dataEntry == nullptr) dataEntry = AddEntry(nullptr, "Data", r.start);
      AddEntry(dataEntry, "DAT " + Hex4(r.start) + QString(" (%1 bytes)").arg(r.end - r.start), r.start);
    } else if (r.kind == RegionKind::Variables) {
      AddEntry(nullptr, "Variables " + Hex4(r.start) + QString(" (%1 bytes)").arg(r.end - r.start), r.start);
    } else if (r.kind == RegionKind::Stack) {
      AddEntry(nullptr, "Stack " + Hex4(r.start), r.start);
    }
  }
  std::stable_sort(byAddress_.begin(), byAddress_.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
}

int OutlineDock::WidthForEntries() const {
  // (Public as a view's; the tree makes it protected but counts the indentation.)
  const int entries = static_cast<const QAbstractItemView*>(tree_)->sizeHintForColumn(0);
  const int frames = 2 * tree_->frameWidth() + (width() - tree_->width());
  return entries + frames + tree_->verticalScrollBar()->sizeHint().width() + 8;
}

void OutlineDock::NameObjects(const std::map<std::int32_t, QString>& names) {
  for (const auto& [address, name] : names) {
    const auto it = subObjects_.find(address);
    if (it == subObjects_.end()) continue;
    it->second->setText(0, name);
    it->second->setToolTip(0, name + "  " + Hex4(address));
  }
}

void OutlineDock::ShowPosition(std::int32_t address) {
  QTreeWidgetItem* best = nullptr;
  if (address >= 0) {
    // The last entry at or before the address; among equal addresses the deepest (listed last).
    auto it = std::upper_bound(byAddress_.begin(), byAddress_.end(), address,
                               [](std::int32_t a, const auto& e) { return a < e.first; });
    if (it != byAddress_.begin()) best = std::prev(it)->second;
  }
  if (best == tree_->currentItem()) return;
  const QSignalBlocker block(tree_);
  tree_->setCurrentItem(best);
  if (best != nullptr) tree_->scrollToItem(best);
}

}  // namespace brevin
