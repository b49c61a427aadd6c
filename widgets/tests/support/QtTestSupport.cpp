#include "QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace kdx::test {

TempFolder::TempFolder() {
  if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
  path_ = QDir::toNativeSeparators(QFileInfo(dir_.path()).canonicalFilePath() + "/").toStdString();
}

std::string TempFolder::MakeFolder(const std::string& relative) const {
  const QString path = QString::fromStdString(path_ + relative);
  if (!QDir().mkpath(path)) throw std::runtime_error("cannot make " + path.toStdString());
  return QDir::toNativeSeparators(path + "/").toStdString();
}

void TempFolder::WriteFile(const std::string& path, const std::string& contents) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(contents.data(), static_cast<qint64>(contents.size())) !=
          static_cast<qint64>(contents.size()))
    throw std::runtime_error("cannot write " + path);
}

std::string TempFolder::ReadFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : name_(name), had_(qEnvironmentVariableIsSet(name)) {
  if (had_) old_ = qgetenv(name);
  if (value)
    qputenv(name, QByteArray(value));
  else
    qunsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    qputenv(name_.c_str(), old_);
  else
    qunsetenv(name_.c_str());
}

}  // namespace kdx::test
