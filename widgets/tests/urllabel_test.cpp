// TUrlLabel: initial values, the tooltip rules, the mouse look, and the click that opens the
// composed target.

#include "kdx/widgets/UrlLabel.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QTest>

#include "kdx/platform/Text.h"

using kdx::widgets::TUrlLabel;

namespace {

void Enter(TUrlLabel& label) {
  QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QCoreApplication::sendEvent(&label, &e);
}

void Leave(TUrlLabel& label) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(&label, &e);
}

}  // namespace

class UrlLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void initialValues() {
    TUrlLabel label;
    QCOMPARE(label.URL(), std::string());
    QCOMPARE(label.URLType(), kdx::utCustom);
    QCOMPARE(label.CustomURLType(), std::string());
    QVERIFY(label.MailBody().empty());
    QVERIFY(label.DetectMouse());
    QVERIFY(label.UnderlineOnEnter());
    QVERIFY(label.ShowUrlHint());
    QCOMPARE(label.ActiveColor(), QColor(0, 0, 255));
    QCOMPARE(label.InactiveColor(), QColor(0, 0, 128));
    QCOMPARE(label.FontColor(), QColor(0, 0, 128));
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(label.toolTip(), QString());
    QVERIFY(!label.font().underline());  // construction leaves the style alone
    const QString expected =
        QFontDatabase::hasFamily("Tahoma") ? QString("Tahoma") : QString("Arial");
    QCOMPARE(label.font().family(), expected);
  }

  void tooltipFollowsTheComposedTarget() {
    TUrlLabel label;
    label.SetURLType(kdx::utHttp);
    label.SetURL("www.example.cz");
    QCOMPARE(label.toolTip(), QString("http://www.example.cz"));
    label.SetURLType(kdx::utMail);
    label.SetURL("a@b.cz");
    label.SetMailSubject(kdx::text::Utf8ToCp1250("Dotaz č. 1"));
    label.SetMailBody({kdx::text::Utf8ToCp1250("Dobrý den"), ""});
    label.SetBcc("x@b.cz");
    label.SetCc("c@b.cz");
    QCOMPARE(label.toolTip(), QString("mailto:a@b.cz?Subject=Dotaz č. 1&Body=Dobrý den%0A%0D"
                                      "%0A%0D&Bcc=x@b.cz&Cc=c@b.cz"));

    // CustomURLType is stored without touching the tooltip.
    TUrlLabel custom;
    custom.SetURL("host");
    custom.SetCustomURLType("callto:");
    QCOMPARE(custom.toolTip(), QString("host"));
    QCOMPARE(custom.BuildUrl(), std::string("callto:host"));
  }

  void switchingTheHintOffKeepsATooltipSetByHand() {
    TUrlLabel label;
    label.SetURL("host");
    label.SetShowUrlHint(false);
    QCOMPARE(label.toolTip(), QString());
    label.SetURL("other");  // no longer followed
    QCOMPARE(label.toolTip(), QString());
    label.setToolTip("by hand");
    label.SetShowUrlHint(true);
    QCOMPARE(label.toolTip(), QString("other"));
    label.setToolTip("by hand");
    label.SetShowUrlHint(false);
    QCOMPARE(label.toolTip(), QString("by hand"));
  }

  void hoverUnderlinesAndColoursThenLeavesItPlain() {
    TUrlLabel label;
    QFont bold = label.font();
    bold.setBold(true);
    bold.setItalic(true);
    label.setFont(bold);
    QStringList calls;
    label.OnMouseEnter = [&](QObject* sender) {
      QCOMPARE(sender, &label);
      calls << QString("enter %1").arg(label.FontColor().name());
    };
    label.OnMouseLeave = [&](QObject*) {
      calls << QString("leave %1").arg(label.FontColor().name());
    };

    Enter(label);
    QCOMPARE(label.FontColor(), QColor(0, 0, 255));
    QVERIFY(label.font().underline());
    QVERIFY(!label.font().bold() && !label.font().italic());
    Leave(label);
    QCOMPARE(label.FontColor(), QColor(0, 0, 128));
    QVERIFY(!label.font().underline() && !label.font().bold());
    QCOMPARE(calls, QStringList({"enter #0000ff", "leave #000080"}));  // after the look changed

    label.SetUnderlineOnEnter(false);
    label.SetActiveColor(Qt::red);
    Enter(label);
    QCOMPARE(label.FontColor(), QColor(Qt::red));
    QVERIFY(!label.font().underline());
  }

  void withoutMouseDetectionTheLabelStaysUnderlinedAndItsColour() {
    TUrlLabel label;
    int events = 0;
    label.OnMouseEnter = [&](QObject*) { ++events; };
    label.OnMouseLeave = [&](QObject*) { ++events; };
    label.SetDetectMouse(false);
    QVERIFY(label.font().underline());
    label.SetFontColor(Qt::darkGreen);
    Enter(label);
    Leave(label);
    QCOMPARE(label.FontColor(), QColor(Qt::darkGreen));
    QVERIFY(label.font().underline());
    QCOMPARE(events, 2);
    label.SetDetectMouse(true);
    QVERIFY(!label.font().underline());
  }

  void aClickOpensTheComposedTargetUnchanged() {
    std::vector<std::string> opened;
    const TUrlLabel::ScopedOpenUrlHandlerForTesting shell(
        [&](const std::string& t) { opened.push_back(t); });
    TUrlLabel label;
    label.setText("link");
    label.resize(80, 20);
    label.SetURLType(kdx::utMail);
    label.SetURL("a b@c.cz");
    label.SetMailSubject("x&y");
    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(5, 5));  // only the left button
    QCOMPARE(opened, std::vector<std::string>{"mailto:a b@c.cz?Subject=x&y"});
  }
};

QTEST_MAIN(UrlLabelTest)
#include "urllabel_test.moc"
