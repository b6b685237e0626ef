#include "desktop/file_hand_over.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "instance_guard.h"

namespace brevin {

namespace {

constexpr qsizetype kMaxPathBytes = 64 * 1024;  // a longer "path" is not one
constexpr char kAnswer[] = "OK\n";

}  // namespace

QString HandOverSocketName(const QString& settingsFileName) {
  QString name = QFile::decodeName(platform::InstanceLockPath(QFile::encodeName(settingsFileName).toStdString()).c_str());
  if (name.endsWith(".lock")) name.chop(5);
  return name + ".socket";
}

bool HandOverFile(const QString& socketName, const QString& path, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(socketName);
  if (!socket.waitForConnected(timeoutMs)) return false;
  // The receiver runs in another folder: the path goes over absolute.
  socket.write(QFileInfo(path).absoluteFilePath().toUtf8() + '\n');
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (!socket.waitForReadyRead(timeoutMs)) return false;
    answer += socket.readAll();
  }
  return answer == kAnswer;
}

FileHandOverServer::FileHandOverServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  setObjectName("FileHandOverServer");
  // Only this user may connect.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &FileHandOverServer::Serve);
}

FileHandOverServer::~FileHandOverServer() = default;

bool FileHandOverServer::Listen(const QString& socketName) {
  // Listening replaces an existing socket file (the access rights are set on a
  // temporary one that is then renamed): ask first whether a copy answers there.
  QLocalSocket probe;
  probe.connectToServer(socketName);
  if (probe.waitForConnected(500)) return false;  // another copy serves it
  QLocalServer::removeServer(socketName);
  return server_->listen(socketName);
}

void FileHandOverServer::Serve() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A sender that never finishes its line is dropped.
    QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxPathBytes) socket->abort();
        return;
      }
      const QString path = QString::fromUtf8(socket->readLine()).chopped(1);
      socket->write(kAnswer);
      socket->flush();
      if (path.isEmpty()) return;
      QTimer::singleShot(0, this, [this, path] { emit fileHandedOver(path); });
    });
  }
}

}  // namespace brevin
