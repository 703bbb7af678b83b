#pragma once
// Hand-written fakes of the platform headers: they hold state the way the real platform does
// and record the calls whose order or arguments the tests look at.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <algorithm>

#include "platform/files.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window.h"

namespace fake {

// Every observable call, in order, across all fakes of one test ("msgbox:<text>", ...).
using Journal = std::vector<std::string>;

inline std::string Narrow(const Text& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class ListBox final : public platform::ListBox {
 public:
  explicit ListBox(Journal& journal) : journal_(journal) {}
  void Clear() override { rows.clear(); }
  void AddItem(const Text& row) override { rows.push_back(row); }
  int ListCount() const override { return static_cast<int>(rows.size()); }
  Text List(int index) const override { return rows.at(static_cast<std::size_t>(index)); }
  void SetListIndex(int index) override {
    selected = index;
    journal_.push_back("select:" + std::to_string(index));
  }

  std::vector<Text> rows;
  int selected = -1;

 private:
  Journal& journal_;
};

// The disk: folders and files by full path, compared without regard to letter case; a file
// can be read-only.
class Disk {
 public:
  void AddFolder(const Text& path) { entries_[UpperCase(path)] = {path, true, false}; }
  void AddFile(const Text& path, bool readOnly = false) {
    entries_[UpperCase(path)] = {path, false, readOnly};
  }
  // A link to a folder elsewhere: it shows as a folder, but is a link.
  void AddFolderLink(const Text& path) { entries_[UpperCase(path)] = {path, true, false, true}; }
  // Another program holds the file open: it cannot be deleted while it does.
  void Hold(const Text& path, bool held = true) { entries_.at(UpperCase(path)).held = held; }
  bool IsHeld(const Text& path) const {
    auto it = entries_.find(UpperCase(path));
    return it != entries_.end() && it->second.held;
  }
  bool IsLink(const Text& path) const {
    auto it = entries_.find(UpperCase(path));
    return it != entries_.end() && it->second.link;
  }
  std::vector<Text> LinksUnder(const Text& folder) const {
    std::vector<Text> links;
    for (const auto& [key, entry] : entries_)
      if (entry.link && key.rfind(UpperCase(folder) + u'\\', 0) == 0) links.push_back(entry.path);
    return links;
  }
  // What taking c:\kavro over finds besides its links (entries that refuse, say).
  platform::TakeOver takeOver;
  bool logFilesRefused = false;  // no log file can be made for msiexec
  bool HasFile(const Text& path) const { return Has(path, false); }
  bool HasFolder(const Text& path) const { return Has(path, true); }

  // The entries directly in a folder, as its listing shows them, in name order.
  std::vector<platform::Entry> EntriesIn(const Text& folder) const {
    const Text prefix = UpperCase(folder) + u'\\';
    std::vector<platform::Entry> entries;
    for (const auto& [key, entry] : entries_) {
      if (key.rfind(prefix, 0) == 0 && key.find(u'\\', prefix.size()) == Text::npos)
        entries.push_back({entry.path.substr(prefix.size()), entry.folder, entry.link});
    }
    return entries;
  }

  std::size_t FilesUnder(const Text& folder) const {
    const Text prefix = UpperCase(folder) + u'\\';
    return static_cast<std::size_t>(std::count_if(
        entries_.begin(), entries_.end(),
        [&](const auto& e) { return !e.second.folder && e.first.rfind(prefix, 0) == 0; }));
  }

  // Names of the files directly in a folder, in name order.
  std::vector<Text> FilesIn(const Text& folder) const {
    const Text prefix = UpperCase(folder) + u'\\';
    std::vector<Text> names;
    for (const auto& [key, entry] : entries_) {
      if (!entry.folder && key.rfind(prefix, 0) == 0 && key.find(u'\\', prefix.size()) == Text::npos)
        names.push_back(entry.path.substr(prefix.size()));
    }
    std::sort(names.begin(), names.end(),
              [](const Text& a, const Text& b) { return UpperCase(a) < UpperCase(b); });
    return names;
  }

  void Remove(const Text& path) {
    auto it = entries_.find(UpperCase(path));
    if (it == entries_.end()) throw platform::Error{2, u"No se encuentra el archivo."};
    if (it->second.readOnly) throw platform::Error{5, u"Acceso denegado."};
    entries_.erase(it);
  }
  // Removes everything under the folder, then the folder, but held files and the folders above
  // them (named in `held`), and folders more than kDeepestLevel below `start` with everything
  // in them (named in `tooDeep`); stops at the first read-only file, leaving what was already
  // removed removed. Returns the files removed.
  std::size_t RemoveTree(const Text& folder, std::vector<Text>& held, std::vector<Text>& tooDeep,
                         const Text& start) {
    const Text top = UpperCase(folder);
    const Text prefix = top + u'\\';
    std::set<Text> kept;
    const auto keep = [&](const Text& key) {
      for (Text above = key; above.size() > top.size(); above.resize(above.rfind(u'\\')))
        kept.insert(above);
      kept.insert(top);
    };
    std::vector<Text> deep;
    for (const auto& [key, entry] : entries_) {
      if (key.rfind(prefix, 0) != 0) continue;
      const auto levels = static_cast<std::size_t>(
          std::count(key.begin() + static_cast<long>(start.size()), key.end(), u'\\'));
      if (entry.folder && levels == platform::kDeepestLevel + 1) {
        tooDeep.push_back(entry.path);
        deep.push_back(key + u'\\');
        keep(key);
      } else if (entry.held) {
        held.push_back(entry.path);
        keep(key);
      }
    }
    std::size_t files = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
      const bool under = std::any_of(deep.begin(), deep.end(),
                                     [&](const Text& d) { return it->first.rfind(d, 0) == 0; });
      if (it->first.rfind(prefix, 0) != 0 || kept.count(it->first) || under) {
        ++it;
        continue;
      }
      if (it->second.readOnly) throw platform::Error{5, u"Acceso denegado."};
      files += !it->second.folder;
      it = entries_.erase(it);
    }
    if (!kept.count(top)) Remove(folder);
    return files;
  }

 private:
  struct Entry {
    Text path;
    bool folder;
    bool readOnly;
    bool link = false;
    bool held = false;
  };
  bool Has(const Text& path, bool folder) const {
    auto it = entries_.find(UpperCase(path));
    return it != entries_.end() && it->second.folder == folder;
  }
  std::map<Text, Entry> entries_;
};

// A folder of the fake disk, held: its entries and their removal, journaled as deletions.
class Folder final : public platform::Folder {
 public:
  Folder(Disk& disk, Journal& journal, Text path) :
      disk_(disk), journal_(journal), path_(std::move(path)) {}
  const Text& path() const { return path_; }
  std::vector<platform::Entry> Entries() override { return disk_.EntriesIn(path_); }
  std::size_t CountFiles(const platform::Entry& entry) override {
    if (!entry.folder || entry.link) return entry.folder ? 0 : 1;
    return disk_.FilesUnder(path_ + u'\\' + entry.name);
  }
  std::optional<platform::Removal> Remove(const platform::Entry& entry, bool force) override {
    const Text path = path_ + u'\\' + entry.name;
    const bool folder = entry.folder && !entry.link;
    journal_.push_back((folder ? "delete-folder:" : "delete-file:") + Narrow(path) +
                       (force ? " force" : ""));
    if (!disk_.HasFile(path) && !disk_.HasFolder(path)) return std::nullopt;
    platform::Removal removal;
    if (folder) {
      removal.files = disk_.RemoveTree(path, removal.held, removal.tooDeep, UpperCase(path_));
    } else if (disk_.IsHeld(path)) {
      removal.held.push_back(path);
    } else {
      disk_.Remove(path);  // a file, or a link as itself
      removal.files = entry.folder ? 0u : 1u;
    }
    return removal;
  }

