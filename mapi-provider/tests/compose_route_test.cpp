// The compose-window route: xdg-email opening a recording stand-in mail client, on every route
// xdg-email takes (a generic handler, KDE, GNOME, Thunderbird's -compose argument), hostile texts
// and file names, and the private copies of files whose paths the client cannot take.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <list>

#include "ProviderTestSupport.h"

namespace kdx::provider {
namespace {

using namespace kdx::provider::test;

TEST_F(ProviderTest, TheComposeWindowGetsEveryTextAsTextHostileOnesIncluded) {
  const std::string pwned = dir_ / "pwned";
  const std::string hostile =
      "'\"; touch " + pwned + "; `touch " + pwned + "` $(touch " + pwned + ")";
  const std::string path = File("a b;$(touch " + std::string("x") + ")'\"`.kdx", "data");
  Message m;
  m.subject = Cp("Přenos ") + hostile + "\nline two";
  m.body = "body " + hostile;
  m.recips = {{MAPI_TO, "ucetni@example.test", "SMTP:ucetni@example.test"},
              {MAPI_TO, "x", Cp("SMTP:přemysl.o+x=y@example.test")},
              {MAPI_CC, "c", "SMTP:cc@example.test"},
              {MAPI_BCC, "b", "bcc@example.test"},
              {MAPI_ORIG, "me", "SMTP:me@example.test"}};
  m.files = {{path, ""}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_LOGON_UI | MAPI_DIALOG), 0u);

  const std::string recorded = Recorded();
  ASSERT_FALSE(recorded.empty());
  const auto fields = MailtoFields(FirstLine(recorded));
  std::vector<std::string> to;
  for (auto [it, end] = fields.equal_range("to"); it != end; ++it) to.push_back(it->second);
  EXPECT_EQ(to, (std::vector<std::string>{"ucetni@example.test", "přemysl.o+x=y@example.test"}));
  EXPECT_EQ(fields.find("cc")->second, "cc@example.test");
  EXPECT_EQ(fields.find("bcc")->second, "bcc@example.test");
  EXPECT_EQ(fields.find("subject")->second, "Přenos " + hostile + "\r\nline two");
  EXPECT_EQ(fields.find("body")->second, "body " + hostile);
  // A path with quotes, blanks and shell syntax reaches the client as it is.
  EXPECT_EQ(fields.find("attach")->second, path);
  EXPECT_EQ(fields.count("me"), 0u);
  EXPECT_FALSE(fs::exists(pwned));
  EXPECT_FALSE(fs::exists(dir_ / "files/x"));

  // An address that is not one plain mailbox never reaches the client.
  for (const char* address : {"SMTP:q\"u;o$(id)`id`@example.test", "SMTP:a@x.test,b@x.test",
                              "SMTP:o'neil@x.test", "SMTP:a%2Cb@x.test", "SMTP:a\\b@x.test"}) {
    m.recips = {{MAPI_TO, "x", address}};
    EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG),
              static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT))
        << address;
  }
}

TEST_F(ProviderTest, EmptySubjectAndBodyAreLeftOutOfTheComposeWindow) {
  Message m;
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  EXPECT_EQ(Recorded(), "mailto:\n");
}

