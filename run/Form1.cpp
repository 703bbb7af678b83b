#include "run/Form1.h"

Form1::Form1(platform::Window& window) : window_(window) {}

void Form1::Activated() {
  try {
    Form_Activate();
  } catch (const platform::Error& error) {
    exitCode_ = kExitErrorBox;
    window_.ShowErrorBox(error);
    window_.Unload();
  }
}

void Form1::Form_Activate() {}