 private:
  Disk& disk_;
  Journal& journal_;
  Text path_;
};

class FileSystem final : public platform::FileSystem {
 public:
  FileSystem(Disk& disk, Journal& journal) : disk_(disk), journal_(journal) {}
  bool FileExists(const Text& path) override { return disk_.HasFile(path); }
  bool DeleteFile(const Text& path, bool force) override {
    journal_.push_back("delete-file:" + Narrow(path) + (force ? " force" : ""));
    if (disk_.IsHeld(path)) return false;
    disk_.Remove(path);
    return true;
  }
  bool FolderExists(const Text& path) override { return disk_.HasFolder(path); }
  bool IsLink(const Text& path) override { return disk_.IsLink(path); }
  std::optional<platform::TakeOver> TakeOverFolder(const Text& path,
                                                   const platform::TakeOverAsked& asked) override {
    journal_.push_back("take-over:" + Narrow(path));
    if (!disk_.takeOver.refused.empty()) return disk_.takeOver;  // refused whole, at its first look
    if (disk_.IsLink(path)) return std::nullopt;
    if (!disk_.HasFolder(path)) {
      if (!asked.holdName) return std::nullopt;
      disk_.AddFolder(path);
      platform::TakeOver made;
      made.made = true;
      return made;
    }
    platform::TakeOver taken = disk_.takeOver;
    for (const Text& link : disk_.LinksUnder(path)) {
      disk_.Remove(link);
      taken.linksRemoved.push_back(link);
    }
    return taken;
  }
  bool RemoveIfEmpty(const Text& path) override {
    journal_.push_back("remove-if-empty:" + Narrow(path));
    if (!disk_.HasFolder(path) || !disk_.EntriesIn(path).empty()) return false;
    disk_.Remove(path);
    return true;
  }
  std::optional<platform::Error> MakeLogFile(const Text& path) override {
    journal_.push_back("make-log:" + Narrow(path));
    if (disk_.logFilesRefused) return platform::Error{5, u"Acceso denegado."};
    disk_.AddFile(path);
    return std::nullopt;
  }

