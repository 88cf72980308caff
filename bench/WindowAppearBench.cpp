// How long the program's window takes to appear, against a minimal window of the same widgets.
//
// Each run starts the program in a fresh process, with a home and settings folder of its own,
// and watches the X server it is given (DISPLAY, with no window manager), timing from just
// before the process starts:
// - "mapped": the server reports a new top-level window of the process mapped (MapNotify on the
//   root window);
// - "painted": every pixel of that window has been drawn at least once since, by the program or
//   by the server (the DAMAGE extension's rectangles, which take in its child windows: the
//   first is often only a child window cleared to its background).
// At "mapped" it counts the shared objects the process has mapped; at "painted" it reads the
// processor time the process has had so far (all its threads, and its main thread alone: what
// a busy machine changes little, unlike the wall time) and how long the main thread was ready to
// run but waited for a processor (what a busy machine adds). The two programs alternate,
// the first run of each is reported apart, and the figures are the medians and the median of
// the ratios of runs made one after the other.
//
//   vantorix_window_bench [--runs N] PROGRAM MINIMAL      (default: 10 runs of each)
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;
constexpr int GiveUpSeconds = 60;

struct TShown {
    double MappedMs = 0;
    double PaintedMs = 0;
    int SharedObjects = 0;
    double CpuMs = 0;      // all threads, to 10 ms
    double MainCpuMs = 0;  // the main thread on a processor
    double MainWaitMs = 0; // the main thread ready to run, waiting for a processor
};

// Which pixels of a window have been drawn.
class TCoverage {
public:
    // Marks ARect of a window of size AWidth x AHeight; true once all of it is drawn.
    bool Add(const xcb_rectangle_t& ARect, int AWidth, int AHeight) {
        if (FDrawn.size() != static_cast<size_t>(AWidth) * AHeight) {
            FDrawn.assign(static_cast<size_t>(AWidth) * AHeight, false);
            FCount = 0;
        }
        for (int y = std::max(0, int(ARect.y)); y < std::min(AHeight, ARect.y + ARect.height); ++y)
            for (int x = std::max(0, int(ARect.x)); x < std::min(AWidth, ARect.x + ARect.width); ++x)
                if (!FDrawn[size_t(y) * AWidth + x]) {
                    FDrawn[size_t(y) * AWidth + x] = true;
                    ++FCount;
                }
        return FCount == FDrawn.size();
    }

private:
    std::vector<bool> FDrawn;
    size_t FCount = 0;
};

struct TDisplay {
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> Connection{nullptr, xcb_disconnect};
    xcb_window_t Root = 0;
    uint8_t DamageEvent = 0; // the code of the DAMAGE extension's notify event
};

TDisplay OpenDisplay() {
    TDisplay display;
    int screenNumber = 0;
    display.Connection.reset(xcb_connect(nullptr, &screenNumber));
    xcb_connection_t* c = display.Connection.get();
    if (xcb_connection_has_error(c))
        throw std::runtime_error("cannot connect to the X server (DISPLAY)");
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    display.Root = screens.data->root;

    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present)
        throw std::runtime_error("the X server has no DAMAGE extension");
    display.DamageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
    free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));

    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, display.Root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return display;
}

// Distinct shared objects (file names with ".so") mapped into process APid.
int CountSharedObjects(pid_t APid) {
    std::ifstream maps("/proc/" + std::to_string(APid) + "/maps");
    std::set<std::string> objects;
    std::string line;
    while (std::getline(maps, line)) {
        const size_t path = line.find('/');
        if (path != std::string::npos && line.find(".so", line.rfind('/')) != std::string::npos)
            objects.insert(line.substr(path));
    }
    return static_cast<int>(objects.size());
}

