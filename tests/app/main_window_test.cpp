#include "app/main_window.h"

#include <stdlib.h>

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/access_token.h"
#include "app/media_player.h"
#include "app/qt_text.h"
#include "tests/app/scripted_service.h"
#include "tests/app/tone_mp3.h"
#include "tests/support/temp_dir.h"

namespace sonavel {
namespace {

using testing::QueryValue;
using testing::ScriptedService;
using testing::TempDir;

TEST(CentredTopLeft, HalvesTheSpareRoomTowardZero) {
  struct Case {
    QRect screen;
    QPoint want;
  };
  const std::vector<Case> cases = {
      {{0, 0, 1024, 768}, {330, 294}},
      {{0, 0, 1366, 768}, {501, 294}},
      {{0, 0, 1025, 769}, {330, 295}},       // 661 / 2 and 590 / 2, truncated
      {{1920, 0, 1280, 1024}, {2378, 422}},  // a second screen to the right
      {{0, 0, 364, 179}, {0, 0}},
      {{0, 0, 300, 100}, {-32, -39}},  // -64 / 2 and -79 / 2: toward zero, not down
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.screen.width());
    EXPECT_EQ(CentredTopLeft(c.screen, kOuterSize), c.want);
  }
}

TEST(ClientSizeFor, LeavesTheOuterSizeAt364By179) {
  struct Case {
    QMargins frame;
    QSize want;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0, 0}, {364, 179}},     {{3, 26, 3, 3}, {358, 150}},  // a fixed dialog frame
      {{1, 24, 1, 1}, {362, 154}},    {{4, 30, 4, 4}, {356, 145}},
      {{30, 80, 30, 30}, {328, 120}},  // never smaller than the controls need
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame.top());
    EXPECT_EQ(ClientSizeFor(c.frame), c.want);
  }
}

TEST(ToAnsiText, ConvertsTheBoxContentToCodePage936) {
  struct Case {
    QString box;
    Text want;
  };
  const std::vector<Case> cases = {
      {QString(), ""},
      {QStringLiteral("abc"), "abc"},
      {QStringLiteral("   "), "   "},
      {QStringLiteral("你好"), "\xC4\xE3\xBA\xC3"},
      {QStringLiteral("请输入您想播放的内容"), kEmptyBoxPrompt},
      {QStringLiteral("a\u0E01b"), "a?b"},      // a Thai letter: not in code page 936
      {QStringLiteral("x\U0001F600y"), "x?y"},  // one character outside the BMP
      {QStringLiteral("\u3000"), "\xA1\xA1"},   // the full-width space
      {QStringLiteral("€"), "\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box.toStdString());
    EXPECT_EQ(ToAnsiText(c.box), c.want);
  }
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : window_(service_.Service()) {
    box_ = window_.findChild<QLineEdit*>(QStringLiteral("编辑框1"));
    button_ = window_.findChild<QPushButton*>(QStringLiteral("按钮1"));
  }

  ScriptedService service_;
  MainWindow window_;
  QLineEdit* box_ = nullptr;
  QPushButton* button_ = nullptr;
};

TEST_F(MainWindowTest, IsAFixedWindowTitledSonavelCentredOnTheScreen) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("SonavelV1.0"));
  EXPECT_EQ(window_.objectName(), QStringLiteral("MainWindow"));

  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_TRUE(window_.isWindow());
  for (const Qt::WindowType wanted : {Qt::WindowTitleHint, Qt::WindowSystemMenuHint,
                                      Qt::WindowMinimizeButtonHint, Qt::WindowCloseButtonHint}) {
    EXPECT_TRUE(flags.testFlag(wanted)) << wanted;
  }
  for (const Qt::WindowType unwanted :
       {Qt::WindowMaximizeButtonHint, Qt::WindowStaysOnTopHint, Qt::FramelessWindowHint,
        Qt::WindowContextHelpButtonHint, Qt::Tool}) {
    EXPECT_FALSE(flags.testFlag(unwanted)) << unwanted;
  }
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
  EXPECT_EQ(window_.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
  EXPECT_EQ(window_.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

  // The outer size is 364 x 179 whatever the frame (the offscreen platform
  // reports one of 2 pixels a side); the client area is what is left.
  const QRect outer = window_.frameGeometry();
  const QRect inner = window_.geometry();
  const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom());
  EXPECT_EQ(outer.size(), QSize(364, 179));
  EXPECT_EQ(window_.size(), ClientSizeFor(frame));
  EXPECT_EQ(window_.minimumSize(), ClientSizeFor(frame));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(outer.topLeft(), CentredTopLeft(screen, QSize(364, 179)));

  // Trying to resize changes nothing; moving keeps the size.
  const QSize client = window_.size();
  window_.resize(500, 400);
  EXPECT_EQ(window_.size(), client);
  window_.move(10, 20);
  QTest::qWait(20);
  EXPECT_EQ(window_.frameGeometry(), QRect(10, 20, 364, 179));

  EXPECT_EQ(window_.findChild<QMenuBar*>(), nullptr);
  EXPECT_FALSE(window_.testAttribute(Qt::WA_SetPalette));
  EXPECT_FALSE(window_.testAttribute(Qt::WA_SetFont));
}