  platform::HeldFolder HoldFolder(const Text& path) override {
    journal_.push_back("hold:" + Narrow(path));
    platform::HeldFolder held;
    if (disk_.IsLink(path)) {
      held.link = true;
    } else if (disk_.HasFolder(path)) {
      held.folder = std::make_unique<Folder>(disk_, journal_, path);
    }
    return held;
  }

 private:
  Disk& disk_;
  Journal& journal_;
};

class Shell final : public platform::Shell {
 public:
  explicit Shell(Journal& journal) : journal_(journal) {}
  std::optional<Text> DesktopFolder(platform::Desktop which) override {
    journal_.push_back(which == platform::Desktop::User ? "desktop" : "desktop:public");
    return which == platform::Desktop::User ? desktop : publicDesktop;
  }
  std::optional<Text> desktop = u"C:\\users\\ana\\Desktop";  // nothing: the user has none
  std::optional<Text> publicDesktop = u"C:\\users\\Public\\Desktop";

 private:
  Journal& journal_;
};

// File1 over a held folder of the fake disk.
class FileListBox final : public platform::FileListBox {
 public:
  explicit FileListBox(Journal& journal) : journal_(journal) {}
  void SetFolder(platform::Folder& folder) override {
    journal_.push_back("file1.path:" + Narrow(static_cast<Folder&>(folder).path()));
    folder_ = &folder;
    names_.clear();
  }
  void SetPattern(const Text& pattern) override {
    journal_.push_back("file1.pattern:" + Narrow(pattern));
    names_.clear();
    for (const platform::Entry& entry : folder_->Entries())
      if (platform::Listed(entry, pattern)) names_.push_back(entry.name);
    if (afterListing) afterListing();
  }
  int ListCount() const override { return static_cast<int>(names_.size()); }
  Text List(int index) const override { return names_.at(static_cast<std::size_t>(index)); }

  // What happens to the disk right after the listing is taken (another process at work).
  std::function<void()> afterListing;

 private:
  Journal& journal_;
  platform::Folder* folder_ = nullptr;
  std::vector<Text> names_;
};

// The run's log: its lines, without the platform's timestamps.
class LogFile final : public platform::LogFile {
 public:
  void Append(const Text& text, platform::Severity severity) override {
    lines.push_back(text);
    severities.push_back(severity);
  }
  bool Has(const Text& part) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const Text& line) { return line.find(part) != Text::npos; });
  }
  std::vector<Text> lines;
  std::vector<platform::Severity> severities;  // of each line
};

class Window final : public platform::Window {
 public:
  Window(Disk&, Journal& journal) : lstKeys(journal), file1(journal), journal_(journal) {}
  platform::ListBox& LstKeys() override { return lstKeys; }
  platform::FileListBox& File1() override { return file1; }
  void MsgBox(const Text& text, int style, const std::optional<Text>& title) override {
    messages.push_back({text, style, title});
    journal_.push_back("msgbox:" + Narrow(text));
  }
  void DoEvents() override {
    ++pumps;
    journal_.push_back("pump");
    if (onPump) onPump();
  }
  void Unload() override {
    ++unloads;
    journal_.push_back("unload");
  }
  void ShowErrorBox(const platform::Error& error) override {
    errors.push_back(error);
    journal_.push_back("errorbox:" + std::to_string(error.number));
  }

