#include "frmFastLoad.h"

#include "basSupport.h"

namespace brevin {

frmFastLoad::frmFastLoad(QWidget* parent) : QDialog(parent) {
  setObjectName("frmFastLoad");
  setWindowTitle(kDownloaderTitle);
  resize(360, 200);
}

}  // namespace brevin
