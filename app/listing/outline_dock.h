// The "Outline" dock: the program's shape as a tree. Objects, under each its
// methods (source name when known, else the label) and assembly blocks, then
// data and variables. Clicking an entry goes there; the entry holding the caret
// is highlighted as it moves.
#pragma once

#include <QDockWidget>
#include <map>
#include <vector>

#include "brevin/analysis.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace brevin {

class OutlineDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit OutlineDock(QWidget* parent = nullptr);

  void SetAnalysis(const AnalysisPtr& analysis);
  // Names the sub-objects as their parents' sources declare them ("adc : spi_pasm").
  void NameObjects(const std::map<std::int32_t, QString>& names);
  // Highlights the entry whose part of the image holds the address (none: -1).
  void ShowPosition(std::int32_t address);

  QTreeWidget* Tree() const { return tree_; }
  // The dock width that shows every entry whole (with the scroll bar).
  int WidthForEntries() const;

 signals:
  void addressChosen(std::int32_t address);

 private:
  QTreeWidgetItem* AddEntry(QTreeWidgetItem* parent, const QString& text, std::int32_t address);

  QTreeWidget* tree_;
  std::vector<std::pair<std::int32_t, QTreeWidgetItem*>> byAddress_;  // leaf entries, ascending
  std::map<std::int32_t, QTreeWidgetItem*> subObjects_;                // the objects after the top one
};

}  // namespace brevin