TEST_F(ProviderTest, WithoutAMailClientTheComposeWindowFails) {
  RemoveMailClient();
  Message m;
  m.recips = {{MAPI_TO, "a@example.test", "SMTP:a@example.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

// Whether the desktop's mailto: handler takes the attachment decides the route: a mail client
// that reads it gets the message, anything else (a browser's webmail, a program not found, no
// handler) is not started and the call answers "not supported". The user's own choice of mailer
// ($MAILER, an xdg-email-hook.sh) is taken as it is.
TEST_F(ProviderTest, OnlyAHandlerThatTakesTheAttachmentIsGivenTheMessage) {
  const std::string record = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD\"\n";
  for (const char* name : {"firefox", "chromium", "snap", "thunderbird", "icedove", "evolution",
                           "kmail", "sylpheed", "seamonkey", "my-mailer"}) {
    fs::permissions(dir_.WriteFile(std::string("bin/") + name, record), fs::perms::owner_all);
  }
  fs::create_directories(dir_ / "links");
  fs::create_symlink(dir_ / "bin/thunderbird", dir_ / "links/mail");
  fs::create_symlink(dir_ / "bin/snap", dir_ / "links/thunderbird");
  // As a browser installs itself: one .desktop file, the mailto: handler among its types.
  auto handler = [&](const std::string& exec) {
    WriteFile(dir_ / "data/applications/kdx-handler.desktop",
              "[Desktop Entry]\nType=Application\nName=Handler\nExec=" + exec +
                  "\nMimeType=text/html;x-scheme-handler/http;x-scheme-handler/https;"
                  "x-scheme-handler/mailto;\n\n[Desktop Action new-window]\nExec=evolution\n");
    WriteFile(dir_ / "config/mimeapps.list",
              "[Default Applications]\nx-scheme-handler/mailto=kdx-handler.desktop\n");
  };
  const std::string links = dir_ / "links";
  const struct {
    std::string exec;
    bool takes;
    const char* environment = nullptr;  // "MAILER" or "hook"
  } cases[] = {
      {"firefox %u", false},
      {dir_ / "bin/chromium" + " %U", false},
      {"no-such-program %u", false},
      {"", false},                         // no handler at all
      {links + "/thunderbird %u", false},  // a snap: the program run is snap
      {links + "/mail %u", true},          // Thunderbird under another name
      {"thunderbird %u", true},
      {"icedove %u", true},
      {"evolution %U", true},
      {"kmail -caption Kmail %u", true},
      {"sylpheed --compose %u", true},
      {"seamonkey -mail %u", true},
      {"firefox %u", true, "MAILER"},
      {"firefox %u", true, "hook"},
  };
  Message m;
  m.subject = "s";
  m.recips = {{MAPI_TO, "a", "SMTP:a@example.test"}};
  m.files = {{File("EXPORT.KDX", "data"), ""}};
  for (const auto& c : cases) {
    const std::string what = c.exec + (c.environment ? std::string(" with ") + c.environment : "");
    if (c.exec.empty()) {
      RemoveMailClient();
    } else {
      handler(c.exec);
    }
    std::optional<ScopedEnv> mailer;
    if (c.environment && std::string(c.environment) == "MAILER") {
      mailer.emplace("MAILER", dir_ / "bin/my-mailer");
    }
    if (c.environment && std::string(c.environment) == "hook") {
      fs::copy_file(dir_ / "bin/my-mailer", dir_ / "bin/xdg-email-hook.sh");
    }
    fs::remove(dir_ / "record");
    EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG),
              c.takes ? SUCCESS_SUCCESS : static_cast<KdxMapiUlong>(MAPI_E_NOT_SUPPORTED))
        << what;
    EXPECT_EQ(fs::exists(dir_ / "record"), c.takes) << what;
    if (c.takes) {
      EXPECT_NE(Recorded().find("EXPORT.KDX"), std::string::npos) << what;
    }
    fs::remove(dir_ / "bin/xdg-email-hook.sh");
  }
}

enum class Route { Generic, Kde, Gnome, ThunderbirdGeneric, ThunderbirdKde, ThunderbirdGnome3 };

std::string RouteName(const ::testing::TestParamInfo<Route>& info) {
  switch (info.param) {
    case Route::Generic:
      return "GenericHandler";
    case Route::Kde:
      return "Kde";
    case Route::Gnome:
      return "Gnome";
    case Route::ThunderbirdGeneric:
      return "ThunderbirdAsHandler";
    case Route::ThunderbirdKde:
      return "ThunderbirdOnKde";
    case Route::ThunderbirdGnome3:
      return "ThunderbirdOnLxde";
  }
  return "Unknown";
}

class ComposeRouteTest : public ProviderTest, public ::testing::WithParamInterface<Route> {
 protected:
  void SetUp() override {
    const std::string record = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD\"\n";
    auto program = [this](const char* name, const std::string& script) {
      fs::permissions(dir_.WriteFile(std::string("bin/") + name, script), fs::perms::owner_all);
    };
    const Route route = GetParam();
    thunderbird_ = route == Route::ThunderbirdGeneric || route == Route::ThunderbirdKde ||
                   route == Route::ThunderbirdGnome3;
    if (thunderbird_) {
      program("thunderbird", record);
      WriteFile(dir_ / "data/applications/kdx-test-mailer.desktop",
                "[Desktop Entry]\nType=Application\nName=Mail\n"
                "Exec=thunderbird %u\nMimeType=x-scheme-handler/mailto;\n");
    }
    if (route == Route::Kde || route == Route::ThunderbirdKde) {
      env_.emplace_back("XDG_CURRENT_DESKTOP", "KDE");
      env_.emplace_back("KDE_SESSION_VERSION", "5");
      program("kde-open5", record);
    }
    if (route == Route::ThunderbirdKde) {
      program("kreadconfig5",
              "#!/bin/sh\ncase \"$*\" in *EmailClient*) echo 'thunderbird %u';; "
              "*Profile*) echo Default;; esac\n");
    }
    if (route == Route::Gnome) env_.emplace_back("XDG_CURRENT_DESKTOP", "GNOME");
    if (route == Route::ThunderbirdGnome3) env_.emplace_back("XDG_CURRENT_DESKTOP", "LXDE");
    if (route == Route::Gnome) {
      program("gio", "#!/bin/sh\n[ \"$1\" = help ] && exit 0\n[ \"$1\" = open ] && shift\n" +
                         record.substr(10));
    }
  }

  Composed Received() const {
    const std::string recorded = Recorded();
    if (thunderbird_) {
      EXPECT_EQ(recorded.rfind("-compose\n", 0), 0u) << recorded;
      return FromComposeArgument(recorded.substr(9, recorded.size() - 10));
    }
    return FromMailto(FirstLine(recorded));
  }

  bool thunderbird_ = false;
  std::list<ScopedEnv> env_;
};

TEST_P(ComposeRouteTest, NoTextOrFileNameAddsARecipientAFieldOrAnotherFile) {
  ScopedEnv tmpdir("TMPDIR", dir_.MakeDir("tmp"));
  const std::string quoted = File("x',bcc='spy@evil.test',subject='hi.kdx", "quoted file");
  // The shell's echo in xdg-email reads "\0057" as "/": this name would turn into files/a/b.kdx.
  const std::string backslashed = File("a\\0057b.kdx", "backslash file");
  fs::create_directories(dir_ / "files/a");
  WriteFile(dir_ / "files/a/b.kdx", "decoy");
  const std::string comma = File("p,q.kdx", "comma file");
  const std::string plain = File("EXPORT 1.KDX", "plain file");
  Message m;
  // Two backslashes survive one echo as one, which the next echo reads as "&".
  m.subject = "s\\\\0046to=evil@x.test\\c',bcc='spy@evil.test',x='%41";
  m.body = "b\\\\0046bcc=spy2@evil.test&attach=/etc/passwd\nline";
  m.recips = {{MAPI_TO, "a", "SMTP:a@example.test"}, {MAPI_CC, "c", "SMTP:c@example.test"}};
  m.files = {{quoted, ""}, {backslashed, ""}, {comma, ""}, {plain, ""}};
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);

  const Composed c = Received();
  EXPECT_EQ(c.to, std::vector<std::string>{"a@example.test"});
  EXPECT_EQ(c.cc, std::vector<std::string>{"c@example.test"});
  EXPECT_TRUE(c.bcc.empty());
  EXPECT_EQ(c.subject, m.subject);
  EXPECT_EQ(c.body, "b\\\\0046bcc=spy2@evil.test&attach=/etc/passwd\r\nline");
  const std::set<std::string> expected =
      thunderbird_ ? std::set<std::string>{"to", "cc", "subject", "body", "attachment"}
                   : std::set<std::string>{"to", "cc", "subject", "body", "attach"};
  EXPECT_EQ(c.fields, expected);
  ASSERT_EQ(c.attachments.size(), 4u);
  EXPECT_EQ(ReadFile(c.attachments[0]), "quoted file");
  EXPECT_EQ(ReadFile(c.attachments[1]), "backslash file");
  EXPECT_EQ(ReadFile(c.attachments[2]), "comma file");
  EXPECT_EQ(c.attachments[3], plain);  // a plain path is handed over as it is

  fs::remove(dir_ / "record");
  m.files = {{plain, ""}};
  m.recips = {{MAPI_TO, "a", "SMTP:a@x.test',attachment='file:///etc/passwd',to='b@evil.test"}};
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG),
            static_cast<KdxMapiUlong>(MAPI_E_UNKNOWN_RECIPIENT));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

