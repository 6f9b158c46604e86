// The data-control protocols as one: ext_data_control_manager_v1 and
// zwlr_data_control_manager_v1 (version 2) have the same requests and events
// in the same order with the same arguments, so one client speaks both
// through a table of each one's interfaces. The generated glue gives the
// interfaces; the requests here are written once, with the opcodes both
// share. Each request goes through libwayland-client's one marshalling
// call that takes its arguments as an array.
#pragma once

#include <wayland-client-core.h>

#include <cstdint>
#include <string_view>

namespace vantle_native::wayland {

// One data-control protocol: the global's name and version, and its
// interfaces.
struct DataControl {
    std::string_view global;
    std::uint32_t version;
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
    const wl_interface* offer;
};

// The protocols, the preferred first.
[[nodiscard]] const DataControl& ext_data_control();
[[nodiscard]] const DataControl& wlr_data_control();

// The events of a device, a source and an offer, as both protocols send
// them; each proxy argument is one of the table's interfaces.
struct DeviceListener {
    void (*data_offer)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*selection)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*finished)(void* data, wl_proxy* device);
    void (*primary_selection)(void* data, wl_proxy* device, wl_proxy* offer);
};
struct SourceListener {
    void (*send)(void* data, wl_proxy* source, const char* mime_type, std::int32_t fd);
    void (*cancelled)(void* data, wl_proxy* source);
};
struct OfferListener {
    void (*offer)(void* data, wl_proxy* offer, const char* mime_type);
};

// The core requests this program makes: the registry, and a global bound
// from it at `version`.
[[nodiscard]] wl_proxy* get_registry(wl_display* display);
[[nodiscard]] wl_proxy* bind(wl_proxy* registry, std::uint32_t name, const wl_interface& interface,
                             std::uint32_t version);

// The requests. A new object is made with the version of the one that makes it.
[[nodiscard]] wl_proxy* create_data_source(const DataControl& protocol, wl_proxy* manager);
[[nodiscard]] wl_proxy* get_data_device(const DataControl& protocol, wl_proxy* manager, wl_proxy* seat);
void offer_mime_type(wl_proxy* source, std::string_view mime_type);
void set_selection(wl_proxy* device, wl_proxy* source);
void receive(wl_proxy* offer, std::string_view mime_type, int fd);

// Each interface's destructor request (the seat and the registry have none
// at the versions bound: they are let go on this side only).
enum class Destructor : std::uint8_t { none, manager, device, source, offer };
void destroy(wl_proxy* proxy, Destructor destructor);

template <class Listener>
void add_listener(wl_proxy* proxy, const Listener& listener, void* data) {
    (void)wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)), data);
}

}  // namespace vantle_native::wayland
