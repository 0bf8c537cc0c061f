// qbstart DATA_DIR: refreshes this user's copy of the board program from the
// data directory and starts it there (see Launcher.h). Ends with status 0
// whatever happened, as stations' start-up scripts expect.
#include "Launcher.h"

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// Runs a dialog program and returns its exit status, or -1 when it could not
// be started (not installed).
int runDialog(const std::vector<std::string>& argv)
{
    std::vector<char*> av;
    for (const auto& a : argv)
        av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, av[0], nullptr, nullptr, av.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The error box: zenity's information box, else xmessage, when a desktop is
// there; otherwise (or when neither can show it) a line on stderr.
void showError(const std::string& text)
{
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    if ((x && *x) || (w && *w)) {
        // zenity: 0 OK, 1 closed; xmessage: 101 is its first button.
        int z = runDialog({"zenity", "--info", "--no-markup", "--title=Error", "--text=" + text});
        if (z == 0 || z == 1)
            return;
        int m = runDialog({"xmessage", "-title", "Error", "-center", "-buttons", "OK:0", text});
        if (m == 0)
            return;
    }
    std::fprintf(stderr, "qbstart: Error: %s\n", text.c_str());
}

// QBSTART_WAIT_SCALE (a factor, default 1) shortens the waits for tests and
// for trying the launcher by hand; stations leave it unset.
double waitScale()
{
    const char* s = std::getenv("QBSTART_WAIT_SCALE");
    if (!s || !*s)
        return 1.0;
    char* end = nullptr;
    double f = std::strtod(s, &end);
    return (end && *end == '\0' && f >= 0.0 && f <= 1.0) ? f : 1.0;
}

} // namespace

int main(int argc, char** argv)
{
    const double scale = waitScale();
    qbstart::Hooks hooks;
    hooks.sleep = [scale](int ms) {
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(ms * 1000.0 * scale)));
    };
    hooks.error = showError;
    hooks.note = [](const std::string& line) { std::fprintf(stderr, "qbstart: %s\n", line.c_str()); };
    qbstart::run(argc - 1, argv + 1, hooks);
    return 0;
}