// Each file reaches the client under the name the recipient is to see: by its own path where
// every route carries that as it is, else as a copy under that name in a private folder of its
// own, with only what some route cannot carry replaced.
TEST_P(ComposeRouteTest, EachFileKeepsTheNameTheRecipientSees) {
  const std::string tmp = dir_.MakeDir("tmp");
  ScopedEnv tmpdir("TMPDIR", tmp);
  struct Row {
    std::string file;  // under files/
    std::string name;  // given for it; empty: none
    std::string seen;
    bool asItIs;  // its own path
  };
  const std::vector<Row> rows = {
      {"ENDS'", "", "ENDS_", false},  // the quote would end Thunderbird's field before the next
      {"FIRMA (1).KDX", "", "FIRMA (1).KDX", true},
      {"x'y \"z\" #1 %41 ;&$(id)`id` ~=?*[]!.KDX", "", "x'y \"z\" #1 %41 ;&$(id)`id` ~=?*[]!.KDX",
       true},
      {"PŘÍJEM ŽŠČ.KDX", "", "PŘÍJEM ŽŠČ.KDX", true},
      {"a,b/FIRMA (1).KDX", "", "FIRMA (1).KDX", false},
      {"c,d/FIRMA (1).KDX", "", "FIRMA (1).KDX", false},
      {"e,f\\g\th\ni\x7F.KDX", "", "e_f_g h i .KDX", false},
      {"file:x.KDX", "", "file_x.KDX", false},
      {"EXPORT.KDX", "PŘENOS 1.KDX", "PŘENOS 1.KDX", false},
      {"ODKAZ.KDX", "", "ODKAZ.KDX", false},  // a link to the file
  };
  dir_.MakeDir("files/a,b");
  dir_.MakeDir("files/c,d");
  fs::create_symlink(File("linked.KDX", ""), dir_ / "files/ODKAZ.KDX");
  Message m;
  std::vector<std::string> paths;
  for (const Row& row : rows) {
    paths.push_back(File(row.file, row.file));
    m.files.push_back({Cp(paths.back()), Cp(row.name)});
  }
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);

  const Composed c = Received();
  ASSERT_EQ(c.attachments.size(), rows.size());
  std::set<fs::path> folders;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const fs::path handed = c.attachments[i];
    EXPECT_EQ(handed.filename(), rows[i].seen) << rows[i].file;
    EXPECT_EQ(ReadFile(handed), rows[i].file);
    EXPECT_EQ(handed == paths[i], rows[i].asItIs) << handed;
    if (!rows[i].asItIs) {
      EXPECT_EQ(handed.parent_path().parent_path(), tmp) << handed;
      folders.insert(handed.parent_path());
    }
  }
  EXPECT_EQ(folders.size(), 7u);  // a folder for each copy
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, ComposeRouteTest,
                         ::testing::Values(Route::Generic, Route::Kde, Route::Gnome,
                                           Route::ThunderbirdGeneric, Route::ThunderbirdKde,
                                           Route::ThunderbirdGnome3),
                         RouteName);

