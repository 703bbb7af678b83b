#pragma once
// What a run would do on this PC, found without doing any of it (/list): the registry only
// read, nothing started, closed or deleted. Before sending a removal to many PCs, and after
// it, an administrator learns which PCs still have the suite.
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "run/RunLog.h"

struct Inventory {
  std::vector<Text> lines;    // the report, an item a line, in Spanish
  bool suitePresent = false;  // a run would remove something: a component, data, a file
};

// As the run that would follow with the same switches (someoneCanAnswer: which command each
// component would be removed with): each component with the command that run would hand over,
// the suite's programs running that it would close, the data folder with its files, each
// executable the sweep would delete and each shortcut on every desktop; also the suite in
// users' own lists, which it would leave (reported as a warning, not as something a run
// removes). Each line is logged too.
Inventory TakeInventory(platform::Registry& registry, platform::Processes& processes,
                        platform::Shell& shell, platform::FileSystem& files, RunLog& log,
                        bool someoneCanAnswer, const Text& logPath = Text());