// Processor time of process APid so far, its ended threads included (in clock ticks).
double CpuMs(pid_t APid) {
    std::ifstream stat("/proc/" + std::to_string(APid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t name = text.rfind(')');
    if (name == std::string::npos)
        return 0;
    // The fields after the command name, which is in parentheses and may hold spaces: the 14th
    // and 15th of the line are the user and system time.
    std::istringstream fields(text.substr(name + 1));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The main thread of process APid so far: {time on a processor, time waiting for one}.
std::pair<double, double> MainThreadMs(pid_t APid) {
    std::ifstream schedstat("/proc/" + std::to_string(APid) + "/schedstat");
    double running = 0, waiting = 0;
    schedstat >> running >> waiting;
    return {running / 1e6, waiting / 1e6};
}

// Starts AProgram with AHome (private to the user) as its home, configuration, cache and run-time
// folder, on the X11 platform.
pid_t Start(const std::string& AProgram, const std::string& AHome) {
    std::vector<std::string> settings;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name != "HOME" && name != "XDG_CONFIG_HOME" && name != "XDG_CACHE_HOME" &&
            name != "XDG_RUNTIME_DIR" && name != "QT_QPA_PLATFORM")
            settings.push_back(text);
    }
    settings.push_back("HOME=" + AHome);
    settings.push_back("XDG_CONFIG_HOME=" + AHome + "/.config");
    settings.push_back("XDG_CACHE_HOME=" + AHome + "/.cache");
    settings.push_back("XDG_RUNTIME_DIR=" + AHome);
    settings.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> env;
    for (std::string& setting : settings)
        env.push_back(setting.data());
    env.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(AProgram.c_str()), nullptr};

    const pid_t pid = fork();
    if (pid == 0) {
        execve(AProgram.c_str(), argv.data(), env.data());
        _exit(127);
    }
    if (pid < 0)
        throw std::runtime_error("cannot start " + AProgram);
    return pid;
}

// Events left over from the previous process (its windows going away) are dropped.
void Drain(TDisplay& ADisplay) {
    xcb_connection_t* c = ADisplay.Connection.get();
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(c))
        free(event);
}

double MsSince(TClock::time_point AStart) {
    return std::chrono::duration<double, std::milli>(TClock::now() - AStart).count();
}

TShown Measure(TDisplay& ADisplay, const std::string& AProgram) {
    xcb_connection_t* c = ADisplay.Connection.get();
    std::string home = (std::filesystem::temp_directory_path() / "vantorix-window-XXXXXX").string();
    if (!mkdtemp(home.data()))
        throw std::runtime_error("cannot make a temporary folder");
    Drain(ADisplay);

    TShown shown;
    std::set<xcb_window_t> created;
    xcb_window_t window = XCB_NONE;
    TCoverage drawn;
    const TClock::time_point start = TClock::now();
    const pid_t pid = Start(AProgram, home);
    pollfd connection{xcb_get_file_descriptor(c), POLLIN, 0};
    while (shown.PaintedMs == 0 && MsSince(start) < GiveUpSeconds * 1000.0) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            if (xcb_connection_has_error(c))
                break;
            poll(&connection, 1, 100);
            continue;
        }
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            // Every new top-level window is watched for drawing from its start.
            const auto* create = reinterpret_cast<xcb_create_notify_event_t*>(event);
            if (create->parent == ADisplay.Root) {
                created.insert(create->window);
                xcb_damage_create(c, xcb_generate_id(c), create->window,
                                  XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                xcb_flush(c);
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (window == XCB_NONE && !map->override_redirect && created.count(map->window)) {
                shown.MappedMs = MsSince(start);
                shown.SharedObjects = CountSharedObjects(pid);
                window = map->window;
            }
        } else if (type == ADisplay.DamageEvent) {
            const auto* damage = reinterpret_cast<xcb_damage_notify_event_t*>(event);
            if (window != XCB_NONE && damage->drawable == window &&
                drawn.Add(damage->area, damage->geometry.width, damage->geometry.height)) {
                shown.PaintedMs = MsSince(start);
                shown.CpuMs = CpuMs(pid);
                std::tie(shown.MainCpuMs, shown.MainWaitMs) = MainThreadMs(pid);
            }
        }
        free(event);
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::remove_all(home);
    if (shown.PaintedMs == 0)
        throw std::runtime_error(AProgram +
                                 (window == XCB_NONE ? " showed no window" : " did not draw all its window") +
                                 " (exit status " + std::to_string(status) + ")");
    return shown;
}

