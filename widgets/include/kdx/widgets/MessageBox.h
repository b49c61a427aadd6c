#pragma once
// The program's modal message boxes: one entry point for every box the windows show (the
// Czech "Chyba" / "Informace" / "Dotaz" boxes, the grid's "Confirm" box, the general error box),
// with a replaceable handler so that tests answer boxes without a nested event loop.

#include <QString>
#include <functional>
#include <vector>

#include "kdx/platform/ScopedReplacement.h"

class QWidget;

namespace kdx::widgets {

enum class MsgIcon { None, Error, Information, Question, Warning };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

struct MessageRequest {
  QWidget* parent = nullptr;
  QString text;
  QString caption;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
};

using MessageHandler = std::function<MsgResult(const MessageRequest&)>;

// Shows a modal box and returns the button pressed. Closing the box with Esc or its close
// button answers Cancel (OK+Cancel), No (Yes+No) or Ok (OK alone).
MsgResult ShowMessage(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok);

// Test hook: while the guard lives, ShowMessage calls `handler` instead of showing a box; an
// empty handler shows the real boxes.
class ScopedMessageHandlerForTesting : platform::ScopedReplacement<MessageHandler> {
 public:
  explicit ScopedMessageHandlerForTesting(MessageHandler handler);
};

// Test hook: while alive, records every request and answers from `answers` in turn (then with
// the default answer of the box's button set).
class ScopedMessageRecorderForTesting {
 public:
  explicit ScopedMessageRecorderForTesting(std::vector<MsgResult> answers = {});

  const std::vector<MessageRequest>& Requests() const { return requests_; }
  void Answer(std::vector<MsgResult> answers) {
    answers_ = std::move(answers);
    next_ = 0;
  }

 private:
  std::vector<MessageRequest> requests_;
  std::vector<MsgResult> answers_;
  size_t next_ = 0;
  ScopedMessageHandlerForTesting handler_;  // last: gone before what it records into
};

}  // namespace kdx::widgets
