// The application object and its message loop, and what the GUI thread does while it waits.
//
//   ui::Application app(argc, argv);
//   if (!app.Started()) return 0;      // no display: no window can be created
//   MainWindow dialog;
//   return dialog.CreateModeless(nullptr) ? app.Run(dialog) : 0;
#pragma once

#include <functional>
#include <memory>

namespace kestrow::ui {

class Dialog;

class Application {
  public:
    // Brings up the toolkit for this process; the command line is not read.
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // False when windows cannot be shown here (no display to connect to).
    [[nodiscard]] bool Started() const;
    // Runs the message loop until `mainWindow` ends; returns the id it ended with.
    int Run(Dialog& mainWindow);

  private:
    struct Toolkit;
    std::unique_ptr<Toolkit> toolkit_;
};

// On the GUI thread: carries out what keeps the windows painted (paint and timer messages, and
// what other threads ask of this one) but takes no input. On any other thread: nothing.
void KeepWindowsPainted();

// On the GUI thread: waits until `done` holds, carrying out meanwhile what other threads ask of
// this one (posted work, their message boxes), but no input.
void ServeOtherThreadsUntil(const std::function<bool()>& done);

}  // namespace kestrow::ui