double Median(std::vector<double> AValues) {
    std::sort(AValues.begin(), AValues.end());
    const size_t n = AValues.size();
    return n % 2 ? AValues[n / 2] : (AValues[n / 2 - 1] + AValues[n / 2]) / 2;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct TSeries {
    std::vector<TShown> Runs;
    template <class T> double Median(T TShown::*AField) const {
        std::vector<double> values;
        for (const TShown& run : Runs)
            values.push_back(run.*AField);
        return ::Median(values);
    }
};

void PrintRun(const char* ALabel, const TShown& AShown) {
    std::printf("  %-7s %8.1f %8.1f %8.0f %8.1f %8.1f %8d\n", ALabel, AShown.MappedMs, AShown.PaintedMs,
                AShown.CpuMs, AShown.MainCpuMs, AShown.MainWaitMs, AShown.SharedObjects);
}

void PrintMedians(const char* AName, const TSeries& ASeries) {
    TShown median;
    for (double TShown::*field :
         {&TShown::MappedMs, &TShown::PaintedMs, &TShown::CpuMs, &TShown::MainCpuMs, &TShown::MainWaitMs})
        median.*field = ASeries.Median(field);
    median.SharedObjects = static_cast<int>(ASeries.Median(&TShown::SharedObjects));
    PrintRun(AName, median);
}

double PairedRatio(const TSeries& AProgram, const TSeries& AMinimal, double TShown::*AField) {
    std::vector<double> ratios;
    for (size_t i = 0; i < AProgram.Runs.size(); ++i)
        ratios.push_back(AProgram.Runs[i].*AField / AMinimal.Runs[i].*AField);
    return Median(ratios);
}

void PrintRatio(const char* AName, const TSeries& AProgram, const TSeries& AMinimal, double TShown::*AField) {
    std::printf("  %-10s %.2fx by the medians, %.2fx by the paired runs\n", AName,
                AProgram.Median(AField) / AMinimal.Median(AField), PairedRatio(AProgram, AMinimal, AField));
}

} // namespace

int main(int argc, char* argv[]) {
    int runs = 10;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            programs.push_back(std::filesystem::absolute(argv[i]).string());
    }
    if (programs.size() != 2) {
        std::fprintf(stderr, "usage: %s [--runs N] PROGRAM MINIMAL\n", argv[0]);
        return 2;
    }
    try {
        TDisplay display = OpenDisplay();
        std::printf("program: %s\nminimal: %s\nload average before: %s\n\n", programs[0].c_str(),
                    programs[1].c_str(), LoadAverage().c_str());
        std::printf("           mapped  painted      cpu     main     main   shared\n"
                    "               ms       ms       ms   cpu ms  wait ms  objects\n");
        // The first start of each fills the caches; it is shown, not counted.
        std::printf("first runs:\n");
        PrintRun("program", Measure(display, programs[0]));
        PrintRun("minimal", Measure(display, programs[1]));

        TSeries program, minimal;
        for (int run = 0; run < runs; ++run) {
            // The order alternates, so that neither always runs right after the other.
            const bool programFirst = run % 2 == 0;
            const TShown first = Measure(display, programs[programFirst ? 0 : 1]);
            const TShown second = Measure(display, programs[programFirst ? 1 : 0]);
            program.Runs.push_back(programFirst ? first : second);
            minimal.Runs.push_back(programFirst ? second : first);
            std::printf("run %d:\n", run + 1);
            PrintRun("program", program.Runs.back());
            PrintRun("minimal", minimal.Runs.back());
        }
        std::printf("medians:\n");
        PrintMedians("program", program);
        PrintMedians("minimal", minimal);
        std::printf("\nprogram against minimal, %d runs each:\n", runs);
        PrintRatio("mapped:", program, minimal, &TShown::MappedMs);
        PrintRatio("painted:", program, minimal, &TShown::PaintedMs);
        PrintRatio("cpu:", program, minimal, &TShown::CpuMs);
        PrintRatio("main cpu:", program, minimal, &TShown::MainCpuMs);
        std::printf("load average after: %s\n", LoadAverage().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantorix_window_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