  struct Message {
    Text text;
    int style;
    std::optional<Text> title;
  };
  ListBox lstKeys;
  FileListBox file1;
  std::vector<Message> messages;
  std::vector<platform::Error> errors;
  int pumps = 0;
  int unloads = 0;
  std::function<void()> onPump;

 private:
  Journal& journal_;
};

// The registry as a table of keys, each with its subkeys in the order the provider hands them
// over and its values as raw data, in two views. Paths are compared without regard to
// letter case.
class Registry final : public platform::Registry {
 public:
  explicit Registry(Journal& journal) : journal_(journal) {}

  using View = platform::RegistryView;
  static inline const Text kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

  // UTF-16LE data with its terminating NUL, as the registry stores a string value.
  static std::vector<std::uint8_t> Sz(const Text& text) {
    std::vector<std::uint8_t> data;
    for (char16_t c : text + u'\0') {
      data.push_back(static_cast<std::uint8_t>(c & 0xFF));
      data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return data;
  }

  // An installed program: a subkey of the installed-programs key with its two values (a
  // value given as nullopt is left out).
  void AddProgram(const Text& subkey, std::optional<Text> displayName,
                  std::optional<Text> uninstallString, View view = View::ThirtyTwoBit) {
    auto& values = AddKey(kUninstall, subkey, view);
    if (displayName) values[UpperCase(u"DisplayName")] = Sz(*displayName);
    if (uninstallString) values[UpperCase(u"UninstallString")] = Sz(*uninstallString);
  }

  void SetValue(const Text& subkey, const Text& valueName, const Text& text) {
    keys_[Id(kUninstall + u'\\' + subkey, View::ThirtyTwoBit)].values[UpperCase(valueName)] =
        Sz(text);
  }

  std::map<Text, std::vector<std::uint8_t>>& AddKey(const Text& parent, const Text& subkey,
                                                    View view = View::ThirtyTwoBit) {
    keys_[Id(parent, view)].subkeys.push_back(subkey);
    return keys_[Id(parent + u'\\' + subkey, view)].values;
  }

  bool HasSixtyFourBitView() override { return sixtyFourBitView; }

  std::optional<std::vector<Text>> EnumKey(platform::HiveHandle hive, const Text& keyPath,
                                           View view) override {
    journal_.push_back("enum:" + Narrow(keyPath) + (view == View::SixtyFourBit ? " 64" : ""));
    if (providerFails || providerTimesOut) return std::nullopt;
    if (names && view == View::ThirtyTwoBit) return *names;
    return Subkeys(hive, keyPath, view);
  }

  bool ProviderTimedOut() const override { return providerTimesOut; }

  std::vector<Text> EnumKeyDirect(platform::HiveHandle hive, const Text& keyPath, View view) override {
    journal_.push_back("enum-direct:" + Narrow(keyPath) + (view == View::SixtyFourBit ? " 64" : ""));
    return Subkeys(hive, keyPath, view);
  }

  std::optional<platform::Value> QueryValue(platform::HiveHandle hive, const Text& keyPath,
                                            const Text& valueName, View view) override {
    const Text path = UpperCase(keyPath);
    journal_.push_back("read:" + Narrow(path.substr(path.rfind(u'\\') + 1)) + "/" + Narrow(valueName));
    auto key = keys_.find(Id(InHive(hive, keyPath), view));
    if (!Known(hive) || key == keys_.end()) return std::nullopt;
    auto value = key->second.values.find(UpperCase(valueName));
    if (value == key->second.values.end()) return std::nullopt;
    const bool expandable = key->second.expandable.count(UpperCase(valueName)) > 0;
    return platform::Value{expandable ? platform::kRegExpandSz : 1u, value->second};
  }

  bool KeyExists(platform::HiveHandle hive, const Text& keyPath, View view) override {
    return hive == platform::kHkeyLocalMachine && keys_.count(Id(keyPath, view)) > 0;
  }

  // An uninstaller at work: the entry of each installed program with this command goes.
  void RemoveProgramsRunning(const Text& command) {
    for (View view : {View::ThirtyTwoBit, View::SixtyFourBit}) {
      const std::vector<Text> subkeys = keys_[Id(kUninstall, view)].subkeys;
      for (const Text& subkey : subkeys) {
        const auto& values = keys_[Id(kUninstall + u'\\' + subkey, view)].values;
        const auto value = values.find(UpperCase(u"UninstallString"));
        if (value != values.end() && value->second == Sz(command)) RemoveProgram(subkey, view);
      }
    }
  }
  void RemoveProgram(const Text& subkey, View view = View::ThirtyTwoBit) {
    keys_.erase(Id(kUninstall + u'\\' + subkey, view));
    auto& siblings = keys_[Id(kUninstall, view)].subkeys;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), subkey), siblings.end());
  }
  void MakeExpandable(const Text& subkey, const Text& valueName) {
    keys_[Id(kUninstall + u'\\' + subkey, View::ThirtyTwoBit)].expandable.insert(UpperCase(valueName));
  }

  // When set, the names the provider hands over in the 32-bit view, whatever the key.
  std::optional<std::vector<Text>> names;
  bool providerFails = false;     // the management provider cannot be reached
  bool providerTimesOut = false;  // it does not answer in time
  bool sixtyFourBitView = true;   // 64-bit Windows

 private:
  struct Key {
    std::vector<Text> subkeys;
    std::map<Text, std::vector<std::uint8_t>> values;
    std::set<Text> expandable;
  };
  static Text Id(const Text& path, View view) {
    return (view == View::SixtyFourBit ? u"64|" : u"32|") + UpperCase(path);
  }
  // Keys of HKEY_USERS are kept under that name; those of HKEY_LOCAL_MACHINE as their path.
  static constexpr platform::HiveHandle kUsers = static_cast<platform::HiveHandle>(0x80000003u);
  static bool Known(platform::HiveHandle hive) {
    return hive == platform::kHkeyLocalMachine || hive == kUsers;
  }
  static Text InHive(platform::HiveHandle hive, const Text& keyPath) {
    if (hive != kUsers) return keyPath;
    return keyPath.empty() ? Text(u"HKEY_USERS") : u"HKEY_USERS\\" + keyPath;
  }
  std::vector<Text> Subkeys(platform::HiveHandle hive, const Text& keyPath, View view) {
    auto it = keys_.find(Id(InHive(hive, keyPath), view));
    if (!Known(hive) || it == keys_.end()) return {};
    return it->second.subkeys;
  }

  std::map<Text, Key> keys_;
  Journal& journal_;
};