// --- the private copies for the compose window ---------------------------------------------

// A file whose path the compose window cannot take as it is (here: a comma) goes over as a copy
// in a private folder. When the hand-off fails, that copy of a possibly sensitive file does not
// stay behind; a TMPDIR that names no folder means /tmp.
TEST_F(ProviderTest, NoPrivateCopyStaysBehindWhenTheHandOffFails) {
  const std::string tmp = dir_.MakeDir("tmp");
  ScopedEnv tmpdir("TMPDIR", tmp);
  Message m;
  m.recips = {{MAPI_TO, "", "SMTP:a@example.test"}};
  m.files = {{File("a,b.kdx", "secret"), ""}};
  // The mail client fails.
  const std::string mailer = ReadFile(dir_ / kStandInMailer);
  WriteFile(dir_ / kStandInMailer, "#!/bin/sh\nexit 1\n");
  EXPECT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), static_cast<KdxMapiUlong>(MAPI_E_FAILURE));
  EXPECT_TRUE(fs::is_empty(tmp));
  WriteFile(dir_ / kStandInMailer, mailer);

  // A later attachment cannot be copied (it is larger than this process may write): the copy
  // of the first goes too.
  {
    std::ofstream(dir_ / "files/c,d.kdx").close();
    fs::resize_file(dir_ / "files/c,d.kdx", 4 << 20);
    m.files.push_back({dir_ / "files/c,d.kdx", ""});
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit limited = before;
    limited.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &limited);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    const KdxMapiUlong result = provider_.Send(m.Build(), MAPI_DIALOG);
    signal(SIGXFSZ, oldHandler);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(result, static_cast<KdxMapiUlong>(MAPI_E_ATTACHMENT_WRITE_FAILURE));
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_FALSE(fs::exists(dir_ / "record"));
    m.files.pop_back();
  }

  // A TMPDIR that names a missing folder: the copy is made under /tmp.
  ScopedEnv missing("TMPDIR", dir_ / "no-such-folder");
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  const Composed c = FromMailto(FirstLine(Recorded()));
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(c.attachments[0].rfind("/tmp/kdx-mail-", 0), 0u) << c.attachments[0];
  EXPECT_EQ(ReadFile(c.attachments[0]), "secret");
  if (c.attachments[0].rfind("/tmp/kdx-mail-", 0) == 0) {
    fs::remove_all(fs::path(c.attachments[0]).parent_path());
  }
}

