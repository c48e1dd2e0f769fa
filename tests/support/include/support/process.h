// Programs and calls under a time limit: a built program run with its
// standard streams captured, a call that must return in time (a call that
// hangs ends the test process with a failure instead of hanging the whole
// suite), scratch folders that take Qt's byte arrays, and deterministic
// garbage bytes.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support/files.h"
#include "support/gui_app.h"

namespace zindrel::testing {

inline bool RunningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return geteuid() == 0;
#endif
}

// A temporary folder that also writes Qt byte arrays and makes subfolders.
class Scratch : public TempFolder {
 public:
  using TempFolder::Write;
  std::string Write(const std::string& name, const QByteArray& bytes) const { return Write(name, bytes.toStdString()); }
  std::string MakeFolder(const std::string& name) const {
    std::filesystem::create_directories(Path(name));
    return Path(name);
  }
};

inline QByteArray ReadAll(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// Runs fn on a thread and waits at most `seconds`. A call that has not
// returned by then has hung: the process reports it and ends, since a thread
// stuck in a read cannot be stopped.
inline void WithinSeconds(int seconds, const char* what, std::function<void()> fn) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread worker([fn, done] {
    fn();
    done->store(true);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done->load() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!done->load()) {
    std::fprintf(stderr, "FAILED: %s did not return within %d s (hangs)\n", what, seconds);
    std::fflush(stderr);
    std::_Exit(1);
  }
  worker.join();
}

struct ProgramResult {
  bool started = false;
  bool finished = false;  // false: it hung and was killed
  bool crashed = false;
  int exitCode = -1;
  QByteArray out, err;
};

struct RunOptions {
  QByteArray input;    // written to standard input, which is then closed
  QString stdoutFile;  // standard output into this file instead of out
  QStringList unset;   // environment variables the program does not get
  QString workingDir;  // empty: this process's
  int seconds = 60;    // then the program is killed
};

inline ProgramResult RunProgram(const std::string& program, const QStringList& args, const RunOptions& options) {
  QProcess p;
  if (!options.workingDir.isEmpty()) p.setWorkingDirectory(options.workingDir);
  if (!options.stdoutFile.isEmpty()) p.setStandardOutputFile(options.stdoutFile);
  if (!options.unset.isEmpty()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : options.unset) environment.remove(name);
    p.setProcessEnvironment(environment);
  }
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(QString::fromStdString(program), args);
  ProgramResult r;
  r.started = p.waitForStarted(20000);
  if (!r.started) return r;
  p.write(options.input);
  p.closeWriteChannel();
  r.finished = p.waitForFinished(options.seconds * 1000);
  if (!r.finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  r.crashed = p.exitStatus() == QProcess::CrashExit;
  r.exitCode = p.exitCode();
  r.out = p.readAllStandardOutput();
  r.err = p.readAllStandardError();
  return r;
}

inline ProgramResult RunProgram(const std::string& program, const QStringList& args, int seconds = 60,
                                const QString& workingDir = {}) {
  RunOptions options;
  options.seconds = seconds;
  options.workingDir = workingDir;
  return RunProgram(program, args, options);
}

// Deterministic bytes for garbage inputs.
inline QByteArray Garbage(int size, uint32_t seed) {
  QByteArray out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (int i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x & 0xFF);
  }
  return out;
}

}  // namespace zindrel::testing

// The names as the hostile-input tests know them.
namespace zindrel::hostile {
using testing::BinDir;
using testing::EnsureGuiApp;
using testing::Garbage;
using testing::ProgramResult;
using testing::ReadAll;
using testing::RunningAsRoot;
using testing::RunOptions;
using testing::RunProgram;
using testing::Scratch;
using testing::WithinSeconds;
}  // namespace zindrel::hostile
