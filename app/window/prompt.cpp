#include "window/prompt.h"

#include <QApplication>
#include <QMessageBox>

namespace brevin {

namespace {

PromptFunction& CurrentPrompt() {
  static PromptFunction prompt;
  return prompt;
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Critical: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton BoxButton(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::Ok: return QMessageBox::Ok;
    case MessageAnswer::Yes: return QMessageBox::Yes;
    case MessageAnswer::No: return QMessageBox::No;
    case MessageAnswer::Cancel: return QMessageBox::Cancel;
  }
  return QMessageBox::NoButton;
}

}  // namespace

QString MessageBoxText(const QString& text) {
  QString plain = text;
  plain.replace("\r\n", "\n");
  if (!plain.contains('\t')) return plain;
  QString table = "<table cellspacing=\"0\" cellpadding=\"0\">";
  for (const QString& line : plain.split('\n')) {
    const qsizetype tab = line.indexOf('\t');
    if (tab < 0) {
      table += "<tr><td colspan=\"2\">" + (line.isEmpty() ? QString("&nbsp;") : line.toHtmlEscaped()) + "</td></tr>";
    } else {
      table += "<tr><td style=\"padding-right: 12px\">" + line.left(tab).toHtmlEscaped() + "</td><td>" +
               line.mid(tab + 1).toHtmlEscaped() + "</td></tr>";
    }
  }
  return table + "</table>";
}

MessageAnswer ShowMessageBox(const PromptRequest& request) {
  const QString shown = MessageBoxText(request.text);
  QMessageBox box(BoxIcon(request.icon), request.title, shown, QMessageBox::NoButton, QApplication::activeWindow());
  box.setTextFormat(shown.startsWith("<table") ? Qt::RichText : Qt::PlainText);
  box.setAccessibleName(request.title);
  MessageAnswer fallback = MessageAnswer::Ok;
  switch (request.buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      fallback = MessageAnswer::No;
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      fallback = MessageAnswer::Cancel;
      break;
  }
  MessageAnswer preferred = request.defaultAnswer;
  if (request.buttons != MessageButtons::Ok && preferred == MessageAnswer::Ok) preferred = MessageAnswer::Yes;
  box.setDefaultButton(BoxButton(preferred));
  switch (box.exec()) {
    case QMessageBox::Ok: return MessageAnswer::Ok;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: return fallback;  // closed by Escape or the title bar
  }
}

MessageAnswer Prompt(const PromptRequest& request) {
  if (CurrentPrompt()) return CurrentPrompt()(request);
  return ShowMessageBox(request);
}

MessageAnswer Prompt(const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon,
                     MessageAnswer defaultAnswer) {
  return Prompt(PromptRequest{title, text, buttons, icon, defaultAnswer});
}

void SetPromptFunction(PromptFunction prompt) { CurrentPrompt() = std::move(prompt); }

}  // namespace brevin
