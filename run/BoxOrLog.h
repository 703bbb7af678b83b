#pragma once
// The window as the run sees it, with one decision added: a message box is shown only where
// somebody can answer it. Every text a box would show goes to the log; where nobody can
// answer (a window station no user sees, or /quiet) it goes only there, and the run goes on
// as if OK had been pressed. Everything else is the window's own.
#include "platform/window.h"
#include "run/RunLog.h"

class BoxOrLog final : public platform::Window {
 public:
  BoxOrLog(platform::Window& window, RunLog& log, bool someoneCanAnswer)
      : window_(window), log_(log), someoneCanAnswer_(someoneCanAnswer) {}

  platform::ListBox& LstKeys() override { return window_.LstKeys(); }
  platform::FileListBox& File1() override { return window_.File1(); }
  void DoEvents() override { window_.DoEvents(); }
  void Unload() override { window_.Unload(); }

  void MsgBox(const Text& text, int style, const std::optional<Text>& title) override {
    log_.Message(text);
    if (someoneCanAnswer_) window_.MsgBox(text, style, title);
  }
  void ShowErrorBox(const platform::Error& error) override {
    log_.Error(error);
    if (someoneCanAnswer_) window_.ShowErrorBox(error);
  }

 private:
  platform::Window& window_;
  RunLog& log_;
  bool someoneCanAnswer_;
};
