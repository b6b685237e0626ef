// The port dialog. Downloading is not available in this version; until the
// serial-port work arrives the dialog is an empty window with its caption.
#pragma once

#include <QDialog>

namespace brevin {

class PortDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PortDialog(QWidget* parent = nullptr);
};

}  // namespace brevin
