#pragma once
// The window operations that the run relies on: the list of components, the hidden file
// listing, message boxes, the event pump, unloading and the error box.
#include <optional>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace platform {

// Message box style: information icon and a single OK button.
inline constexpr int kInformationOk = 64;

// A list box whose rows stay in the order they were added.
class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void Clear() = 0;
  virtual void AddItem(const Text& row) = 0;
  virtual int ListCount() const = 0;
  virtual Text List(int index) const = 0;
  // Selects one row, so the user sees which one is being worked on.
  virtual void SetListIndex(int index) = 0;
};

// A hidden listing of one held folder's files. Setting the pattern takes the listing, through
// the folder: names without folder, files only, hidden and system files left out, matched on
// the file's own name without regard to letter case, in name order. It is not refreshed.
class FileListBox {
 public:
  virtual ~FileListBox() = default;
  // The folder stays the caller's and must outlive the listing's use.
  virtual void SetFolder(Folder& folder) = 0;
  virtual void SetPattern(const Text& pattern) = 0;
  virtual int ListCount() const = 0;
  virtual Text List(int index) const = 0;
};

class Window {
 public:
  virtual ~Window() = default;
  virtual ListBox& LstKeys() = 0;
  virtual FileListBox& File1() = 0;
  // Modal; returns when the user has closed it. Without a title the application title
  // "DesinstalaKavro" is shown.
  virtual void MsgBox(const Text& text, int style, const std::optional<Text>& title) = 0;
  // Processes every event pending for the window, then returns without waiting.
  virtual void DoEvents() = 0;
  // Closes the window; the program ends once the running event handler returns.
  virtual void Unload() = 0;
  // The box that ends a run on an error nothing absorbed: the error's number and message
  // under the application title.
  virtual void ShowErrorBox(const Error& error) = 0;
};

}  // namespace platform
