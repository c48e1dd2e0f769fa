// Helpers for the hostile-input tests: scratch folders with files made by the
// tests, a run of a program with a time limit, and a limit on how long a
// call may take (a call that hangs ends the test process with a failure
// instead of hanging the whole suite).
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support/files.h"
#include "support/gui_app.h"

namespace zindrel::hostile {

using testing::EnsureGuiApp;

inline bool RunningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return geteuid() == 0;
#endif
}

class Scratch {
 public:
  Scratch() { EXPECT_TRUE(dir_.isValid()); }
  std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }
  std::string Write(const std::string& name, const QByteArray& bytes) const {
    QFile f(QString::fromStdString(Path(name)));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name;
    EXPECT_EQ(f.write(bytes), bytes.size()) << name;
    return Path(name);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    return Write(name, QByteArray::fromStdString(bytes));
  }
  std::string MakeFolder(const std::string& name) const {
    QDir().mkpath(QString::fromStdString(Path(name)));
    return Path(name);
  }

 private:
  QTemporaryDir dir_;
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
  bool finished = false;  // false: it hung and was killed
  bool crashed = false;
  int exitCode = -1;
  QByteArray out, err;
};

using testing::BinDir;

inline ProgramResult RunProgram(const std::string& program, const QStringList& args, int seconds = 60,
                                const QString& workingDir = {}) {
  QProcess p;
  if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
  p.setProcessChannelMode(QProcess::SeparateChannels);
  p.start(QString::fromStdString(program), args);
  ProgramResult r;
  if (!p.waitForStarted(10000)) return r;
  p.closeWriteChannel();
  r.finished = p.waitForFinished(seconds * 1000);
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

}  // namespace zindrel::hostile
