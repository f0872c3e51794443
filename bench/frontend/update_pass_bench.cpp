// One UpdateCommandLine pass that finds nothing to change, timed inside the
// real main window: this program is built from the front end's own sources
// (all but its WinMain), starts up as Quilbo.exe does, lets the first idle pass
// compose the string, and then calls the pass in batches. Also timed: reading
// the controls alone, and the pass reached through a WM_ENABLE sent to the
// window (the second place that runs it). On the way it notes how long each
// step of the start-up took, and which messages the first showing of the
// window spent its time on ("first_messages.<window class>.<message>").
//   bench_update_pass.exe [BATCHES] [CALLS_PER_BATCH]
// Prints "figure<TAB>value<TAB>unit" lines. Needs the settings key seeded (as
// bench_frontend.exe does), or the first-run folder browser appears.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/application.h"
#include "options/option_set.h"
#include "ui/about_form.h"
#include "ui/main_form.h"
#include "bench_clock.h"

namespace {

// Median over batches of the time per call, in microseconds.
template <typename Call>
double MicrosecondsPerCall(int batches, int calls, Call call) {
  std::vector<double> perCall;
  for (int b = 0; b < batches; ++b) {
    const double start = Seconds();
    for (int i = 0; i < calls; ++i) call();
    perCall.push_back((Seconds() - start) / calls * 1e6);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

void Figure(const char* name, double value, const char* unit) { std::printf("%s\t%.4g\t%s\n", name, value, unit); }

// Like PumpQueue, noting the time each kind of message took, by the class of
// the window it went to: what the first showing of the window costs.
void PumpQueueTimed() {
  std::map<std::string, std::pair<int, double>> costs;
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    char windowClass[64] = "none";
    if (message.hwnd) GetClassNameA(message.hwnd, windowClass, sizeof windowClass);
    char key[96];
    std::snprintf(key, sizeof key, "first_messages.%s.0x%04x", windowClass, message.message);
    const double start = Seconds();
    TranslateMessage(&message);
    DispatchMessageA(&message);
    auto& cost = costs[key];
    ++cost.first;
    cost.second += Seconds() - start;
  }
  for (const auto& [key, cost] : costs) {
    if (cost.second < 0.3e-3) continue;
    Figure(key.c_str(), cost.second * 1e3, "ms");
    Figure((key + ".count").c_str(), cost.first, "messages");
  }
}

void PumpQueue() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Start-up as WinMain does it, with the time since process creation noted
// after each step and at the end of the first idle pass, appended as one line
// to `path`; then the message loop runs on. Started in place of Quilbo.exe by
// bench_frontend.exe (QUILBO_BENCH_PHASES names the file), it shows where the
// start-up time goes.
int RunStartUpPhases(const char* path) {
  using quilbo::Application;
  const double atMain = SinceProcessCreation();
  const double origin = Seconds() - atMain / 1e3;
  std::string line;
  auto note = [&](const char* name) {
    char text[64];
    std::snprintf(text, sizeof text, "%s=%.1f ", name, (Seconds() - origin) * 1e3);
    line += text;
  };
  note("main");
  Application.ShowHint = true;
  Application.Initialize();
  note("appwindow");
  quilbo::TForm2 form2;
  quilbo::TForm1 form1;
  Application.SetMainForm(&form1);
  form1.Create(&form2);
  note("form1");
  form2.Create();
  note("form2");
  std::function<void()> idle = Application.OnIdle;
  bool first = true;
  Application.OnIdle = [&] {
    idle();
    if (!first) return;
    first = false;
    note("first_idle_end");
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  };
  // What Application.Run does, in steps.
  Application.ShowApplicationWindow();
  note("show_appwindow");
  ShowWindow(form1.Handle(), SW_SHOWNORMAL);
  note("show_form1");
  while (!Application.Terminated()) Application.RunLoopOnce();
  return 0;
}

int Run(int batches, int calls) {
  using quilbo::Application;
  // Where start-up spends its time, step by step as in WinMain.
  const double started = SinceProcessCreation();
  double last = Seconds();
  auto step = [&](const char* name) {
    const double now = Seconds();
    Figure(name, (now - last) * 1e3, "ms");
    last = now;
  };
  Application.ShowHint = true;
  Application.Initialize();
  step("startup.application_window");
  quilbo::TForm2 form2;
  quilbo::TForm1 form1;
  Application.SetMainForm(&form1);
  form1.Create(&form2);
  step("startup.form1");
  form2.Create();
  step("startup.form2");
  Application.ShowApplicationWindow();
  ShowWindow(form1.Handle(), SW_SHOWNORMAL);
  step("startup.show");
  const double pumped = Seconds();
  PumpQueueTimed();
  Figure("startup.first_messages", (Seconds() - pumped) * 1e3, "ms");
  last = Seconds();
  form1.AppIdle();  // the first idle pass: composes and sets the text
  step("startup.first_idle_pass");
  Figure("startup.before_main", started, "ms");
  PumpQueue();

  const std::string composed = form1.Get<quilbo::TEdit>(IDC_EDIT2).Text();
  if (composed != quilbo::BuildCommandLine(form1.ReadOptions())) {
    std::fprintf(stderr, "the first pass did not compose the command line\n");
    return 1;
  }
  Figure("pass.update_command_line", MicrosecondsPerCall(batches, calls, [&] { form1.UpdateCommandLine(); }), "us");
  Figure("pass.read_options", MicrosecondsPerCall(batches, calls, [&] { form1.ReadOptions(); }), "us");
  Figure("pass.compose", MicrosecondsPerCall(batches, calls, [&] {
           const std::string line = quilbo::BuildCommandLine(form1.ReadOptions());
           if (line.empty()) std::abort();
         }), "us");
  Figure("pass.edit2_text", MicrosecondsPerCall(batches, calls, [&] { form1.Get<quilbo::TEdit>(IDC_EDIT2).Text(); }), "us");
  Figure("pass.wm_enable", MicrosecondsPerCall(batches, calls, [&] {
           SendMessageA(form1.Handle(), WM_ENABLE, TRUE, 0);
         }), "us");
  // Nothing changed, so nothing was sent to the field.
  Figure("pass.text_unchanged", form1.Get<quilbo::TEdit>(IDC_EDIT2).Text() == composed ? 1 : 0, "bool");
  std::fflush(stdout);
  // Ended here, without the close that would save the settings.
  ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* phases = std::getenv("QUILBO_BENCH_PHASES")) return RunStartUpPhases(phases);
  const int batches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  const int calls = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
  try {
    return Run(batches, calls);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_update_pass: %s\n", error.what());
    return 1;
  }
}
