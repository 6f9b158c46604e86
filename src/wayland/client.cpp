#include "wayland/client.h"

#include <fcntl.h>
#include <unistd.h>
#include <wayland-client-protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace vantle_native::wayland {
namespace {

constexpr char display_variable[] = "WAYLAND_DISPLAY";
constexpr std::string_view broken_connection_text = "the connection to the Wayland compositor broke";
// The seat's version: only its object is needed, as the device's argument.
constexpr std::uint32_t seat_version = 1;

ClipboardError broken_connection_error() { return clipboard_error(broken_connection_text); }

}  // namespace

// The globals the registry names before the first roundtrip.
struct Client::Globals {
    std::uint32_t seat = 0;
    std::uint32_t ext_manager = 0;
    std::uint32_t wlr_manager = 0;

    static void on_global(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
        auto& globals = *static_cast<Globals*>(data);
        const std::string_view named(interface);
        if (named == wl_seat_interface.name && globals.seat == 0) globals.seat = name;
        if (named == ext_data_control().global) globals.ext_manager = name;
        if (named == wlr_data_control().global && version >= wlr_data_control().version) globals.wlr_manager = name;
    }
    static void on_global_remove(void*, wl_registry*, std::uint32_t) {}
    static constexpr wl_registry_listener listener{on_global, on_global_remove};

    // The preferred protocol the compositor offers, with its global's name.
    [[nodiscard]] std::optional<std::pair<const DataControl*, std::uint32_t>> data_control() const {
        if (ext_manager != 0) return std::pair{&ext_data_control(), ext_manager};
        if (wlr_manager != 0) return std::pair{&wlr_data_control(), wlr_manager};
        return std::nullopt;
    }
};

const OfferListener Offer::listener{Offer::on_offer};

Offer::Offer(wl_proxy* proxy) : proxy_(proxy, Destructor::offer) { add_listener(proxy, listener, this); }

void Offer::on_offer(void* data, wl_proxy*, const char* mime_type) {
    static_cast<Offer*>(data)->types_.emplace_back(mime_type);
}

bool Offer::offers(selection::Target target) const {
    return std::find(types_.begin(), types_.end(), selection::name_of(target)) != types_.end();
}

const SourceListener Source::listener{Source::on_send, Source::on_cancelled};

Source::Source(const DataControl& protocol, wl_proxy* manager,
               std::shared_ptr<const selection::SelectionContent> content, Transfers& transfers)
    : proxy_(create_data_source(protocol, manager), Destructor::source),
      content_(std::move(content)),
      transfers_(transfers) {
    add_listener(proxy_.get(), listener, this);
    for (const selection::Target target : selection::served_targets) {
        offer_mime_type(proxy_.get(), selection::name_of(target));
    }
}

void Source::on_send(void* data, wl_proxy*, const char* mime_type, std::int32_t fd) {
    auto& source = *static_cast<Source*>(data);
    Descriptor reader(fd);
    const auto target = selection::target_named(mime_type);
    // A type this source never offered gets no bytes: its pipe just closes.
    if (!target) return;
    source.transfers_.start(std::move(reader), source.content_->bytes(*target));
}

void Source::on_cancelled(void* data, wl_proxy*) { static_cast<Source*>(data)->cancelled_ = true; }

const DeviceListener Client::device_listener{Client::on_data_offer, Client::on_selection, Client::on_finished,
                                             Client::on_primary_selection};

std::unique_ptr<Client> Client::connect() {
    const char* name = std::getenv(display_variable);
    if (name == nullptr || *name == '\0') return nullptr;
    wl_display* display = wl_display_connect(name);
    if (display == nullptr) return nullptr;
    std::unique_ptr<Client> client(new Client(Display(display)));
    {
        Globals globals;
        const Proxy registry(get_registry(display), Destructor::none);
        add_listener(registry.get(), Globals::listener, &globals);
        if (wl_display_roundtrip(display) < 0 || !globals.data_control() || globals.seat == 0) return nullptr;
        client->bind(registry.get(), globals);
    }
    // The first selection event comes in answer to the device.
    if (!client->roundtrip().ok()) return nullptr;
    return client;
}

