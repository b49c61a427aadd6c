#pragma once
// TUrlLabel: a text label that behaves as a hyperlink. It shows a hand pointer, takes
// ActiveColor (and, with UnderlineOnEnter, an underline) while the mouse is over it and
// InactiveColor after it left, and on a click hands the target composed by BuildUrl to the
// shell's "open" verb. With ShowUrlHint its tooltip follows the composed target.
//
// Texts of the properties are cp1250 (the program's own text); the composition itself is the
// toolkit-free kdx::BuildUrl (platform/include/kdx/platform/Url.h).

#include <QColor>
#include <QLabel>
#include <functional>
#include <string>
#include <vector>

#include "kdx/platform/ScopedReplacement.h"
#include "kdx/platform/Url.h"

namespace kdx::widgets {

class TUrlLabel : public QLabel {
  Q_OBJECT
 public:
  using TNotifyEvent = std::function<void(QObject* sender)>;

  explicit TUrlLabel(QWidget* parent = nullptr);

  const std::string& URL() const { return fields_.URL; }
  void SetURL(const std::string& value);
  TUrlType URLType() const { return fields_.URLType; }
  void SetURLType(TUrlType value);
  const std::string& CustomURLType() const { return fields_.CustomURLType; }
  void SetCustomURLType(const std::string& value);  // does not update the tooltip
  const std::string& MailSubject() const { return fields_.MailSubject; }
  void SetMailSubject(const std::string& value);
  const std::vector<std::string>& MailBody() const { return fields_.MailBody; }
  void SetMailBody(const std::vector<std::string>& lines);  // copies the lines
  const std::string& Cc() const { return fields_.Cc; }
  void SetCc(const std::string& value);
  const std::string& Bcc() const { return fields_.Bcc; }
  void SetBcc(const std::string& value);

  bool DetectMouse() const { return detectMouse_; }
  // True removes the underline from the font, false adds it (a label that does not react to
  // the mouse is underlined for good).
  void SetDetectMouse(bool value);
  bool UnderlineOnEnter() const { return underlineOnEnter_; }
  void SetUnderlineOnEnter(bool value) { underlineOnEnter_ = value; }
  QColor ActiveColor() const { return activeColor_; }
  void SetActiveColor(const QColor& value) { activeColor_ = value; }
  QColor InactiveColor() const { return inactiveColor_; }
  void SetInactiveColor(const QColor& value) { inactiveColor_ = value; }
  bool ShowUrlHint() const { return showUrlHint_; }
  // True sets the tooltip to the composed target; false clears the tooltip only while it still
  // equals the composed target (a tooltip set by hand stays).
  void SetShowUrlHint(bool value);

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  // The font colour (the label's text colour).
  QColor FontColor() const;
  void SetFontColor(const QColor& color);

  // The target composed from the current properties (cp1250).
  std::string BuildUrl() const;
  // Hands `target` to the shell's "open" verb; the result is ignored.
  static void OpenUrl(const std::string& target);

  // Test hook: what OpenUrl does instead of starting the shell while the guard lives.
  using OpenUrlHandler = std::function<void(const std::string& target)>;
  class ScopedOpenUrlHandlerForTesting : platform::ScopedReplacement<OpenUrlHandler> {
   public:
    explicit ScopedOpenUrlHandlerForTesting(OpenUrlHandler handler);
  };

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void UpdateHint();
  void SetFontStyle(bool underline);
  void ShowEnterLook();
  void ShowLeaveLook();

  TUrlFields fields_;
  bool detectMouse_ = true;
  bool underlineOnEnter_ = true;
  QColor activeColor_;
  QColor inactiveColor_;
  bool showUrlHint_ = false;
  bool pressed_ = false;
};

}  // namespace kdx::widgets
