#include "window/notice_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace brevin {

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent) {
  setObjectName("NoticeBar");
  setAccessibleName("Notice");
  setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
  // The tool-tip colours: a quiet band that stands apart from the listing.
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
  colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
  setPalette(colours);

  text_ = new QLabel(this);
  text_->setObjectName("noticeText");
  text_->setWordWrap(true);
  text_->setTextFormat(Qt::PlainText);
  button_ = new QPushButton(this);
  button_->setObjectName("noticeButton");
  close_ = new QToolButton(this);
  close_->setObjectName("noticeClose");
  close_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  close_->setAutoRaise(true);
  close_->setToolTip("Hide this notice");
  close_->setAccessibleName("Hide this notice");

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 3, 3, 3);
  row->addWidget(text_, 1);
  row->addWidget(button_);
  row->addWidget(close_);

  connect(button_, &QPushButton::clicked, this, [this] {
    hide();
    emit accepted();
  });
  connect(close_, &QToolButton::clicked, this, &QWidget::hide);
  hide();
}

void NoticeBar::ShowNotice(const QString& text, const QString& button) {
  text_->setText(text);
  text_->setAccessibleName(text);
  button_->setText(button);
  button_->setAccessibleName(QString(button).remove('&'));
  setVisible(!text.isEmpty());
}

QString NoticeBar::Text() const { return isHidden() ? QString() : text_->text(); }

}  // namespace brevin