TEST_F(MainWindowTest, HoldsTheThreeControlsByName) {
  ASSERT_NE(box_, nullptr);
  ASSERT_NE(button_, nullptr);
  EXPECT_EQ(box_->geometry(), QRect(16, 40, 312, 32));
  EXPECT_EQ(button_->geometry(), QRect(80, 88, 152, 32));

  QObject* player = window_.findChild<QObject*>(QStringLiteral("媒体播放1"));
  ASSERT_NE(player, nullptr);
  EXPECT_NE(qobject_cast<MediaPlayer*>(player), nullptr);
  EXPECT_EQ(qobject_cast<QWidget*>(player), nullptr);  // no surface, no focus
  EXPECT_EQ(player->parent(), &window_);

  // Nothing but the two controls draws in the window.
  EXPECT_EQ(window_.findChildren<QWidget*>().size(), 2);
}

TEST_F(MainWindowTest, TheEditBoxIsOneFramedLineWithTheGreetingAndTheCaretAtTheStart) {
  ASSERT_NE(box_, nullptr);
  EXPECT_EQ(box_->text(), QString::fromUtf8(kGreeting));
  EXPECT_FALSE(box_->text().contains(QLatin1Char('\n')));
  EXPECT_EQ(ToAnsiText(box_->text()).find('?'), std::string::npos);  // code page 936 holds it
  EXPECT_EQ(box_->cursorPosition(), 0);
  EXPECT_FALSE(box_->hasSelectedText());
  EXPECT_TRUE(box_->hasFrame());
  EXPECT_EQ(box_->maxLength(), std::numeric_limits<int>::max());
  EXPECT_EQ(box_->echoMode(), QLineEdit::Normal);
  EXPECT_FALSE(box_->isReadOnly());
  EXPECT_TRUE(box_->inputMask().isEmpty());
  EXPECT_EQ(box_->validator(), nullptr);
  EXPECT_TRUE(box_->alignment().testFlag(Qt::AlignLeft));
  EXPECT_EQ(box_->focusPolicy(), Qt::StrongFocus);

  // Longer than Qt's own default limit of 32767 characters, and it scrolls.
  const QString longText(40000, QLatin1Char('x'));
  box_->setText(longText);
  EXPECT_EQ(box_->text().size(), 40000);
}

TEST_F(MainWindowTest, TheButtonIsAnOrdinaryPushButtonCaptioned按钮) {
  ASSERT_NE(button_, nullptr);
  EXPECT_EQ(button_->text(), QStringLiteral("按钮"));
  EXPECT_FALSE(button_->isDefault());
  EXPECT_FALSE(button_->autoDefault());
  EXPECT_FALSE(button_->isCheckable());
  EXPECT_FALSE(button_->isFlat());
  EXPECT_TRUE(button_->icon().isNull());
  EXPECT_EQ(button_->focusPolicy(), Qt::StrongFocus);
}

