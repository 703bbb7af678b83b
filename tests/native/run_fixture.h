#pragma once
// A whole run of Form1 over the fakes: every platform operation the run uses, sharing one
// journal, so tests can look at results and at the order of calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "fakes.h"
#include "run/Form1.h"

class RunTest : public ::testing::Test {
 protected:
  // Unless a test says otherwise, an uninstaller that runs removes its own entry, as it should.
  RunTest() {
    processes.onStart = [this](const Text& command) { registry.RemoveProgramsRunning(command); };
  }
  Form1 MakeForm(platform::Window& on, RunOptions options = {}) {
    return Form1({on, registry, processes, shell,
                  [this] {
                    ++filesystemsMade;
                    journal.push_back("new-fso");
                    return std::make_unique<fake::FileSystem>(disk, journal);
                  }},
                 log, options);
  }
  void Run(RunOptions options = {}) {
    Form1 form = MakeForm(window, options);
    form.Activated();
    exitCode = form.ExitCode();
    othersCouldChange = form.OthersCouldChange();
  }
  std::vector<Text>& Rows() { return window.lstKeys.rows; }
  bool Journaled(const std::string& entry) const {
    return std::find(journal.begin(), journal.end(), entry) != journal.end();
  }
  // Position of the first entry, or -1.
  long Position(const std::string& entry) const {
    auto it = std::find(journal.begin(), journal.end(), entry);
    return it == journal.end() ? -1 : static_cast<long>(it - journal.begin());
  }
  std::size_t Count(const std::string& entry) const {
    return static_cast<std::size_t>(std::count(journal.begin(), journal.end(), entry));
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& entry : journal)
      if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
    return found;
  }

  fake::Journal journal;
  fake::Disk disk;
  fake::Window window{disk, journal};
  fake::Registry registry{journal};
  fake::Processes processes{journal};
  fake::Shell shell{journal};
  fake::LogFile logFile;
  RunLog log{logFile};
  int filesystemsMade = 0;
  int exitCode = -1;
  std::optional<Text> othersCouldChange;  // as the run leaves it for the receipt
};
