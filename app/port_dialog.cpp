#include "port_dialog.h"

#include "shell_support.h"

namespace brevin {

PortDialog::PortDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("PortDialog");
  setWindowTitle(kDownloaderTitle);
  resize(360, 200);
}

}  // namespace brevin