TEST_F(MainWindowTest, FocusStartsInTheBoxAndTheSelectionGoesWithIt) {
  window_.show();
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  ASSERT_NE(box_, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), box_);
  EXPECT_FALSE(box_->hasSelectedText());

  box_->selectAll();
  EXPECT_TRUE(box_->hasSelectedText());
  QTest::keyClick(&window_, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), button_);
  EXPECT_FALSE(box_->hasSelectedText());      // not shown while the box has no focus
  QTest::keyClick(&window_, Qt::Key_Return);  // not a default button: Return does not click
  EXPECT_TRUE(service_.SpeechRequests().empty());
}

// Clicking 按钮1 with the real window, player and an HTTPS service on loopback.
class ClickTest : public MainWindowTest {
 protected:
  void SetUp() override {
    if (const char* old = getenv("TMPDIR")) saved_ = old;
    setenv("TMPDIR", temp_.path().c_str(), 1);
    service_.SetSpeechAnswer({200, "audio/mp3", testing::ToneMp3(0.3), {}});
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  void TearDown() override {
    if (saved_) {
      setenv("TMPDIR", saved_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  // Clicks the button and returns the tex value of the speech request it made.
  std::string Click() {
    const std::size_t before = service_.SpeechRequests().size();
    QTest::mouseClick(button_, Qt::LeftButton);
    const auto speech = service_.SpeechRequests();
    if (speech.size() != before + 1) return "(no request)";
    EXPECT_EQ(QueryValue(speech.back().target, "per"), "4");
    return QueryValue(speech.back().target, "tex");
  }

  TempDir temp_;
  std::optional<std::string> saved_;
};

TEST_F(ClickTest, SpeaksTheBoxContentOrThePromptWithVoice4) {
  ASSERT_NE(button_, nullptr);
  struct Case {
    const char* name;
    std::optional<QString> box;  // nullopt: as the window starts
    std::string tex;
  };
  const std::vector<Case> cases = {
      {"greeting", std::nullopt,
       "%E4%BD%A0%E5%A5%BD%EF%BC%81%E8%AF%B7%E5%9C%A8%E8%BF%99%E9%87%8C%E8%BE%93%E5%85%A5%E6%83%B3"
       "%E8%A6%81%E6%9C%97%E8%AF%BB%E7%9A%84%E6%96%87%E5%AD%97%E3%80%82"},
      {"empty", QString(),
       "%E8%AF%B7%E8%BE%93%E5%85%A5%E6%82%A8%E6%83%B3%E6%92%AD%E6%94%BE%E7%9A%84%E5%86%85%E5%AE%"
       "B9"},
      {"blanks", QStringLiteral("  "), "%20%20"},
      {"full-width blank", QStringLiteral("\u3000"), "%E3%80%80"},
      {"abc", QStringLiteral("abc"), "%61%62%63"},
      {"outside code page 936", QStringLiteral("a\u0E01"), "%61%3F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.box) box_->setText(*c.box);
    EXPECT_EQ(Click(), c.tex);
    EXPECT_TRUE(temp_.Files().empty());
  }
  EXPECT_EQ(service_.TokenRequests().size(), cases.size());
  EXPECT_EQ(AccessToken, "tok-" + std::to_string(cases.size()));
}

TEST_F(ClickTest, NothingTheServiceSendsChangesTheWindow) {
  ASSERT_NE(button_, nullptr);
  const std::vector<testing::Answer> answers = {
      {200, "audio/mp3", "", {}},
      {200, "audio/mp3", std::string(std::size_t{50} << 20, '\x00'), {}},
      {200, "audio/mp3", "this is no mp3 at all", {}},
      {500, "application/json", R"({"err_no":500,"err_msg":"internal error"})", {}},
  };
  box_->setText(QStringLiteral("abc"));
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.body.substr(0, 20));
    service_.SetSpeechAnswer(answer);
    EXPECT_EQ(Click(), "%61%62%63");
    QTest::qWait(50);  // let the player take it in
    EXPECT_TRUE(window_.isVisible());
    EXPECT_EQ(QApplication::topLevelWidgets().size(), 1);  // no message box
    EXPECT_EQ(window_.frameGeometry().size(), QSize(364, 179));
    EXPECT_EQ(box_->text(), QStringLiteral("abc"));
    EXPECT_TRUE(temp_.Files().empty());
  }
}

}  // namespace
}  // namespace sonavel
