// The "Go To" dialog: a label (any symbol, in any letter case) or a hub address
// written $1A2B or 1A2B. Enter goes there; an unknown text is named in the dialog.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;

namespace brevin {

class GoToDialog : public QDialog {
  Q_OBJECT

 public:
  // resolve: the text -> the listing line to go to, or none.
  using Resolver = std::function<std::optional<int>(const QString&)>;
  GoToDialog(Resolver resolve, QWidget* parent = nullptr);

  QLineEdit* Input() const { return input_; }
  QLabel* Problem() const { return problem_; }

 signals:
  void lineChosen(int line);

 public slots:
  void accept() override;

 private:
  Resolver resolve_;
  QLineEdit* input_;
  QLabel* problem_;
};

}  // namespace brevin
