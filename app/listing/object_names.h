// The names a Spin source gives its sub-objects ("serial : FullDuplexSerial"),
// placed at the sub-objects' addresses in the image. Each object's OBJ block
// declares its sub-objects in the order of its object table; the source of a
// sub-object is the file the declaration names, beside its parent's source.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

namespace brevin {

// One line of an OBJ block: `name[count] : "file"`.
struct ObjDeclaration {
  QString name;   // as declared, with its brackets ("node[NODES]")
  QString file;   // the quoted file name, without ".spin"
  int count = 1;  // the array size; 0 when it is a constant this reader cannot tell
};

// The OBJ declarations of a Spin source text, in order; comments are skipped.
std::vector<ObjDeclaration> ObjDeclarations(const QString& source);

// The sub-objects' names by hub address ("adc : spi_pasm"), read from the image
// bytes and the top object's source file, down through the sub-objects whose
// sources lie beside it. Empty when the source cannot be read.
std::map<std::int32_t, QString> SubObjectNames(const QByteArray& image, const QString& sourcePath);

}  // namespace brevin
