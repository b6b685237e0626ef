// One window per user for files opened from the file manager: a program
// started with a FILE while another copy runs for the same user (and the same
// settings) hands the FILE to that copy through a local socket, which opens it
// and raises its window, and ends without a window of its own.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace brevin {

// The socket beside the instance lock: per user, per settings file.
QString HandOverSocketName(const QString& settingsFileName);

// Sends the path to the copy listening on the socket and waits for its answer;
// false when nobody listens or nobody answered in time.
bool HandOverFile(const QString& socketName, const QString& path, int timeoutMs = 3000);

// The running copy's side: answers each hand-over and announces the file.
class FileHandOverServer : public QObject {
  Q_OBJECT

 public:
  explicit FileHandOverServer(QObject* parent = nullptr);
  ~FileHandOverServer() override;

  // Listens on the socket. A socket left behind by a copy that ended abnormally
  // is replaced; one that another copy still serves is left alone (false).
  bool Listen(const QString& socketName);

 signals:
  // Emitted after the sender had its answer, so a message box shown while the
  // file opens never holds the sender up.
  void fileHandedOver(const QString& path);

 private:
  void Serve();

  QLocalServer* server_;
};

}  // namespace brevin
