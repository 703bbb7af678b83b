#pragma once
// The Win32 window of the program: caption, label, the list of components and the hidden
// file listing, laid out in twips and converted with the monitor's real DPI.
#include <functional>
#include <optional>

#include "platform/win32/unique.h"
#include "platform/window.h"

namespace win32 {

class FormWindow final : public platform::Window {
 public:
  // iconId: the program's icon among the instance's resources (the window's own module
  // knows nothing of the program's).
  FormWindow(HINSTANCE instance, int iconId);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Runs once, the first time the window becomes active after it is shown and painted.
  void SetActivateHandler(std::function<void()> handler) { onActivate_ = std::move(handler); }
  // Where an error that is not the platform's own (out of memory, say) ends the run; by
  // default the window's own error box.
  void SetErrorHandler(std::function<void(const platform::Error&)> handler) {
    onError_ = std::move(handler);
  }
  // Called when the session ends (logoff or shutdown) while the run is under way: Windows
  // lets only a visible window refuse that, and ends the program right after.
  void SetEndSessionHandler(std::function<void()> handler) { onEndSession_ = std::move(handler); }
  void Show();
  // Starts the run without waiting for the window to become active: where nobody can see the
  // window (or it is not shown at all), nobody activates it.
  void StartRun();
  // Dispatches events until the window is gone.
  void RunMessageLoop();
  // True when something other than a platform error ended the run (out of memory, say).
  bool Failed() const { return failed_; }
  HWND Handle() const { return hwnd_.get(); }

  platform::ListBox& LstKeys() override { return lstKeys_; }
  platform::FileListBox& File1() override { return file1_; }
  void MsgBox(const Text& text, int style, const std::optional<Text>& title) override;
  void DoEvents() override;
  void Unload() override;
  void ShowErrorBox(const platform::Error& error) override;

 private:
  class ListBoxControl final : public platform::ListBox {
   public:
    void Attach(HWND hwnd, HWND form) {
      hwnd_ = hwnd;
      form_ = form;
    }
    HWND hwnd() const { return hwnd_; }
    // Rows come in bursts with no event processed between them; the list is redrawn once,
    // when events are next processed, rather than after every row.
    void ResumeRedraw();
    void Clear() override;
    void AddItem(const Text& row) override;
    int ListCount() const override;
    Text List(int index) const override;
    void SetListIndex(int index) override;

   private:
    HWND hwnd_ = nullptr;
    HWND form_ = nullptr;
    bool redrawSuspended_ = false;
  };

  class FileListControl final : public platform::FileListBox {
   public:
    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    HWND hwnd() const { return hwnd_; }
    void SetFolder(platform::Folder& folder) override { folder_ = &folder; }
    void SetPattern(const Text& pattern) override;
    int ListCount() const override;
    Text List(int index) const override;

   private:
    HWND hwnd_ = nullptr;
    platform::Folder* folder_ = nullptr;
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void Layout(UINT dpi, const RECT* suggested);
  void RunActivation();
  void SetCloseEnabled(bool enabled);

  HINSTANCE instance_;
  // Fonts and icons are declared before the windows that use them, so they outlive them.
  UniqueFont listFont_;
  UniqueFont labelFont_;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  UniqueWindow owner_;  // hidden owner: an owned window gets no taskbar button
  UniqueWindow hwnd_;
  HWND label_ = nullptr;
  ListBoxControl lstKeys_;
  FileListControl file1_;
  std::function<void()> onActivate_;
  std::function<void(const platform::Error&)> onError_;
  std::function<void()> onEndSession_;
  bool activated_ = false;
  bool running_ = false;
  bool quit_ = false;
  bool failed_ = false;
};

}  // namespace win32
