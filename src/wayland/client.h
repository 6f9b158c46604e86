// The connection to a Wayland compositor that offers data-control, and the
// objects the clipboard works through, each a scope object: the display,
// each proxy, the offers of the selection and this program's own source.
#pragma once

#include <wayland-client-core.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "errors.h"
#include "result.h"
#include "selection/formats.h"
#include "wayland/pipes.h"
#include "wayland/protocol.h"

namespace vantle_native::wayland {

// A proxy this program holds: destroyed when its scope ends, with its
// interface's destructor request if it has one.
class Proxy {
public:
    Proxy() = default;
    Proxy(wl_proxy* proxy, Destructor destructor) : proxy_(proxy), destructor_(destructor) {}
    Proxy(Proxy&& other) noexcept
        : proxy_(std::exchange(other.proxy_, nullptr)), destructor_(other.destructor_) {}
    Proxy& operator=(Proxy&& other) noexcept {
        if (this != &other) {
            reset();
            proxy_ = std::exchange(other.proxy_, nullptr);
            destructor_ = other.destructor_;
        }
        return *this;
    }
    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;
    ~Proxy() { reset(); }

    [[nodiscard]] wl_proxy* get() const { return proxy_; }
    explicit operator bool() const { return proxy_ != nullptr; }
    void reset() {
        if (proxy_ != nullptr) destroy(std::exchange(proxy_, nullptr), destructor_);
    }

private:
    wl_proxy* proxy_ = nullptr;
    Destructor destructor_ = Destructor::none;
};

// The connection: disconnected when its scope ends.
class Display {
public:
    explicit Display(wl_display* display) : display_(display) {}
    Display(Display&& other) noexcept : display_(std::exchange(other.display_, nullptr)) {}
    Display& operator=(Display&&) = delete;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    ~Display() {
        if (display_ != nullptr) wl_display_disconnect(display_);
    }

    [[nodiscard]] wl_display* get() const { return display_; }

private:
    wl_display* display_;
};

// What another client (or this one) offers as the selection: its MIME types,
// as the compositor listed them before it made the offer the selection.
class Offer {
public:
    explicit Offer(wl_proxy* proxy);
    Offer(const Offer&) = delete;
    Offer& operator=(const Offer&) = delete;
    ~Offer() = default;

    [[nodiscard]] bool offers(selection::Target target) const;
    [[nodiscard]] wl_proxy* proxy() const { return proxy_.get(); }

private:
    static void on_offer(void* data, wl_proxy* offer, const char* mime_type);
    static const OfferListener listener;

    Proxy proxy_;
    std::vector<std::string> types_;
};

// The offer as the formats ask it: whether it offers each target.
[[nodiscard]] inline auto offers_of(const Offer& offer) {
    return [&offer](selection::Target target) { return offer.offers(target); };
}

// A list this program offers as the selection: every served target by name,
// each written byte for byte to the reader that asks, until another client
// takes the selection (the compositor cancels the source).
class Source {
public:
    Source(const DataControl& protocol, wl_proxy* manager, std::shared_ptr<const selection::SelectionContent> content,
           Transfers& transfers);
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source() = default;

    [[nodiscard]] wl_proxy* proxy() const { return proxy_.get(); }
    [[nodiscard]] bool cancelled() const { return cancelled_; }
    [[nodiscard]] const std::shared_ptr<const selection::SelectionContent>& content() const { return content_; }

private:
    static void on_send(void* data, wl_proxy* source, const char* mime_type, std::int32_t fd);
    static void on_cancelled(void* data, wl_proxy* source);
    static const SourceListener listener;

    Proxy proxy_;
    std::shared_ptr<const selection::SelectionContent> content_;
    Transfers& transfers_;
    bool cancelled_ = false;
};

class Client {
public:
    // The compositor that WAYLAND_DISPLAY names, with its data-control
    // device for the first seat and the current selection known; nothing
    // when WAYLAND_DISPLAY is not set, the compositor cannot be reached, or
    // it offers no data-control protocol (GNOME's does not).
    [[nodiscard]] static std::unique_ptr<Client> connect();

    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    ~Client() = default;

    [[nodiscard]] int descriptor() const { return wl_display_get_fd(display_.get()); }
    // Returns once the compositor has handled every request so far, with
    // every event it sent before dispatched.
    [[nodiscard]] Status<ClipboardError> roundtrip();
    [[nodiscard]] Status<ClipboardError> flush();
    // Reads the events that have arrived, when `readable`, and dispatches
    // every queued one.
    [[nodiscard]] Status<ClipboardError> dispatch(bool readable);

    // The connection now belongs to a child of this process, which goes on
    // with it: nothing more goes out from here.
    void hand_to_child() const;

    // The offer that is the selection now, or none.
    [[nodiscard]] const Offer* selection() const { return selection_.get(); }
    // How many times the selection has changed since the connection was made.
    [[nodiscard]] std::uint64_t changes() const { return changes_; }

    // A new source for `content`, made the selection.
    [[nodiscard]] std::unique_ptr<Source> take_selection(std::shared_ptr<const selection::SelectionContent> content,
                                                         Transfers& transfers);
    // The bytes of `target` from `offer`, while the transfers of `serving`
    // (if given) go on.
    [[nodiscard]] Result<std::string, ClipboardError> receive(const Offer& offer, selection::Target target,
                                                              Transfers* serving = nullptr);

private:
    struct Globals;
    explicit Client(Display display) : display_(std::move(display)) {}
    // Binds the seat and the protocol's manager that the registry named,
    // and makes the device.
    void bind(wl_proxy* registry, const Globals& globals);

    static void on_data_offer(void* data, wl_proxy* device, wl_proxy* offer);
    static void on_selection(void* data, wl_proxy* device, wl_proxy* offer);
    static void on_finished(void* data, wl_proxy* device);
    static void on_primary_selection(void* data, wl_proxy* device, wl_proxy* offer);
    static const DeviceListener device_listener;

    // The offer just introduced, if it is `proxy`.
    std::unique_ptr<Offer> take_introduced(const wl_proxy* proxy);

    // The connection first: every proxy goes before it does.
    Display display_;
    const DataControl* protocol_ = nullptr;
    Proxy seat_;
    Proxy manager_;
    Proxy device_;
    std::unique_ptr<Offer> introduced_;
    std::unique_ptr<Offer> selection_;
    std::uint64_t changes_ = 0;
};

}  // namespace vantle_native::wayland
