// Every message box of the shell goes through one replaceable prompt function,
// so tests answer the questions without a modal loop.
#pragma once

#include <QString>
#include <functional>

#include "brevin/host.h"

namespace brevin {

struct PromptRequest {
  QString title;
  QString text;  // line breaks are CR LF, as everywhere in the program
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::Information;
  // The button that Enter presses; Yes when not set for a Yes/No question.
  MessageAnswer defaultAnswer = MessageAnswer::Ok;
};

using PromptFunction = std::function<MessageAnswer(const PromptRequest&)>;

// Shows the message and returns the answer (Ok for a plain message).
MessageAnswer Prompt(const PromptRequest& request);
MessageAnswer Prompt(const QString& title, const QString& text, MessageButtons buttons, MessageIcon icon,
                     MessageAnswer defaultAnswer = MessageAnswer::Ok);

// Replaces the prompt; an empty function restores the real message box.
void SetPromptFunction(PromptFunction prompt);

// The real modal message box.
MessageAnswer ShowMessageBox(const PromptRequest& request);

// What the box shows for a text: the text itself, or, when lines hold a label,
// a TAB and a value, a two-column table, so the values line up whatever the
// labels' widths in the box's proportional font (a tab stop would not).
// Rich text is marked by its leading "<table".
QString MessageBoxText(const QString& text);

}  // namespace brevin
