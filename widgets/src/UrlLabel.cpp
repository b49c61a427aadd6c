#include "kdx/widgets/UrlLabel.h"

#include <QFontDatabase>
#include <QMouseEvent>

#include "kdx/platform/Shell.h"
#include "kdx/platform/Text.h"
#include "kdx/widgets/QtText.h"

namespace kdx::widgets {

namespace {

TUrlLabel::OpenUrlHandler& OpenHandler() {
  static TUrlLabel::OpenUrlHandler handler;
  return handler;
}

}  // namespace

TUrlLabel::TUrlLabel(QWidget* parent) : QLabel(parent) {
  SetFontColor(QColor(0, 0, 128));
  QFont f = font();
  f.setFamily(QFontDatabase::hasFamily(QStringLiteral("Tahoma")) ? QStringLiteral("Tahoma")
                                                                 : QStringLiteral("Arial"));
  setFont(f);
  setCursor(Qt::PointingHandCursor);
  detectMouse_ = true;  // the font style is left as it is
  underlineOnEnter_ = true;
  activeColor_ = QColor(0, 0, 255);
  inactiveColor_ = QColor(0, 0, 128);
  SetShowUrlHint(true);
}

void TUrlLabel::SetURL(const std::string& value) {
  fields_.URL = value;
  UpdateHint();
}

void TUrlLabel::SetURLType(TUrlType value) {
  fields_.URLType = value;
  UpdateHint();
}

void TUrlLabel::SetCustomURLType(const std::string& value) {
  fields_.CustomURLType = value;
}

void TUrlLabel::SetMailSubject(const std::string& value) {
  fields_.MailSubject = value;
  UpdateHint();
}

void TUrlLabel::SetMailBody(const std::vector<std::string>& lines) {
  fields_.MailBody = lines;
  UpdateHint();
}

void TUrlLabel::SetCc(const std::string& value) {
  fields_.Cc = value;
  UpdateHint();
}

void TUrlLabel::SetBcc(const std::string& value) {
  fields_.Bcc = value;
  UpdateHint();
}

void TUrlLabel::SetDetectMouse(bool value) {
  detectMouse_ = value;
  QFont f = font();
  f.setUnderline(!value);
  setFont(f);
}

void TUrlLabel::SetShowUrlHint(bool value) {
  showUrlHint_ = value;
  const QString target = FromCp(BuildUrl());
  if (value)
    setToolTip(target);
  else if (toolTip() == target)
    setToolTip(QString());
}

QColor TUrlLabel::FontColor() const {
  return palette().color(QPalette::WindowText);
}

void TUrlLabel::SetFontColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, color);
  setPalette(p);
}

std::string TUrlLabel::BuildUrl() const {
  return kdx::BuildUrl(fields_);
}

void TUrlLabel::OpenUrl(const std::string& target) {
  if (OpenHandler()) {
    OpenHandler()(target);
    return;
  }
  platform::ShellOpen(target);
}

TUrlLabel::ScopedOpenUrlHandlerForTesting::ScopedOpenUrlHandlerForTesting(OpenUrlHandler handler)
    : ScopedReplacement(OpenHandler(), std::move(handler)) {}

void TUrlLabel::UpdateHint() {
  if (showUrlHint_) setToolTip(FromCp(BuildUrl()));
}

// Exactly underline, or no style at all (bold and italic are dropped either way).
void TUrlLabel::SetFontStyle(bool underline) {
  QFont f = font();
  f.setBold(false);
  f.setItalic(false);
  f.setStrikeOut(false);
  f.setUnderline(underline);
  setFont(f);
}

void TUrlLabel::ShowEnterLook() {
  if (!detectMouse_) return;
  SetFontColor(activeColor_);
  if (underlineOnEnter_) SetFontStyle(true);
}

void TUrlLabel::ShowLeaveLook() {
  if (!detectMouse_) return;
  SetFontColor(inactiveColor_);
  SetFontStyle(false);
}

// The label reacts first, then the inherited handling runs, then the event is called.
void TUrlLabel::enterEvent(QEnterEvent* event) {
  ShowEnterLook();
  QLabel::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TUrlLabel::leaveEvent(QEvent* event) {
  ShowLeaveLook();
  QLabel::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TUrlLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

// A click is a left press and release over the label.
void TUrlLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) OpenUrl(BuildUrl());
}

}  // namespace kdx::widgets