// A hand-off removes the copy folders that earlier ones left in the same folder a week ago or
// more; fresh ones and whatever this provider did not make there stay.
TEST_F(ProviderTest, AWeekOldCopyFolderGoesWithTheNextHandOff) {
  const std::string tmp = dir_.MakeDir("tmp");
  ScopedEnv tmpdir("TMPDIR", tmp);
  const std::string elsewhere = dir_.MakeDir("elsewhere");
  enum Kind { Folder, Link, PlainFile };
  struct Row {
    const char* name;
    Kind kind;
    fs::perms mode;
    int days;
    bool foreign;  // another user's (needs root to make)
    bool removed;
  };
  const auto rwx = fs::perms::owner_all;
  const std::vector<Row> rows = {
      {"kdx-mail-Ab3xY9", Folder, rwx, 8, false, true},
      {"kdx-mail-fresh1", Folder, rwx, 6, false, false},
      {"kdx-mail-other1", Folder, rwx, 8, true, false},
      {"kdx-mail-open01", Folder, rwx | fs::perms::group_read | fs::perms::group_exec, 8, false,
       false},
      {"kdx-mail-link01", Link, rwx, 8, false, false},
      {"kdx-mail-file01", PlainFile, fs::perms::owner_read, 8, false, false},
      {"kdx-mail-abc", Folder, rwx, 8, false, false},
      {"kdx-mail-abc_de", Folder, rwx, 8, false, false},
      {"kdx-mail-Ab3xY9Z", Folder, rwx, 8, false, false},
      {"kdx-post-Ab3xY9", Folder, rwx, 8, false, false},
  };
  const auto now = fs::file_time_type::clock::now();
  for (const Row& row : rows) {
    if (row.foreign && ::geteuid() != 0) continue;
    const fs::path path = fs::path(tmp) / row.name;
    if (row.kind == Link) {
      WriteFile(fs::path(elsewhere) / "copy.KDX", "linked");
      fs::create_directory_symlink(elsewhere, path);
      fs::last_write_time(elsewhere, now - std::chrono::days(row.days));
      continue;
    }
    if (row.kind == Folder) {
      fs::create_directory(path);
      WriteFile(path / "EXPORT.KDX", "copy");
    } else {
      WriteFile(path, "file");
    }
    fs::permissions(path, row.mode);
    if (row.foreign) {
      ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    fs::last_write_time(path, now - std::chrono::days(row.days));
  }
  Message m;
  ASSERT_EQ(provider_.Send(m.Build(), MAPI_DIALOG), 0u);
  for (const Row& row : rows) {
    if (row.foreign && ::geteuid() != 0) continue;
    EXPECT_EQ(fs::exists(fs::symlink_status(fs::path(tmp) / row.name)), !row.removed) << row.name;
  }
  EXPECT_EQ(ReadFile(fs::path(elsewhere) / "copy.KDX"), "linked");
}

}  // namespace
}  // namespace kdx::provider
