#include "linux/ending_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <array>

namespace vantle_native::linux_room {
namespace {

constexpr std::array ending_signals{SIGINT, SIGTERM, SIGHUP};

}  // namespace

Result<EndingSignals, ClipboardError> EndingSignals::hold() {
    sigset_t held{};
    (void)sigemptyset(&held);
    for (const int signal : ending_signals) (void)sigaddset(&held, signal);
    sigset_t previous{};
    if (sigprocmask(SIG_BLOCK, &held, &previous) != 0) return Failure{clipboard_error(last_os_error())};
    Descriptor reader(signalfd(-1, &held, SFD_CLOEXEC));
    if (!reader) {
        const OsError error = last_os_error();
        (void)sigprocmask(SIG_SETMASK, &previous, nullptr);
        return Failure{clipboard_error(error)};
    }
    return EndingSignals(previous, std::move(reader));
}

EndingSignals::~EndingSignals() {
    if (descriptor_) (void)sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

void EndingSignals::take() const {
    signalfd_siginfo taken{};
    (void)!read(descriptor_.get(), &taken, sizeof taken);
}

}  // namespace vantle_native::linux_room
