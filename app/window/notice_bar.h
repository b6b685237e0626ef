// A line above the listing that tells the reader something about the listing
// and what to do about it, with a button that does it and one that hides the
// line. The status bar is hidden by default, so what a reader must see to act
// on is said here.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class QToolButton;

namespace brevin {

class NoticeBar : public QFrame {
  Q_OBJECT

 public:
  explicit NoticeBar(QWidget* parent = nullptr);

  // Shows the text with a button that says what it does; an empty text hides the bar.
  void ShowNotice(const QString& text, const QString& button);
  QString Text() const;
  QPushButton* Button() const { return button_; }
  QToolButton* CloseButton() const { return close_; }

 signals:
  // The button was pressed; the bar hides itself.
  void accepted();

 private:
  QLabel* text_;
  QPushButton* button_;
  QToolButton* close_;
};

}  // namespace brevin
