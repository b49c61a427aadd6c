#include "kdx/widgets/MessageBox.h"

#include <QMessageBox>

namespace kdx::widgets {

namespace {

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

MsgResult DefaultAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel:
      return MsgResult::Cancel;
    case MsgButtons::YesNo:
      return MsgResult::No;
    default:
      return MsgResult::Ok;
  }
}

MsgResult ShowRealBox(const MessageRequest& r) {
  QMessageBox box(r.parent);
  box.setWindowTitle(r.caption);
  box.setText(r.text);
  box.setTextFormat(Qt::PlainText);
  switch (r.icon) {
    case MsgIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MsgIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::None:
      break;
  }
  switch (r.buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return MsgResult::Ok;
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    case QMessageBox::Cancel:
      return MsgResult::Cancel;
    default:
      return DefaultAnswer(r.buttons);
  }
}

}  // namespace

MsgResult ShowMessage(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                      MsgButtons buttons) {
  const MessageRequest request{parent, text, caption, icon, buttons};
  if (Handler()) return Handler()(request);
  return ShowRealBox(request);
}

ScopedMessageHandlerForTesting::ScopedMessageHandlerForTesting(MessageHandler handler)
    : ScopedReplacement(Handler(), std::move(handler)) {}

ScopedMessageRecorderForTesting::ScopedMessageRecorderForTesting(std::vector<MsgResult> answers)
    : answers_(std::move(answers)), handler_([this](const MessageRequest& r) {
        requests_.push_back(r);
        if (next_ < answers_.size()) return answers_[next_++];
        return DefaultAnswer(r.buttons);
      }) {}

}  // namespace kdx::widgets
