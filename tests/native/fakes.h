#pragma once
// Hand-written fakes of the platform headers: they hold state the way the real platform does
// and record the calls whose order or arguments the tests look at.
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

// File1 over a fake folder table: {folder: [file names]}. Names are listed in the order
// given, filtered by the pattern.
class FileListBox final : public platform::FileListBox {
 public:
  explicit FileListBox(Journal& journal) : journal_(journal) {}
  void SetPath(const Text& folder) override {
    journal_.push_back("file1.path:" + Narrow(folder));
    if (!folders.count(folder)) throw platform::Error{3, u"No se encuentra la ruta de acceso."};
    path_ = folder;
    names_.clear();
  }
  void SetPattern(const Text& pattern) override {
    journal_.push_back("file1.pattern:" + Narrow(pattern));
    names_.clear();
    for (const Text& name : folders.at(path_))
      if (WildcardMatch(pattern, name)) names_.push_back(name);
  }
  int ListCount() const override { return static_cast<int>(names_.size()); }
  Text List(int index) const override { return names_.at(static_cast<std::size_t>(index)); }

  std::map<Text, std::vector<Text>> folders;

 private:
  Journal& journal_;
  Text path_;
  std::vector<Text> names_;
};

class Window final : public platform::Window {
 public:
  explicit Window(Journal& journal) : lstKeys(journal), file1(journal), journal_(journal) {}
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

}  // namespace fake