void Client::bind(wl_proxy* registry, const Globals& globals) {
    const auto [protocol, manager] = *globals.data_control();
    protocol_ = protocol;
    seat_ = Proxy(wayland::bind(registry, globals.seat, wl_seat_interface, seat_version), Destructor::none);
    manager_ = Proxy(wayland::bind(registry, manager, *protocol->manager, protocol->version), Destructor::manager);
    device_ = Proxy(get_data_device(*protocol, manager_.get(), seat_.get()), Destructor::device);
    add_listener(device_.get(), device_listener, this);
}

Status<ClipboardError> Client::roundtrip() {
    if (wl_display_roundtrip(display_.get()) < 0) return Failure{broken_connection_error()};
    return Done{};
}

Status<ClipboardError> Client::flush() {
    // A full socket (EAGAIN) sends the rest at the next flush.
    if (wl_display_flush(display_.get()) < 0 && errno != EAGAIN) return Failure{broken_connection_error()};
    return Done{};
}

Status<ClipboardError> Client::dispatch(bool readable) {
    if (readable && wl_display_dispatch(display_.get()) < 0) return Failure{broken_connection_error()};
    if (wl_display_dispatch_pending(display_.get()) < 0) return Failure{broken_connection_error()};
    return Done{};
}

// The socket's descriptor now leads to /dev/null: what the destructors
// here would send (the source's and the device's ends) goes nowhere.
void Client::hand_to_child() const {
    const Descriptor null(open(linux_room::null_device, O_WRONLY | O_CLOEXEC));
    if (null) (void)dup2(null.get(), descriptor());
}

std::unique_ptr<Source> Client::take_selection(std::shared_ptr<const selection::SelectionContent> content,
                                               Transfers& transfers) {
    auto source = std::make_unique<Source>(*protocol_, manager_.get(), std::move(content), transfers);
    set_selection(device_.get(), source->proxy());
    return source;
}

Result<std::string, ClipboardError> Client::receive(const Offer& offer, selection::Target target,
                                                    Transfers* serving) {
    auto pipe = open_pipe();
    if (!pipe.ok()) return Failure{std::move(pipe.error())};
    wayland::receive(offer.proxy(), selection::name_of(target), pipe.value().write_end.get());
    // The request carries a copy of the write end: this one closes, so that
    // the read ends when the owner closes its copy.
    pipe.value().write_end.reset();
    auto flushed = flush();
    if (!flushed.ok()) return Failure{std::move(flushed.error())};
    return read_all(pipe.value().read_end, serving);
}

std::unique_ptr<Offer> Client::take_introduced(const wl_proxy* proxy) {
    std::unique_ptr<Offer> offer = std::move(introduced_);
    if (offer && offer->proxy() == proxy) return offer;
    return nullptr;
}

void Client::on_data_offer(void* data, wl_proxy*, wl_proxy* offer) {
    static_cast<Client*>(data)->introduced_ = std::make_unique<Offer>(offer);
}

void Client::on_selection(void* data, wl_proxy*, wl_proxy* offer) {
    auto& client = *static_cast<Client*>(data);
    client.selection_ = client.take_introduced(offer);
    ++client.changes_;
}

// The device is no longer valid (its seat has gone): the selection is
// gone for this program too.
void Client::on_finished(void* data, wl_proxy*) {
    auto& client = *static_cast<Client*>(data);
    client.selection_.reset();
    client.introduced_.reset();
}

// The primary selection is left alone: its offer is let go at once.
void Client::on_primary_selection(void* data, wl_proxy*, wl_proxy* offer) {
    (void)static_cast<Client*>(data)->take_introduced(offer);
}

}  // namespace vantle_native::wayland