// Processes that run by script: each command can be refused, or end after the window has had
// input a given number of times, or have a wait that fails. Every step is journaled.
class Processes final : public platform::Processes {
 public:
  struct Script {
    int inputsBeforeEnd = 0;
    bool waitFails = false;
    std::uint32_t exitCode = 0;
    std::vector<Text> descendants;  // what it started and was waited for
    bool hangs = false;             // never ends by itself (waits for an answer nobody gives)
  };

  explicit Processes(Journal& journal) : journal_(journal) {}

  std::unique_ptr<platform::ProcessReach> ReachAllProcesses() override {
    struct Reach final : platform::ProcessReach {
      explicit Reach(Journal& journal) : journal(journal) { journal.push_back("reach-all"); }
      ~Reach() override { journal.push_back("reach-all:end"); }
      Journal& journal;
    };
    return std::make_unique<Reach>(journal_);
  }
  std::vector<platform::RunningProgram> RunningFrom(const Text& folder) override {
    journal_.push_back("running-from:" + Narrow(folder));
    return running;
  }
  std::vector<platform::Closing> Close(const std::vector<platform::RunningProgram>& programs,
                                       std::chrono::milliseconds grace,
                                       const std::function<void()>&, bool told) override {
    journal_.push_back(
        "close-programs:" + std::to_string(programs.size()) + " " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(grace).count()) + "s" +
        (told ? " told" : ""));
    if (onClose) onClose();
    std::vector<platform::Closing> result(programs.size(), platform::Closing::Closed);
    for (platform::Closing& closing : result)
      if (closingsUsed < closings.size()) closing = closings[closingsUsed++];
    return result;
  }
  std::size_t closingsUsed = 0;  // of `closings`, given out in turn

  std::uint32_t OwnSession() override { return 0; }  // a SYSTEM run, in session 0
  std::optional<platform::Error> Notify(std::uint32_t session, const Text&, const Text& text,
                                        std::chrono::seconds timeout) override {
    journal_.push_back("notify:" + std::to_string(session) + " " +
                       std::to_string(timeout.count()) + "s " + Narrow(text));
    return noticeFails;
  }
  std::optional<platform::Error> noticeFails;  // why no notice can be given, when set
  platform::Connection ConnectionOf(std::uint32_t) override { return connection; }
  platform::Connection connection = platform::Connection::Active;  // of every session

  std::unique_ptr<platform::Process> Start(const Text& program, const Text& commandLine,
                                           std::uint8_t show, bool administratorsOnly) override {
    journal_.push_back("start:" + Narrow(commandLine));
    if (administratorsOnly && replaceable.count(program)) return nullptr;
    started.push_back({commandLine, show, program});
    if (onStart) onStart(commandLine);
    // Like the platform, an empty command line starts nothing.
    if (commandLine.empty() || refused.count(commandLine)) return nullptr;
    const auto script = scripts.find(commandLine);
    return std::make_unique<Process>(journal_, script == scripts.end() ? Script{} : script->second);
  }

  struct Started {
    Text command;
    std::uint8_t show;
    Text program;
  };
  bool IsFile(const Text&) override { return true; }  // every program file exists
  Text ExpandEnvironment(const Text& text) override {
    Text expanded = text;
    for (const auto& [name, value] : environment) {
      for (std::size_t at; (at = expanded.find(u'%' + name + u'%')) != Text::npos;)
        expanded.replace(at, name.size() + 2, value);
    }
    return expanded;
  }

  Text SystemFolder() override { return u"C:\\Windows\\system32"; }
  // The shipped 32-bit program on 64-bit Windows, or the 64-bit build standing in for it.
  bool SystemFolderRedirected() override { return !sixtyFourBitProgram; }
  bool SixtyFourBitProgram() override { return sixtyFourBitProgram; }
  bool sixtyFourBitProgram = false;

  std::map<Text, Text> environment;
  std::vector<platform::RunningProgram> running;  // running from any folder asked about
  std::vector<platform::Closing> closings;        // empty: each closes when asked
  std::function<void()> onClose;                  // what closing them does to the machine
  std::vector<Started> started;
  std::set<Text> refused;
  std::set<Text> replaceable;  // programs users other than the administrators may change
  std::map<Text, Script> scripts;
  // What a started command does to the rest of the machine (an uninstaller putting a file
  // back, say).
  std::function<void(const Text&)> onStart;

 private:
  class Process final : public platform::Process {
   public:
    Process(Journal& journal, Script script) : journal_(journal), script_(script) {}
    ~Process() override {
      if (threadOpen_ || processOpen_) journal_.push_back("closed-on-destruction");
    }
    void WaitForInputIdle() override { journal_.push_back("idle"); }
    void CloseThread() override {
      journal_.push_back("close-thread");
      threadOpen_ = false;
    }
    platform::WaitResult WaitForExitOrInput(platform::Deadline deadline) override {
      if (script_.hangs) {  // still running when any deadline passes
        journal_.push_back(deadline ? "wait:time-up" : "wait:forever?");
        return deadline ? platform::WaitResult::TimeUp : platform::WaitResult::Failed;
      }
      if (script_.waitFails) {
        journal_.push_back("wait:failed");
        return platform::WaitResult::Failed;
      }
      if (script_.inputsBeforeEnd > 0) {
        --script_.inputsBeforeEnd;
        journal_.push_back("wait:input");
        return platform::WaitResult::InputAvailable;
      }
      journal_.push_back("wait:ended");
      return platform::WaitResult::Ended;
    }
    std::vector<Text> EndAll() override {
      journal_.push_back("end-all");
      return script_.descendants;
    }
    void CloseProcess() override {
      journal_.push_back("close-process");
      processOpen_ = false;
    }
    bool OthersCanReplace() const override { return false; }
    platform::Ending Ended() const override {
      platform::Ending ending;
      if (!script_.waitFails) ending.exitCode = script_.exitCode;
      ending.wholeTree = true;
      ending.descendants = script_.descendants;
      return ending;
    }

   private:
    Journal& journal_;
    Script script_;
    bool threadOpen_ = true;
    bool processOpen_ = true;
  };

  Journal& journal_;
};

}  // namespace fake
