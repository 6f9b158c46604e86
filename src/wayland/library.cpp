// libwayland-client, loaded when the program first connects to a
// compositor, so that a desktop without it still runs the X11 clipboard.
// These are the library's functions that this program calls, each
// forwarding to the library's own; the core interfaces (wl_registry,
// wl_seat, …) are generated into the program from wayland.xml. Without the
// library (or with one older than 1.20, which lacks the array form of
// marshalling), no compositor can be reached: the program takes X11.
#include <dlfcn.h>
#include <wayland-client-core.h>

#include <optional>

namespace vantle_native::wayland {
namespace {

constexpr char library_name[] = "libwayland-client.so.0";

// The library's functions, as this program calls them.
struct Functions {
    decltype(&::wl_display_connect) display_connect;
    decltype(&::wl_display_disconnect) display_disconnect;
    decltype(&::wl_display_dispatch) display_dispatch;
    decltype(&::wl_display_dispatch_pending) display_dispatch_pending;
    decltype(&::wl_display_flush) display_flush;
    decltype(&::wl_display_get_fd) display_get_fd;
    decltype(&::wl_display_roundtrip) display_roundtrip;
    decltype(&::wl_proxy_add_listener) proxy_add_listener;
    decltype(&::wl_proxy_destroy) proxy_destroy;
    decltype(&::wl_proxy_get_version) proxy_get_version;
    decltype(&::wl_proxy_marshal_array_flags) proxy_marshal_array_flags;
};

// The loaded library: closed when its scope ends, at the program's exit.
class Library {
public:
    Library() : handle_(dlopen(library_name, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) return;
        functions_ = Functions{};
        const bool found = find(functions_->display_connect, "wl_display_connect") &&
                           find(functions_->display_disconnect, "wl_display_disconnect") &&
                           find(functions_->display_dispatch, "wl_display_dispatch") &&
                           find(functions_->display_dispatch_pending, "wl_display_dispatch_pending") &&
                           find(functions_->display_flush, "wl_display_flush") &&
                           find(functions_->display_get_fd, "wl_display_get_fd") &&
                           find(functions_->display_roundtrip, "wl_display_roundtrip") &&
                           find(functions_->proxy_add_listener, "wl_proxy_add_listener") &&
                           find(functions_->proxy_destroy, "wl_proxy_destroy") &&
                           find(functions_->proxy_get_version, "wl_proxy_get_version") &&
                           find(functions_->proxy_marshal_array_flags, "wl_proxy_marshal_array_flags");
        if (!found) functions_.reset();
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (handle_ != nullptr) (void)dlclose(handle_);
    }

    // The functions, or none when the library or one of them is missing.
    [[nodiscard]] const Functions* functions() const { return functions_ ? &*functions_ : nullptr; }

private:
    template <class Function>
    bool find(Function& function, const char* name) const {
        function = reinterpret_cast<Function>(dlsym(handle_, name));
        return function != nullptr;
    }

    void* handle_;
    std::optional<Functions> functions_;
};

// Loaded once, at the first call, and unchanged after.
const Functions* loaded() {
    static const Library library;
    return library.functions();
}

// Every call but the connection's comes after a connection was made, so
// the library is there.
const Functions& functions() { return *loaded(); }

}  // namespace
}  // namespace vantle_native::wayland

using vantle_native::wayland::functions;

extern "C" {

wl_display* wl_display_connect(const char* name) {
    const auto* library = vantle_native::wayland::loaded();
    return library != nullptr ? library->display_connect(name) : nullptr;
}

void wl_display_disconnect(wl_display* display) { functions().display_disconnect(display); }

int wl_display_dispatch(wl_display* display) { return functions().display_dispatch(display); }

int wl_display_dispatch_pending(wl_display* display) { return functions().display_dispatch_pending(display); }

int wl_display_flush(wl_display* display) { return functions().display_flush(display); }

int wl_display_get_fd(wl_display* display) { return functions().display_get_fd(display); }

int wl_display_roundtrip(wl_display* display) { return functions().display_roundtrip(display); }

int wl_proxy_add_listener(wl_proxy* proxy, void (**implementation)(void), void* data) {
    return functions().proxy_add_listener(proxy, implementation, data);
}

void wl_proxy_destroy(wl_proxy* proxy) { functions().proxy_destroy(proxy); }

uint32_t wl_proxy_get_version(wl_proxy* proxy) { return functions().proxy_get_version(proxy); }

wl_proxy* wl_proxy_marshal_array_flags(wl_proxy* proxy, uint32_t opcode, const wl_interface* interface,
                                       uint32_t version, uint32_t flags, wl_argument* args) {
    return functions().proxy_marshal_array_flags(proxy, opcode, interface, version, flags, args);
}

}  // extern "C"
