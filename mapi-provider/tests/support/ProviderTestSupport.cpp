#include "ProviderTestSupport.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace kdx::provider::test {

Provider::Provider() : handle_(dlopen(Path(), RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) throw std::runtime_error(dlerror());
  send_ = reinterpret_cast<LPMAPISENDMAIL>(dlsym(handle_, "MAPISendMail"));
}

Provider::~Provider() {
  dlclose(handle_);
}

const char* Provider::Path() {
  const char* other = std::getenv("KDX_PROVIDER_UNDER_TEST");
  return other && *other ? other : KDX_PROVIDER;
}

void* Provider::Symbol(const char* name) const {
  return dlsym(handle_, name);
}

KdxMapiUlong Provider::Send(MapiMessage* message, KdxMapiFlags flags) const {
  return send_(0, 0, message, flags, 0);
}

MapiMessage* Message::Build() {
  recipDescs_.clear();
  fileDescs_.clear();
  for (Recip& r : recips) {
    recipDescs_.push_back(MapiRecipDesc{
        0, r.cls, r.name.data(), r.address.empty() ? nullptr : r.address.data(), 0, nullptr});
  }
  for (File& f : files) {
    fileDescs_.push_back(MapiFileDesc{0, 0, 0xFFFFFFFFu, f.path.data(),
                                      f.name.empty() ? nullptr : f.name.data(), nullptr});
  }
  message_ = MapiMessage{};
  message_.lpszSubject = subject.data();
  message_.lpszNoteText = body.data();
  message_.nRecipCount = static_cast<KdxMapiUlong>(recipDescs_.size());
  message_.lpRecips = recipDescs_.empty() ? nullptr : recipDescs_.data();
  message_.nFileCount = static_cast<KdxMapiUlong>(fileDescs_.size());
  message_.lpFiles = fileDescs_.empty() ? nullptr : fileDescs_.data();
  return &message_;
}

BareDesktop::BareDesktop(const TempDir& dir)
    : path("PATH", dir / "bin" + ":/usr/bin:/bin"),
      home("HOME", dir.Path()),
      config("XDG_CONFIG_HOME", dir / "config"),
      data("XDG_DATA_HOME", dir / "data"),
      dataDirs("XDG_DATA_DIRS", dir / "none"),
      browser("BROWSER", dir / "no-browser"),
      record("KDX_TEST_RECORD", dir / "record"),
      desktop("XDG_CURRENT_DESKTOP", std::nullopt),
      session("DESKTOP_SESSION", std::nullopt),
      kde("KDE_FULL_SESSION", std::nullopt),
      gnome("GNOME_DESKTOP_SESSION_ID", std::nullopt),
      mailer("MAILER", std::nullopt) {}

SmtpSink::SmtpSink(const std::string& folder, const std::string& behaviour) : folder_(folder) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> args = {"/usr/bin/python3", KDX_SMTP_SINK, folder, behaviour};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdin_ = in[1];
  if (rc != 0) throw std::runtime_error("cannot start the SMTP sink");
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) throw std::runtime_error("the SMTP sink did not start (python3-aiosmtpd?)");
}

SmtpSink::~SmtpSink() {
  close(stdin_);
  int status;
  waitpid(pid_, &status, 0);
}

std::string SmtpSink::Message(int n) const {
  return ReadFile(folder_ + "/" + std::to_string(n) + ".eml");
}

std::string SmtpSink::Recipients(int n) const {
  return ReadFile(folder_ + "/" + std::to_string(n) + ".rcpt");
}

int SmtpSink::Count() const {
  int n = 0;
  while (fs::exists(folder_ + "/" + std::to_string(n + 1) + ".eml")) ++n;
  return n;
}

ProviderTest::ProviderTest() {
  dir_.MakeDir("bin");
  dir_.MakeDir("config/msmtp");
  dir_.MakeDir("data/applications");
  dir_.MakeDir("sink");
  dir_.MakeDir("files");
  // The stand-in mail client: records its arguments, one per line. It bears the name of a mail
  // client that takes attachments from a mailto: URI, as the provider tells them by name.
  kdx::test::WriteFile(dir_ / kStandInMailer,
                       "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$KDX_TEST_RECORD\"\n");
  fs::permissions(dir_ / kStandInMailer, fs::perms::owner_all);
  kdx::test::WriteFile(dir_ / "data/applications/kdx-test-mailer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Test mailer\n"
                       "Exec=claws-mail %u\nMimeType=x-scheme-handler/mailto;\n");
  kdx::test::WriteFile(dir_ / "config/mimeapps.list",
                       "[Default Applications]\nx-scheme-handler/mailto=kdx-test-mailer.desktop\n");
}

void ProviderTest::UseSendmail(int port) {
  kdx::test::WriteFile(dir_ / "config/msmtp/config",
                       "account default\nhost 127.0.0.1\nport " + std::to_string(port) +
                           "\nfrom kdx@example.test\nauth off\ntls off\n");
  fs::permissions(dir_ / "config/msmtp/config", fs::perms::owner_read | fs::perms::owner_write);
  if (!fs::is_symlink(dir_ / "bin/sendmail"))
    fs::create_symlink("/usr/bin/msmtp", dir_ / "bin/sendmail");
}

void ProviderTest::RemoveMailClient() {
  fs::remove(dir_ / "config/mimeapps.list");
  fs::remove(dir_ / "data/applications/kdx-test-mailer.desktop");
}

std::string ProviderTest::Recorded() const {
  return ReadFile(dir_ / "record");
}

std::string ProviderTest::File(const std::string& name, const std::string& bytes) {
  return dir_.WriteFile("files/" + name, bytes);
}

std::string AllBytes() {
  std::string bytes;
  for (int round = 0; round < 300; ++round) {
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>((b * 7 + round) & 0xFF);
  }
  return bytes;
}

}  // namespace kdx::provider::test
