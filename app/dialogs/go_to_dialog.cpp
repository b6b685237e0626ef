#include "dialogs/go_to_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace brevin {

GoToDialog::GoToDialog(Resolver resolve, QWidget* parent) : QDialog(parent), resolve_(std::move(resolve)) {
  setObjectName("GoToDialog");
  setWindowTitle("Go To");
  setAccessibleName("Go To");
  auto* layout = new QVBoxLayout(this);
  auto* prompt = new QLabel("&Label or address ($1A2B):", this);
  input_ = new QLineEdit(this);
  input_->setObjectName("GoToText");
  input_->setAccessibleName("Label or address");
  prompt->setBuddy(input_);
  problem_ = new QLabel(this);
  problem_->setObjectName("GoToProblem");
  problem_->setAccessibleName("Go To problem");
  problem_->setStyleSheet("color: #a00000");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &GoToDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &GoToDialog::reject);
  connect(input_, &QLineEdit::textEdited, problem_, &QLabel::clear);
  layout->addWidget(prompt);
  layout->addWidget(input_);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
}

void GoToDialog::accept() {
  const QString text = input_->text().trimmed();
  if (text.isEmpty()) return;
  const std::optional<int> line = resolve_(text);
  if (!line) {
    problem_->setText("No label or address " + text);
    input_->selectAll();
    return;
  }
  problem_->clear();
  QDialog::accept();
  emit lineChosen(*line);
}

}  // namespace brevin
